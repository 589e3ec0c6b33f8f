// Identifiers of the module's string resources and its version constants.
#pragma once

#include <cstdint>

#include "winshim/winshim.h"

namespace xpmfilter {

inline constexpr UINT kStrModeKey = 1;             // "~Mode"
inline constexpr UINT kStrDriverKey = 4;           // "Driver"
inline constexpr UINT kStrColorTableSourceKey = 5; // "ColorTableSource"
inline constexpr UINT kStrFontKey = 7;             // "Font"
inline constexpr UINT kStrColorKey = 8;            // "Color"
inline constexpr UINT kStrFileValue = 9;           // "FILE"
inline constexpr UINT kStrColorModeKey = 5064;     // "Color Mode"
inline constexpr UINT kStrTitle = 5112;            // "XPM Import"

inline constexpr uint32_t kFilterVersion = 0x08000005u;
inline constexpr uint32_t kFilterKind = 1;

// The string table and version information, registered for the module's instance.
[[nodiscard]] const WinshimModuleResources& ModuleResources();

}  // namespace xpmfilter
