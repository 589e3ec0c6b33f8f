// Memory block streams (see memory_stream.h).
#include "streams/memory_stream.h"

namespace vrgdi32 {

MemoryStream::MemoryStream(const uint8_t* data, uint32_t size)
    : base_(size == 0 ? nullptr : data), size_(data == nullptr ? 0 : size) {
    cursor_ = base_;
    end_ = base_ == nullptr ? nullptr : base_ + size_;
}

int32_t MemoryStream::ReadSlow(uint8_t* out, int32_t count) {
    // The window is the whole block: what it cannot give does not exist.
    return TakeFromWindow(out, count);
}

bool MemoryStream::MoveTo(int64_t target) {
    // Seek has held the target to the length, which is the block's size.
    cursor_ = base_ == nullptr ? nullptr : base_ + target;
    return true;
}

}  // namespace vrgdi32
