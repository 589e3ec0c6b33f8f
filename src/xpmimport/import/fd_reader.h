// Reading an input through the filter's read-routine protocol from a file descriptor
// (standard input for "-"). The routine's user data is the address of an FdReader.
#pragma once

#include <cstdint>
#include <string>

namespace xpmimport {

struct FdReader {
    int fd = 0;
    int error = 0;  // errno of the first failed read, 0 if none
};

// A VrReadRoutine over reader->fd, where reader = (FdReader*)userData.
// (buffer, count > 0): copies up to count bytes, reading the descriptor in chunks of 64 KiB
// (retrying reads cut short by a signal unless an interrupt was requested); returns the bytes
// copied, 0 at end of input, -errno on failure (-1 when errno says nothing). Bytes handed back
// with UnreadInput come first.
// (null, 0): the bytes left when the descriptor is a regular file that fits in 31 bits,
// else -1 (a pipe or terminal has no size).
[[nodiscard]] int32_t ReadFromFd(uint64_t userData, void* buffer, int32_t count);

// Reads fd to its end and drops what it reads (and what UnreadInput holds), as a filter does,
// so that whoever writes into the pipe can finish instead of dying of SIGPIPE. Stops early
// when a read fails or an interrupt is requested.
void DrainInput(int fd);

// Hands bytes already read from fd back to the next reads of ReadFromFd on fd (the host
// looks at the first bytes of standard input before the import reads it). One descriptor
// at a time; the bytes replace any not yet read again.
void UnreadInput(int fd, std::string bytes);

}  // namespace xpmimport
