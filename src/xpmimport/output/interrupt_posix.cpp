// The signal flag, a lock-free atomic: with the list of temporary files, the only things
// the handler touches.
#include "xpmimport/output/interrupt.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace xpmimport {
namespace {

constexpr int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free,
              "the handler may only touch lock-free atomics");

extern "C" void OnSignal(int signal) {
    int none = 0;
    if (g_signal.compare_exchange_strong(none, signal)) return;  // the first: stop cleanly
    // Every write past the size limit raises SIGXFSZ again; those writes fail anyway.
    if (signal == SIGXFSZ) return;
    // A second signal: remove what is still pending and end as the signal would.
    ForEachTemporaryFile([](const char* path) { unlink(path); });
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

bool InterruptRequested() {
    return g_signal.load() != 0;
}

int InterruptSignal() {
    return g_signal.load();
}

std::string InterruptInWords() {
    const int signal = g_signal.load();
    if (signal == SIGINT) return "interrupted";
    const char* name = sigabbrev_np(signal);
    return "stopped by SIG" + std::string(name != nullptr ? name : std::to_string(signal).c_str());
}

}  // namespace xpmimport
