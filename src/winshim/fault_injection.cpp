// The process-wide allocation failure countdown behind WinshimFailAllocationAfter.
#include "fault_injection.h"

#include <atomic>
#include <cstdint>

#include "winshim/winshim.h"

namespace winshim {
namespace {

// Allocations still allowed before the failing one; negative means injection is off.
std::atomic<int64_t> g_remaining{-1};

}  // namespace

bool AllocationPermitted() {
    int64_t current = g_remaining.load(std::memory_order_relaxed);
    for (;;) {
        if (current < 0) return true;
        int64_t next = current == 0 ? -1 : current - 1;
        if (g_remaining.compare_exchange_weak(current, next, std::memory_order_relaxed)) {
            return current != 0;
        }
    }
}

}  // namespace winshim

extern "C" WINSHIM_API void WinshimFailAllocationAfter(int64_t count) {
    winshim::g_remaining.store(count < 0 ? -1 : count, std::memory_order_relaxed);
}
