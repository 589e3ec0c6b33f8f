// The list of temporary files a second signal removes: lock-free atomics and fixed buffers,
// the only things a handler touches.
#include <atomic>
#include <climits>
#include <cstring>

#include "xpmimport/output/interrupt.h"

namespace xpmimport {
namespace {
// A slot is free (0), being filled or emptied (1), or holds a path the handler may remove (2).
constexpr int kSlots = 512;  // more than the most imports that run at once
struct TemporarySlot {
    std::atomic<int> state{0};
    char path[PATH_MAX];
};
TemporarySlot g_temporary[kSlots];

}  // namespace

int RegisterTemporaryFile(const char* path) {
    size_t length = std::strlen(path);
    if (length >= PATH_MAX) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int free = 0;
        if (!g_temporary[i].state.compare_exchange_strong(free, 1)) continue;
        std::memcpy(g_temporary[i].path, path, length + 1);
        g_temporary[i].state.store(2);
        return i;
    }
    return -1;
}

void ForgetTemporaryFile(int slot) {
    if (slot < 0 || slot >= kSlots) return;
    g_temporary[slot].state.store(1);
    g_temporary[slot].state.store(0);
}

void ForEachTemporaryFile(void (*action)(const char* path)) {
    for (TemporarySlot& slot : g_temporary) {
        if (slot.state.load() == 2) action(slot.path);
    }
}

}  // namespace xpmimport
