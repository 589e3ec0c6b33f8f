// The read routine over a file descriptor.
#include "xpmimport/fd_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "xpmimport/interrupt.h"

namespace xpmimport {
namespace {

[[nodiscard]] int32_t RemainingSize(int fd) {
    struct stat info = {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    off_t position = lseek(fd, 0, SEEK_CUR);
    if (position < 0 || position > info.st_size) return -1;
    off_t left = info.st_size - position;
    if (left > INT32_MAX) return -1;
    return static_cast<int32_t>(left);
}

}  // namespace

int32_t ReadFromFd(uint64_t userData, void* buffer, int32_t count) {
    auto* reader = reinterpret_cast<FdReader*>(static_cast<uintptr_t>(userData));
    if (reader == nullptr) return -1;
    if (buffer == nullptr && count == 0) return RemainingSize(reader->fd);
    if (buffer == nullptr || count < 0) return -1;
    if (count == 0) return 0;
    for (;;) {
        ssize_t got = read(reader->fd, buffer, static_cast<size_t>(count));
        if (got >= 0) return static_cast<int32_t>(got);
        if (errno == EINTR && !InterruptRequested()) continue;
        if (reader->error == 0) reader->error = errno;
        return -1;
    }
}

}  // namespace xpmimport
