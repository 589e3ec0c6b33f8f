// The last-error value, one per thread, as the Win32 calls report it.
#include "winshim/winshim.h"

namespace {
thread_local DWORD t_lastError = NO_ERROR;
}  // namespace

extern "C" WINSHIM_API DWORD GetLastError(void) {
    return t_lastError;
}

extern "C" WINSHIM_API void SetLastError(DWORD error) {
    t_lastError = error;
}
