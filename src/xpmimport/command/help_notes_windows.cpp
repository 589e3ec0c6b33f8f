// Where the Windows build differs from the help text above it.
#include "xpmimport/command/help_notes.h"

namespace xpmimport {

const char* PlatformHelpNotes() {
    return R"(
On Windows: the filter module is xpmfilter.dll beside xpmimport.exe; PNG is encoded by the
Windows Imaging Component; --sync flushes each written file to the disk; Ctrl-C and
Ctrl-Break stop as SIGINT does (130), closing the console as SIGTERM does (143).
)";
}

}  // namespace xpmimport
