// Movable and fixed memory blocks with Windows' answers for locks, unlocks, zero-size
// blocks and invalid values, shared by the global and the local heap.
#include "memory_heap.h"

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

namespace winshim {
namespace {

constexpr uint8_t kMaxLockCount = 255;
// Larger requests fail as Windows fails them, instead of reaching the system allocator
// (sanitizer allocators abort on absurd sizes rather than returning null).
constexpr size_t kMaxBlockBytes = size_t{1} << 38;
// Data pointers are 16-aligned, as Windows aligns fixed blocks, so they never look like
// movable handles: malloc aligns every block for any fundamental type, 16 bytes on the 64-bit
// systems libwinshim is built for.
constexpr size_t kDataAlignment = 16;
static_assert(alignof(std::max_align_t) >= kDataAlignment);

[[nodiscard]] uintptr_t ValueOf(const void* p) {
    return reinterpret_cast<uintptr_t>(p);
}
[[nodiscard]] HANDLE HandleFrom(uintptr_t v) {
    return reinterpret_cast<HANDLE>(v);
}

// Allocates `bytes` (at least 1), 16-aligned. Null on failure.
[[nodiscard]] void* AllocateData(size_t bytes, bool zero) {
    if (bytes > kMaxBlockBytes) return nullptr;
    // calloc leaves large zeroed blocks to the kernel's zero pages, so a big block that is
    // never written costs no memory (a hostile file may declare huge tables).
    return zero ? std::calloc(bytes, 1) : std::malloc(bytes);
}

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
// Owns new block data until a table has taken it.
using DataPointer = std::unique_ptr<void, FreeDeleter>;

[[nodiscard]] void* Fail(DWORD error) {
    SetLastError(error);
    return nullptr;
}

}  // namespace

MemoryHeap::MemoryHeap(HeapKind kind)
    : kind_(kind), movable_(kind == HeapKind::kGlobal ? kGlobalMemoryTag : kLocalMemoryTag) {}

MemoryHeap::Lookup MemoryHeap::Find(HANDLE mem) {
    uintptr_t value = ValueOf(mem);
    if (auto it = fixed_.find(value); it != fixed_.end()) {
        return {Shape::kFixed, nullptr, &it->second};
    }
    if (MovableBlock* block = movable_.Find(value)) return {Shape::kMovable, block, nullptr};
    return {IsHandleShaped(value) ? Shape::kDeadHandle : Shape::kForeignPointer, nullptr, nullptr};
}

HANDLE MemoryHeap::Alloc(UINT flags, SIZE_T bytes) {
    const bool zero = (flags & GMEM_ZEROINIT) != 0;
    std::lock_guard<std::mutex> guard(mutex_);
    try {
        if ((flags & GMEM_MOVEABLE) == 0) return AllocFixed(bytes, zero);
        return AllocMovable(bytes, zero);
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

HANDLE MemoryHeap::AllocFixed(size_t bytes, bool zero) {
    // A zero-byte fixed block has one byte.
    const size_t size = bytes == 0 ? 1 : bytes;
    DataPointer data(AllocateData(size, zero));
    if (!data) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    fixed_.emplace(ValueOf(data.get()), FixedBlock{size});
    return data.release();
}

HANDLE MemoryHeap::AllocMovable(size_t bytes, bool zero) {
    MovableBlock block;
    DataPointer data;
    // A zero-byte movable block is a handle with no memory, marked discarded.
    if (bytes != 0) {
        data.reset(AllocateData(bytes, zero));
        if (!data) return Fail(ERROR_NOT_ENOUGH_MEMORY);
        block.data = data.get();
        block.size = bytes;
    }
    const uintptr_t handle = movable_.Insert(block);
    if (data) {
        try {
            movableByData_.emplace(ValueOf(data.get()), handle);
        } catch (const std::bad_alloc&) {
            movable_.Erase(handle);
            throw;
        }
    }
    data.release();
    return HandleFrom(handle);
}

LPVOID MemoryHeap::Lock(HANDLE mem) {
    std::lock_guard<std::mutex> guard(mutex_);
    Lookup found = Find(mem);
    switch (found.shape) {
        case Shape::kFixed:
            return mem;
        case Shape::kMovable: {
            MovableBlock& block = *found.movable;
            if (block.data == nullptr) return Fail(ERROR_DISCARDED);
            if (block.locks < kMaxLockCount) {
                ++block.locks;
                ++lockTotal_;
            }
            return block.data;
        }
        case Shape::kDeadHandle:
            break;
        case Shape::kForeignPointer:
            // LocalLock leaves the last error alone for a pointer it does not know.
            if (kind_ == HeapKind::kLocal) return nullptr;
            break;
    }
    return Fail(ERROR_INVALID_HANDLE);
}

BOOL MemoryHeap::Unlock(HANDLE mem) {
    std::lock_guard<std::mutex> guard(mutex_);
    Lookup found = Find(mem);
    const bool global = kind_ == HeapKind::kGlobal;
    switch (found.shape) {
        case Shape::kMovable: {
            MovableBlock& block = *found.movable;
            if (block.locks == 0) {
                SetLastError(ERROR_NOT_LOCKED);
                return FALSE;
            }
            --block.locks;
            --lockTotal_;
            if (block.locks == 0) {
                // The last unlock reports 0 and says explicitly that nothing went wrong.
                SetLastError(NO_ERROR);
                return FALSE;
            }
            return TRUE;
        }
        case Shape::kFixed:
        case Shape::kForeignPointer:
            // GlobalUnlock accepts any pointer silently; LocalUnlock says it was not locked.
            if (global) return TRUE;
            SetLastError(ERROR_NOT_LOCKED);
            return FALSE;
        case Shape::kDeadHandle:
            break;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return global ? TRUE : FALSE;
}

void MemoryHeap::ReleaseMovable(HANDLE mem, MovableBlock& block) {
    // Also right for a discarded block: no data pointer is null, and free(nullptr) does nothing.
    movableByData_.erase(ValueOf(block.data));
    std::free(block.data);
    lockTotal_ -= block.locks;
    movable_.Erase(ValueOf(mem));
}

HANDLE MemoryHeap::Free(HANDLE mem) {
    if (mem == nullptr) return nullptr;
    std::lock_guard<std::mutex> guard(mutex_);
    Lookup found = Find(mem);
    switch (found.shape) {
        case Shape::kMovable:
            // A locked block is freed as well; its locks go with it.
            ReleaseMovable(mem, *found.movable);
            return nullptr;
        case Shape::kFixed:
            fixed_.erase(ValueOf(mem));
            std::free(mem);
            return nullptr;
        case Shape::kDeadHandle:
            SetLastError(ERROR_INVALID_HANDLE);
            return mem;
        case Shape::kForeignPointer:
            break;
    }
    SetLastError(ERROR_NOACCESS);
    return mem;
}

SIZE_T MemoryHeap::Size(HANDLE mem) {
    std::lock_guard<std::mutex> guard(mutex_);
    Lookup found = Find(mem);
    if (found.shape == Shape::kFixed) return found.fixed->size;
    if (found.shape == Shape::kMovable) {
        return found.movable->data == nullptr ? 0 : found.movable->size;
    }
    // The pointer a lock returned also answers for its block.
    if (auto it = movableByData_.find(ValueOf(mem)); it != movableByData_.end()) {
        if (MovableBlock* block = movable_.Find(it->second)) return block->size;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
}

UINT MemoryHeap::Flags(HANDLE mem) {
    std::lock_guard<std::mutex> guard(mutex_);
    Lookup found = Find(mem);
    if (found.shape == Shape::kFixed) return 0;
    if (found.shape == Shape::kMovable) {
        const MovableBlock& block = *found.movable;
        UINT flags = block.locks;
        if (block.data == nullptr) flags |= GMEM_DISCARDED;
        return flags;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return GMEM_INVALID_HANDLE;
}

void MemoryHeap::Count(uint64_t* blocks, uint64_t* locks) {
    std::lock_guard<std::mutex> guard(mutex_);
    *blocks = movable_.LiveCount() + fixed_.size();
    *locks = lockTotal_;
}

// The heaps live until the process ends: other libraries free blocks from their own
// static destructors, which may run after ours.
MemoryHeap& GlobalHeap() {
    static MemoryHeap* heap = new MemoryHeap(HeapKind::kGlobal);
    return *heap;
}

MemoryHeap& LocalHeap() {
    static MemoryHeap* heap = new MemoryHeap(HeapKind::kLocal);
    return *heap;
}

}  // namespace winshim
