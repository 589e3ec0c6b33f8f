// The signal flag and the list of temporary files: lock-free atomics and fixed buffers, the
// only things the handler touches.
#include "xpmimport/interrupt.h"

#include <unistd.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>

namespace xpmimport {
namespace {

constexpr int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch lock-free atomics");

// A slot is free (0), being filled or emptied (1), or holds a path the handler may remove (2).
constexpr int kSlots = 512;  // more than the most imports that run at once
struct TemporarySlot {
    std::atomic<int> state{0};
    char path[PATH_MAX];
};
TemporarySlot g_temporary[kSlots];

extern "C" void OnSignal(int signal) {
    int none = 0;
    if (g_signal.compare_exchange_strong(none, signal)) return;  // the first: stop cleanly
    // Every write past the size limit raises SIGXFSZ again; those writes fail anyway.
    if (signal == SIGXFSZ) return;
    // A second signal: remove what is still pending and end as the signal would.
    for (TemporarySlot& slot : g_temporary) {
        if (slot.state.load() == 2) unlink(slot.path);
    }
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);
}

}  // namespace

void InstallInterruptHandlers() {
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : kHandledSignals) sigaddset(&action.sa_mask, signal);
    action.sa_flags = 0;
    for (int signal : kHandledSignals) {
        // A signal the caller ignores stays ignored (nohup xpmimport ... keeps running).
        struct sigaction current = {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

bool InterruptRequested() { return g_signal.load() != 0; }

int InterruptSignal() { return g_signal.load(); }

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

}  // namespace xpmimport
