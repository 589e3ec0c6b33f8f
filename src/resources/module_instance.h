// The module's instance handle: its base address, stored at load as the Windows entry
// point would. It serves the string resources and the module's own file name.
#pragma once

#include "winshim/winshim.h"

namespace xpmfilter {

[[nodiscard]] HINSTANCE ModuleInstance();
// Set at load by the module entry; tests set an instance whose resources they registered.
void SetModuleInstance(HINSTANCE instance);

}  // namespace xpmfilter
