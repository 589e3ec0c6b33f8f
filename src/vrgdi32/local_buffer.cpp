// Byte buffers in local memory (see local_buffer.h).
#include "local_buffer.h"

#include <cstring>

namespace vrgdi32 {

LocalBuffer& LocalBuffer::operator=(LocalBuffer&& other) noexcept {
    if (this == &other) return *this;
    Release();
    data_ = other.data_;
    capacity_ = other.capacity_;
    other.data_ = nullptr;
    other.capacity_ = 0;
    return *this;
}

bool LocalBuffer::Allocate(std::size_t bytes, Fill fill) {
    Release();
    data_ = static_cast<uint8_t*>(LocalAlloc(fill == Fill::kZeroed ? LPTR : LMEM_FIXED, bytes));
    capacity_ = data_ == nullptr ? 0 : bytes;
    return data_ != nullptr;
}

void LocalBuffer::Release() {
    if (data_ == nullptr) return;
    LocalFree(data_);
    data_ = nullptr;
    capacity_ = 0;
}

uint8_t* ByteBuilder::Extend(std::size_t count) {
    if (count > kCapacity - size_) return nullptr;
    uint8_t* at = bytes_ + size_;
    size_ += count;
    return at;
}

bool ByteBuilder::Append(const void* bytes, std::size_t count) {
    uint8_t* at = Extend(count);
    if (at != nullptr) std::memcpy(at, bytes, count);
    return at != nullptr;
}

}  // namespace vrgdi32
