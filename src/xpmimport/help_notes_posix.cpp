// The help text describes the POSIX build as it is.
#include "xpmimport/help_notes.h"

namespace xpmimport {

const char* PlatformHelpNotes() {
    return "";
}

}  // namespace xpmimport
