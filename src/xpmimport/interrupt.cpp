// The signal flag: one lock-free atomic, the only thing the handler touches.
#include "xpmimport/interrupt.h"

#include <atomic>
#include <csignal>

namespace xpmimport {
namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch lock-free atomics");

extern "C" void RecordSignal(int signal) {
    int none = 0;
    g_signal.compare_exchange_strong(none, signal);
}

}  // namespace

void InstallInterruptHandlers() {
    struct sigaction action = {};
    action.sa_handler = RecordSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

bool InterruptRequested() { return g_signal.load() != 0; }

int InterruptSignal() { return g_signal.load(); }

}  // namespace xpmimport
