// Byte buffers in local memory (see local_buffer.h).
#include "local_buffer.h"

#include <cstring>

namespace vrgdi32 {

LocalBuffer& LocalBuffer::operator=(LocalBuffer&& other) noexcept {
    if (this == &other) return *this;
    Release();
    handle_ = other.handle_;
    data_ = other.data_;
    capacity_ = other.capacity_;
    other.handle_ = nullptr;
    other.data_ = nullptr;
    other.capacity_ = 0;
    return *this;
}

bool LocalBuffer::Allocate(std::size_t bytes, Fill fill) {
    Release();
    if (bytes == 0) bytes = 1;
    HLOCAL handle =
        LocalAlloc(fill == Fill::kZeroed ? LMEM_MOVEABLE | LMEM_ZEROINIT : LMEM_MOVEABLE, bytes);
    if (handle == nullptr) return false;
    auto* data = static_cast<uint8_t*>(LocalLock(handle));
    if (data == nullptr) {
        LocalFree(handle);
        return false;
    }
    handle_ = handle;
    data_ = data;
    capacity_ = bytes;
    return true;
}

void LocalBuffer::Release() {
    if (handle_ == nullptr) return;
    LocalUnlock(handle_);
    LocalFree(handle_);
    handle_ = nullptr;
    data_ = nullptr;
    capacity_ = 0;
}

bool ByteBuilder::Reserve(std::size_t total) {
    if (total <= buffer_.capacity()) return true;
    if (total > limit_) return false;
    std::size_t grown = buffer_.capacity() < 4096 ? 4096 : buffer_.capacity();
    while (grown < total) grown = grown > limit_ / 2 ? limit_ : grown * 2;
    // Only bytes already appended are copied; Extend hands out the rest to be written.
    LocalBuffer bigger;
    if (!bigger.Allocate(grown, LocalBuffer::Fill::kUnset)) return false;
    if (size_ != 0) std::memcpy(bigger.data(), buffer_.data(), size_);
    buffer_ = static_cast<LocalBuffer&&>(bigger);
    return true;
}

uint8_t* ByteBuilder::Extend(std::size_t count) {
    if (count > limit_ - size_) return nullptr;
    if (!Reserve(size_ + count)) return nullptr;
    uint8_t* at = buffer_.data() + size_;
    size_ += count;
    return at;
}

bool ByteBuilder::Append(const void* bytes, std::size_t count) {
    if (count == 0) return true;
    uint8_t* at = Extend(count);
    if (at == nullptr) return false;
    if (count != 0) std::memcpy(at, bytes, count);
    return true;
}

}  // namespace vrgdi32
