// The standard streams on POSIX: bytes already; the width from the terminal driver.
#include "xpmimport/command/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace xpmimport {

void UseBinaryStandardStreams() {}

bool IsTerminal(int fd) {
    return isatty(fd) != 0;
}

size_t TerminalColumns() {
    struct winsize size = {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col - 1;
    return 79;
}

}  // namespace xpmimport
