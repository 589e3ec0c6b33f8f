// The stop flag on Windows. The console calls the handler on a thread of its own; it
// touches only the flag and the list of temporary files all the same, as the POSIX signal
// handler does.
#include "xpmimport/output/interrupt.h"

#include <atomic>
#include <csignal>

#include "winshim/winshim.h"

namespace xpmimport {
namespace {

std::atomic<int> g_signal{0};

// The signal each console event stands for; 0 for those left to the system.
[[nodiscard]] int SignalOf(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            return SIGINT;
        case CTRL_CLOSE_EVENT:
            return SIGTERM;
        default:
            return 0;
    }
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    const int signal = SignalOf(event);
    if (signal == 0) return FALSE;
    int none = 0;
    if (g_signal.compare_exchange_strong(none, signal)) return TRUE;  // the first: stop cleanly
    // A second event: remove what is still pending and end as a signal would.
    ForEachTemporaryFile([](const char* path) { ::DeleteFileA(path); });
    ::ExitProcess(128 + signal);
}

}  // namespace

void InstallInterruptHandlers() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool InterruptRequested() {
    return g_signal.load() != 0;
}

int InterruptSignal() {
    return g_signal.load();
}

std::string InterruptInWords() {
    return g_signal.load() == SIGINT ? "interrupted" : "stopped by SIGTERM";
}

}  // namespace xpmimport
