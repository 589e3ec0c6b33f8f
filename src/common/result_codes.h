// Result codes that travel through the filter. Signed 32-bit, 0 for success; 61 always means
// the host asked the import to stop.
#pragma once

#include <cstdint>

namespace xpmfilter {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kUndecodable = -1;  // colour definitions or pixel rows
inline constexpr int32_t kSetupNotLocked = -7;
inline constexpr int32_t kNotXpm = -23;  // not XPM, or a colour that cannot be read
inline constexpr int32_t kCannotOpenInput = 7;
inline constexpr int32_t kDiskFull = 9;
inline constexpr int32_t kOutputNotMade = 23;  // writer code 301, or an output name too long
inline constexpr int32_t kNoMemory = 27;       // memory, writer, or a width that cannot be banded
inline constexpr int32_t kStopped = 61;
inline constexpr int32_t kInfoItemAbsent = 17921;
inline constexpr int32_t kInfoValueRefused = 17922;
inline constexpr int32_t kInfoBadRecordSize = 17923;

}  // namespace xpmfilter
