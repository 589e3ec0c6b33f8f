// Ctrl-C (SIGINT), SIGTERM, SIGHUP and SIGXFSZ stop the running imports cleanly. The handler
// only records the signal; the import's stop query, the batch loop and the output commit
// read it, and each pending output removes its temporary file on the way out. A second
// signal ends the process at once, after removing the temporary files still registered
// (unlink is safe in a signal handler; nothing else is done there). On Windows the console's
// Ctrl-C, Ctrl-Break and close events stand for SIGINT, SIGINT and SIGTERM.
#pragma once

#include <string>

namespace xpmimport {

// Installs the handlers. Reads that are waiting are interrupted (no SA_RESTART), so an
// import waiting on standard input sees the request. With SIGXFSZ handled, a write past the
// file size limit fails with EFBIG instead of ending the process.
void InstallInterruptHandlers();

// True once a handled signal arrived.
[[nodiscard]] bool InterruptRequested();

// The first signal that arrived, or 0.
[[nodiscard]] int InterruptSignal();

// "interrupted" for Ctrl-C, else the signal's name ("stopped by SIGTERM").
[[nodiscard]] std::string InterruptInWords();

// The temporary files a second signal removes. RegisterTemporaryFile returns a slot for
// ForgetTemporaryFile, or -1 when every slot is taken or the path is too long (the file is
// then removed only by the normal way out).
[[nodiscard]] int RegisterTemporaryFile(const char* path);
void ForgetTemporaryFile(int slot);

// Calls action with each registered path; safe in a signal handler when action is.
void ForEachTemporaryFile(void (*action)(const char* path));

}  // namespace xpmimport
