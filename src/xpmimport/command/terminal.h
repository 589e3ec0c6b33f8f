// The standard streams as the system presents them.
#pragma once

#include <cstddef>

namespace xpmimport {

// Standard input and output carry pictures byte for byte (Windows opens them in text mode).
void UseBinaryStandardStreams();

// True when fd is a terminal (a console on Windows).
[[nodiscard]] bool IsTerminal(int fd);

// Columns the progress bar may use on standard error's terminal (one less than its width).
[[nodiscard]] size_t TerminalColumns();

}  // namespace xpmimport
