// Scratch arrays from the local heap: zero-filled, locked at once, released on every path.
// A request for 0 bytes allocates 1. ReleaseScratch takes the pointer's address, unlocks and
// frees the block once no lock remains, and nulls the pointer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "winshim/winshim.h"

namespace xpmfilter {

// Returns a locked, zero-filled block of count * size bytes, or null when the size overflows
// or the heap refuses.
[[nodiscard]] inline void* AllocateScratch(size_t count, size_t size) {
    if (size != 0 && count > std::numeric_limits<uint32_t>::max() / size) return nullptr;
    size_t bytes = count * size;
    HLOCAL block = LocalAlloc(LHND, bytes == 0 ? 1 : bytes);
    if (block == nullptr) return nullptr;
    void* memory = LocalLock(block);
    if (memory == nullptr) LocalFree(block);
    return memory;
}

template <typename T>
void ReleaseScratch(T** pointer) {
    if (*pointer == nullptr) return;
    HLOCAL block = LocalHandle(*pointer);
    if (block != nullptr) {
        LocalUnlock(block);
        if ((LocalFlags(block) & GMEM_LOCKCOUNT) == 0) LocalFree(block);
    }
    *pointer = nullptr;
}

// Owns one scratch array for the length of a scope.
template <typename T>
class ScratchArray {
  public:
    explicit ScratchArray(size_t count)
        : data_(static_cast<T*>(AllocateScratch(count, sizeof(T)))) {}
    ~ScratchArray() { ReleaseScratch(&data_); }
    ScratchArray(const ScratchArray&) = delete;
    ScratchArray& operator=(const ScratchArray&) = delete;

    explicit operator bool() const { return data_ != nullptr; }
    T* get() const { return data_; }
    T& operator[](size_t i) const { return data_[i]; }
    void reset() { ReleaseScratch(&data_); }

  private:
    T* data_;
};

}  // namespace xpmfilter
