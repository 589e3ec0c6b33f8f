// The file behind a module handle, resolved to a full path once and remembered.
#pragma once

#include <string>

#include "winshim/winshim.h"

namespace winshim {

// Resolves and remembers the full path of the object loaded at `module`, so that a module
// the host loaded by a relative path keeps its name after the host changes directory. Called
// when a module registers itself at load; GetModuleFileNameA does the same on first use.
void RememberModulePath(HMODULE module);

// The full path of the running program, however long; false when the system does not say.
[[nodiscard]] bool ExecutablePath(std::string* path);

}  // namespace winshim
