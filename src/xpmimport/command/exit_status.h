// The exit statuses of xpmimport: what a script can tell from them without reading the
// messages. Listed in --help.
#pragma once

namespace xpmimport {

enum ExitStatus : int {
    kExitOk = 0,            // every input was converted (or described)
    kExitSomeFailed = 1,    // at least one input failed; the others were done
    kExitUsage = 2,         // the command line was wrong; nothing was done
    kExitNoFilter = 3,      // the filter module could not be loaded or is not the XPM filter
    kExitSignalBase = 128,  // stopped: 128 + the signal (INT, TERM, HUP or XFSZ)
};

}  // namespace xpmimport
