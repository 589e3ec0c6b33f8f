// One implementation behind both the Global* and the Local* memory calls: movable blocks
// behind opaque table handles, fixed blocks as plain pointers, and the places where the two
// families answer differently on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "handle_table.h"
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
    [[nodiscard]] HANDLE ReAlloc(HANDLE mem, SIZE_T bytes, UINT flags);
    // The handle of the block whose data starts at `data` (the pointer itself for a fixed
    // block); null with ERROR_INVALID_HANDLE when no live block starts there.
    [[nodiscard]] HANDLE HandleOf(const void* data);

    // Live blocks and the sum of their lock counts.
    void Count(uint64_t* blocks, uint64_t* locks);

  private:
    struct MovableBlock {
        void* data = nullptr;  // null while discarded
        size_t size = 0;
        size_t capacity = 0;
        uint8_t locks = 0;
        bool discardable = false;
    };
    struct FixedBlock {
        size_t size = 0;  // as reported by Size
        size_t capacity = 0;
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
    [[nodiscard]] HANDLE AllocMovable(size_t bytes, bool zero, bool discardable);
    [[nodiscard]] bool Discardable(UINT flags) const;
    [[nodiscard]] UINT DiscardableFlag() const;
    [[nodiscard]] size_t ReportedFixedSize(size_t bytes) const;
    [[nodiscard]] HANDLE ReAllocMovable(HANDLE mem, MovableBlock& block, size_t bytes, UINT flags);
    [[nodiscard]] HANDLE ReAllocFixed(HANDLE mem, FixedBlock& block, size_t bytes, UINT flags);
    void ReleaseMovable(HANDLE mem, MovableBlock& block);

    const HeapKind kind_;
    std::mutex mutex_;
    HandleTable<MovableBlock> movable_;
    std::unordered_map<uintptr_t, FixedBlock> fixed_;
    std::unordered_map<uintptr_t, uintptr_t> movableByData_;
    uint64_t lockTotal_ = 0;
};

[[nodiscard]] MemoryHeap& GlobalHeap();
[[nodiscard]] MemoryHeap& LocalHeap();

}  // namespace winshim
