// The Windows errors a profile write ends with, shared by the file and its recovery slot.
#pragma once

#include <cerrno>

#include "winshim/winshim.h"

namespace winshim {

inline constexpr DWORD kErrorWriteFault = 29;     // ERROR_WRITE_FAULT
inline constexpr DWORD kErrorLockViolation = 33;  // ERROR_LOCK_VIOLATION
inline constexpr DWORD kErrorDiskFull = 112;      // ERROR_DISK_FULL

// The error of a failed write whose errno was `error`: a full disk or quota, else a fault.
[[nodiscard]] inline DWORD WriteError(int error) {
    return error == ENOSPC || error == EFBIG || error == EDQUOT ? kErrorDiskFull : kErrorWriteFault;
}

}  // namespace winshim
