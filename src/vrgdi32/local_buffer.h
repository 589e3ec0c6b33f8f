// Byte buffers of the library, taken from the local heap of libwinshim so that every
// buffer is counted by its leak checks and fails when its allocation fault hook says so; and
// the small builder of a metafile's records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "winshim/winshim.h"

namespace vrgdi32 {

// One fixed local memory block (its handle is its pointer); freed by the destructor. Move-only.
class LocalBuffer {
  public:
    LocalBuffer() = default;
    ~LocalBuffer() { Release(); }
    LocalBuffer(LocalBuffer&& other) noexcept { *this = static_cast<LocalBuffer&&>(other); }
    LocalBuffer& operator=(LocalBuffer&& other) noexcept;
    LocalBuffer(const LocalBuffer&) = delete;
    LocalBuffer& operator=(const LocalBuffer&) = delete;

    enum class Fill { kZeroed, kUnset };
    // Replaces the buffer with a new one of `bytes` bytes, zero-filled unless the caller writes
    // every byte before reading it (kUnset skips clearing a window that may be far larger than
    // what lands in it). Returns false, leaving the buffer empty, when the memory cannot be had.
    [[nodiscard]] bool Allocate(std::size_t bytes, Fill fill = Fill::kZeroed);
    void Release();

    [[nodiscard]] uint8_t* data() const { return data_; }
    [[nodiscard]] std::size_t capacity() const { return capacity_; }

  private:
    uint8_t* data_ = nullptr;
    std::size_t capacity_ = 0;
};

// The few bytes of a metafile's head or tail, built in place: appends fail (false) only when
// they would pass kCapacity, which the records built here never need.
class ByteBuilder {
  public:
    static constexpr std::size_t kCapacity = 512;

    [[nodiscard]] bool Append(const void* bytes, std::size_t count);
    // Makes room for count more bytes and returns where they go (size grows by count).
    [[nodiscard]] uint8_t* Extend(std::size_t count);

    [[nodiscard]] uint8_t* data() { return bytes_; }
    [[nodiscard]] std::size_t size() const { return size_; }

  private:
    uint8_t bytes_[kCapacity];
    std::size_t size_ = 0;
};

}  // namespace vrgdi32
