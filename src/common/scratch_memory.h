// Scratch arrays from the local heap: zero-filled, locked at once, released on every path.
// A request for 0 bytes allocates 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "winshim/winshim.h"

namespace xpmfilter {

// Owns one locked local block of `count` elements for the length of a scope; empty (false)
// when the size overflows 32 bits or the heap refuses.
template <typename T>
class ScratchArray {
  public:
    explicit ScratchArray(size_t count) {
        if (count > std::numeric_limits<uint32_t>::max() / sizeof(T)) return;
        const size_t bytes = count * sizeof(T);
        block_ = LocalAlloc(LHND, bytes == 0 ? 1 : bytes);
        if (block_ != nullptr) data_ = static_cast<T*>(LocalLock(block_));
        if (data_ == nullptr) reset();
    }
    ~ScratchArray() { reset(); }
    ScratchArray(const ScratchArray&) = delete;
    ScratchArray& operator=(const ScratchArray&) = delete;

    explicit operator bool() const { return data_ != nullptr; }
    T* get() const { return data_; }
    T& operator[](size_t i) const { return data_[i]; }
    void reset() {
        if (block_ == nullptr) return;
        if (data_ != nullptr) (void)LocalUnlock(block_);
        LocalFree(block_);
        block_ = nullptr;
        data_ = nullptr;
    }

  private:
    HLOCAL block_ = nullptr;
    T* data_ = nullptr;
};

}  // namespace xpmfilter
