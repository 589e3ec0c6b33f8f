// One implementation behind both the Global* and the Local* memory calls: movable blocks
// behind opaque table handles, fixed blocks as plain pointers, and the places where the two
// families answer differently on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "tagged_handles.h"
#include "winshim/winshim.h"

namespace winshim {

enum class HeapKind { kGlobal, kLocal };

class MemoryHeap {
  public:
    explicit MemoryHeap(HeapKind kind);
    MemoryHeap(const MemoryHeap&) = delete;
    MemoryHeap& operator=(const MemoryHeap&) = delete;

    // Each call has the contract of the Global/Local call of the same name (see winshim.h);
    // the heap kind picks the answers where the two families differ.
    [[nodiscard]] HANDLE Alloc(UINT flags, SIZE_T bytes);
    [[nodiscard]] LPVOID Lock(HANDLE mem);
    [[nodiscard]] BOOL Unlock(HANDLE mem);
    [[nodiscard]] HANDLE Free(HANDLE mem);
    [[nodiscard]] SIZE_T Size(HANDLE mem);
    [[nodiscard]] UINT Flags(HANDLE mem);

    // Live blocks and the sum of their lock counts.
    void Count(uint64_t* blocks, uint64_t* locks);

  private:
    struct MovableBlock {
        void* data = nullptr;  // null for a zero-size block, which reports itself discarded
        size_t size = 0;
        uint8_t locks = 0;
    };
    struct FixedBlock {
        size_t size = 0;  // as reported by Size
    };
    // What a value passed in turns out to be.
    enum class Shape { kMovable, kFixed, kDeadHandle, kForeignPointer };
    struct Lookup {
        Shape shape;
        MovableBlock* movable;
        FixedBlock* fixed;
    };

    [[nodiscard]] Lookup Find(HANDLE mem);
    [[nodiscard]] HANDLE AllocFixed(size_t bytes, bool zero);
    [[nodiscard]] HANDLE AllocMovable(size_t bytes, bool zero);
    void ReleaseMovable(HANDLE mem, MovableBlock& block);

    const HeapKind kind_;
    std::mutex mutex_;
    TaggedHandles<MovableBlock> movable_;
    std::unordered_map<uintptr_t, FixedBlock> fixed_;
    std::unordered_map<uintptr_t, uintptr_t> movableByData_;
    uint64_t lockTotal_ = 0;
};

[[nodiscard]] MemoryHeap& GlobalHeap();
[[nodiscard]] MemoryHeap& LocalHeap();

}  // namespace winshim
