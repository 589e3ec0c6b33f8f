// A table of live library objects behind opaque 64-bit handles. A handle names one slot
// and one generation, so a stale, freed or invented handle is refused instead of followed.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace vrgdi32 {

// Guards a table's Insert and Remove. Not std::mutex: this lock is constant-initialised on
// every platform (the Windows thread library's mutex is not), and what it guards is short.
class TableLock {
  public:
    void lock() {
        while (flag_.test_and_set(std::memory_order_acquire))
            flag_.wait(true, std::memory_order_relaxed);
    }
    void unlock() {
        flag_.clear(std::memory_order_release);
        flag_.notify_one();
    }

  private:
    std::atomic_flag flag_;  // clear
};

template <typename T, std::size_t kSlots = 4096>
class HandleTable {
    static_assert((kSlots & (kSlots - 1)) == 0, "slot count is a power of two");

  public:
    constexpr HandleTable() = default;
    HandleTable(const HandleTable&) = delete;
    HandleTable& operator=(const HandleTable&) = delete;

    // Takes ownership of object and returns its handle (never 0). Returns 0, and destroys
    // the object, when every slot is in use.
    [[nodiscard]] uint64_t Insert(std::unique_ptr<T> object) {
        std::lock_guard<TableLock> lock(mutex_);
        for (std::size_t tried = 0; tried < kSlots; ++tried) {
            const std::size_t index = (nextIndex_ + tried) & (kSlots - 1);
            Slot& slot = slots_[index];
            if (slot.handle.load(std::memory_order_relaxed) != 0) continue;
            const uint64_t handle = (nextGeneration_++ << kIndexBits) | index;
            slot.object.store(object.release(), std::memory_order_relaxed);
            slot.handle.store(handle, std::memory_order_release);
            nextIndex_ = index + 1;
            return handle;
        }
        return 0;
    }

    // The live object named by handle, or null. Lock-free: this is on the byte-read path.
    // A handle must not be removed on another thread while its object is in use.
    [[nodiscard]] T* Find(uint64_t handle) const {
        if (handle == 0) return nullptr;
        const Slot& slot = slots_[handle & (kSlots - 1)];
        if (slot.handle.load(std::memory_order_acquire) != handle) return nullptr;
        return slot.object.load(std::memory_order_relaxed);
    }

    // Takes the object out of the table; null when the handle names no live object.
    [[nodiscard]] std::unique_ptr<T> Remove(uint64_t handle) {
        if (handle == 0) return nullptr;
        std::lock_guard<TableLock> lock(mutex_);
        Slot& slot = slots_[handle & (kSlots - 1)];
        if (slot.handle.load(std::memory_order_relaxed) != handle) return nullptr;
        slot.handle.store(0, std::memory_order_release);
        return std::unique_ptr<T>(slot.object.exchange(nullptr, std::memory_order_relaxed));
    }

  private:
    static constexpr unsigned kIndexBits = [] {
        unsigned bits = 0;
        while ((std::size_t{1} << bits) < kSlots) ++bits;
        return bits;
    }();

    struct Slot {
        std::atomic<uint64_t> handle{0};
        std::atomic<T*> object{nullptr};
    };

    std::array<Slot, kSlots> slots_{};
    TableLock mutex_;
    uint64_t nextGeneration_ = 1;
    std::size_t nextIndex_ = 0;
};

// Handles of pointer type (StreamHandle, WriterHandle) carry the table's 64-bit value.
template <typename Handle>
[[nodiscard]] inline Handle ToHandle(uint64_t value) {
    return reinterpret_cast<Handle>(static_cast<uintptr_t>(value));
}

template <typename Handle>
[[nodiscard]] inline uint64_t FromHandle(Handle handle) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
}

}  // namespace vrgdi32
