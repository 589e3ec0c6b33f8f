// Byte buffers of the library, taken from the local heap of libwinshim so that every
// buffer is counted by its leak checks and fails when its allocation fault hook says so.
#pragma once

#include <cstddef>
#include <cstdint>

#include "winshim/winshim.h"

namespace vrgdi32 {

// One locked local memory block; freed by the destructor. Move-only.
class LocalBuffer {
  public:
    LocalBuffer() = default;
    ~LocalBuffer() { Release(); }
    LocalBuffer(LocalBuffer&& other) noexcept { *this = static_cast<LocalBuffer&&>(other); }
    LocalBuffer& operator=(LocalBuffer&& other) noexcept;
    LocalBuffer(const LocalBuffer&) = delete;
    LocalBuffer& operator=(const LocalBuffer&) = delete;

    enum class Fill { kZeroed, kUnset };
    // Replaces the buffer with a new one of `bytes` bytes (at least 1 is taken), zero-filled
    // unless the caller writes every byte before reading it (kUnset skips clearing a window
    // that may be far larger than what lands in it). Returns false, leaving the buffer
    // empty, when the memory cannot be had.
    [[nodiscard]] bool Allocate(std::size_t bytes, Fill fill = Fill::kZeroed);
    void Release();

    [[nodiscard]] uint8_t* data() const { return data_; }
    [[nodiscard]] std::size_t capacity() const { return capacity_; }

  private:
    HLOCAL handle_ = nullptr;
    uint8_t* data_ = nullptr;
    std::size_t capacity_ = 0;
};

// A growable byte string in local memory. Appends fail cleanly (false) when memory runs
// out or the total would pass `limit`; what was appended before stays.
class ByteBuilder {
  public:
    explicit ByteBuilder(std::size_t limit) : limit_(limit) {}

    [[nodiscard]] bool Append(const void* bytes, std::size_t count);
    // Makes room for count more bytes and returns where they go (size grows by count).
    [[nodiscard]] uint8_t* Extend(std::size_t count);

    [[nodiscard]] uint8_t* data() const { return buffer_.data(); }
    [[nodiscard]] std::size_t size() const { return size_; }
    void Clear() {
        buffer_.Release();
        size_ = 0;
    }

  private:
    [[nodiscard]] bool Reserve(std::size_t total);

    LocalBuffer buffer_;
    std::size_t size_ = 0;
    std::size_t limit_;
};

}  // namespace vrgdi32
