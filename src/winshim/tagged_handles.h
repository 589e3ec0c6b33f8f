// Opaque handles checked against a table: every handle carries a kind tag, a slot and the
// slot's generation, so a freed, stale or invented value is recognised and never trusted.
// Not thread-safe by itself: each owner guards its table with its own mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <new>
#include <utility>
#include <vector>

namespace winshim {

static_assert(sizeof(void*) == 8, "handle values pack tag, generation and slot into 64 bits");

// Handle layout, most significant first: tag (8 bits) | generation (24) | slot (28) | 0x8.
// The low nibble 8 gives handles the shape Windows gives movable handles (never 16-aligned,
// unlike heap pointers); the tag keeps the top byte non-zero, so a handle is never a valid
// user-space address and handles of different kinds never collide.
inline constexpr uintptr_t kHandleShapeMask = 0xF;
inline constexpr uintptr_t kHandleShape = 0x8;

[[nodiscard]] inline constexpr bool IsHandleShaped(uintptr_t value) {
    return (value & kHandleShapeMask) == kHandleShape;
}

template <typename T>
class TaggedHandles {
  public:
    explicit constexpr TaggedHandles(uint8_t tag) : tag_(tag) {}

    // Stores value under a new handle. A full table throws std::bad_alloc: no room for
    // another handle is no memory for it, and every caller already answers that.
    [[nodiscard]] uintptr_t Insert(T value) {
        uint32_t slot = 0;
        // Freed slots wait in a queue until many others are free too, so a slot (and with it
        // a handle value) comes back only after a long time.
        if (free_.size() > kReuseAfterFreed) {
            slot = free_.front();
            free_.pop_front();
        } else {
            if (slots_.size() >= kMaxSlots) throw std::bad_alloc();
            slot = static_cast<uint32_t>(slots_.size());
            slots_.push_back(Slot{});
        }
        Slot& s = slots_[slot];
        s.live = true;
        s.value = std::move(value);
        ++live_;
        return Encode(slot, s.generation);
    }

    // The value behind a live handle of this table, or null.
    [[nodiscard]] T* Find(uintptr_t handle) {
        Slot* s = LiveSlot(handle);
        return s == nullptr ? nullptr : &s->value;
    }

    // Ends a live handle; returns false when the handle is not live in this table.
    bool Erase(uintptr_t handle) {
        Slot* s = LiveSlot(handle);
        if (s == nullptr) return false;
        s->live = false;
        s->value = T{};
        s->generation = s->generation == kMaxGeneration ? 1 : s->generation + 1;
        --live_;
        try {
            free_.push_back(SlotOf(handle));
        } catch (...) {
            // Without room to queue it the slot is simply never reused; the handle is dead.
        }
        return true;
    }

    [[nodiscard]] size_t LiveCount() const { return live_; }

  private:
    static constexpr uint32_t kMaxGeneration = (1u << 24) - 1;
    static constexpr size_t kMaxSlots = size_t{1} << 28;
    static constexpr size_t kReuseAfterFreed = 1024;

    struct Slot {
        uint32_t generation = 1;
        bool live = false;
        T value{};
    };

    [[nodiscard]] uintptr_t Encode(uint32_t slot, uint32_t generation) const {
        return (uintptr_t{tag_} << 56) | (uintptr_t{generation} << 32) | (uintptr_t{slot} << 4) |
               kHandleShape;
    }
    [[nodiscard]] static uint32_t SlotOf(uintptr_t handle) {
        return static_cast<uint32_t>((handle >> 4) & (kMaxSlots - 1));
    }

    [[nodiscard]] Slot* LiveSlot(uintptr_t handle) {
        if (!IsHandleShaped(handle) || (handle >> 56) != tag_) return nullptr;
        uint32_t slot = SlotOf(handle);
        uint32_t generation = static_cast<uint32_t>((handle >> 32) & kMaxGeneration);
        if (slot >= slots_.size()) return nullptr;
        Slot& s = slots_[slot];
        if (!s.live || s.generation != generation) return nullptr;
        return &s;
    }

    uint8_t tag_;
    std::vector<Slot> slots_;
    std::deque<uint32_t> free_;
    size_t live_ = 0;
};

// Tags of the handle kinds this library hands out.
inline constexpr uint8_t kGlobalMemoryTag = 0x47;  // 'G'
inline constexpr uint8_t kLocalMemoryTag = 0x4C;   // 'L'
inline constexpr uint8_t kEnhMetafileTag = 0x45;   // 'E'
inline constexpr uint8_t kMetafileTag = 0x4D;      // 'M'

}  // namespace winshim
