// Identifiers of the module's string resources and its version constants.
#pragma once

#include <cstdint>

#include "resources/module_text.h"
#include "winshim/winshim.h"

namespace xpmfilter {

#define XPMFILTER_STRING_ID(name, number, text) inline constexpr UINT name = number;
XPMFILTER_STRINGS(XPMFILTER_STRING_ID)
#undef XPMFILTER_STRING_ID

inline constexpr uint32_t kFilterVersion = 0x08000005u;
inline constexpr uint32_t kFilterKind = 1;

#if !defined(_WIN32)
// The string table and version information, registered for the module's instance (on
// Windows they are the DLL's own resources).
[[nodiscard]] const WinshimModuleResources& ModuleResources();
#endif

}  // namespace xpmfilter
