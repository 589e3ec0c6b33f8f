// Where temporary files go on this system: $TMPDIR when it is an absolute path, else /tmp.
#pragma once

#include <string>

namespace winshim {

// The directory for temporary files, ending with one '/' (as GetTempPathA gives it). A
// relative $TMPDIR would name another directory whenever the current one changes: it counts
// as none.
[[nodiscard]] std::string TemporaryDirectory();

}  // namespace winshim
