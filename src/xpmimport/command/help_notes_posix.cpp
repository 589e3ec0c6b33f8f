// What the help text says of the POSIX build alone: the last exit status.
#include "xpmimport/command/help_notes.h"

namespace xpmimport {

const char* PlatformHelpNotes() {
    return "  141    standard output was closed before the picture was all written (broken "
           "pipe)\n";
}

}  // namespace xpmimport
