// The standard streams on Windows: switched to binary mode; the width from the console.
#include "xpmimport/command/terminal.h"

#include <fcntl.h>
#include <io.h>

#include "winshim/winshim.h"

namespace xpmimport {

void UseBinaryStandardStreams() {
    ::_setmode(0, _O_BINARY);
    ::_setmode(1, _O_BINARY);
}

bool IsTerminal(int fd) {
    return ::_isatty(fd) != 0;
}

size_t TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) {
        const int width = info.srWindow.Right - info.srWindow.Left + 1;
        if (width > 1) return static_cast<size_t>(width - 1);
    }
    return 79;
}

}  // namespace xpmimport
