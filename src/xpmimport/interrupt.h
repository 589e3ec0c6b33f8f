// Ctrl-C (SIGINT) stops the running imports cleanly. The handler only records the signal;
// the import's stop query, the batch loop and the output commit read it. Other signals keep
// their default action, so `kill` and `timeout` end the process whatever the filter does.
#pragma once

namespace xpmimport {

// Installs the handler for SIGINT. A second Ctrl-C takes the default action (ends the
// process at once). Reads that are waiting are interrupted (no
// SA_RESTART), so an import waiting on standard input sees the request.
void InstallInterruptHandlers();

// True once a handled signal arrived.
[[nodiscard]] bool InterruptRequested();

// The first signal that arrived, or 0.
[[nodiscard]] int InterruptSignal();

}  // namespace xpmimport
