// Where Windows keeps its directory on this system: $WINDIR when set, else /etc.
#pragma once

#include <string>

namespace winshim {

// The Windows directory, without a trailing separator unless it is the root.
[[nodiscard]] std::string WindowsDirectory();

// `directory` (not empty) joined with `name` by one '/'.
[[nodiscard]] std::string JoinPath(const std::string& directory, const std::string& name);

}  // namespace winshim
