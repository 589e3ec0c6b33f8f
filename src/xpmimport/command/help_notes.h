// What --help adds about the system it was built for.
#pragma once

namespace xpmimport {

// Lines that end the help text, or "" when there is nothing to add.
[[nodiscard]] const char* PlatformHelpNotes();

}  // namespace xpmimport
