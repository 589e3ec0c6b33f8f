// The read routine over a file descriptor.
#include "xpmimport/import/fd_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "xpmimport/output/file_system.h"
#include "xpmimport/output/interrupt.h"

namespace xpmimport {
namespace {

// Bytes read ahead from one descriptor, served before it is read again. Only the thread
// that imports standard input uses it.
struct ReadAhead {
    int fd = -1;
    std::string bytes;
    size_t served = 0;
    [[nodiscard]] size_t left(int from) const { return from == fd ? bytes.size() - served : 0; }
};
ReadAhead g_readAhead;
constexpr size_t kChunkBytes = 64 * 1024;

[[nodiscard]] int32_t RemainingSize(int fd) {
    if (KindOfOpenFile(fd) != FileKind::kRegular) return -1;
    const int64_t size = SizeOfOpenFile(fd);
    const int64_t position = PositionInFile(fd);
    if (size < 0 || position < 0 || position > size) return -1;
    const int64_t left = size - position + static_cast<int64_t>(g_readAhead.left(fd));
    if (left > INT32_MAX) return -1;
    return static_cast<int32_t>(left);
}

}  // namespace

void UnreadInput(int fd, std::string bytes) {
    g_readAhead.fd = fd;
    g_readAhead.bytes = std::move(bytes);
    g_readAhead.served = 0;
}

void DrainInput(int fd) {
    if (g_readAhead.fd == fd) g_readAhead.served = g_readAhead.bytes.size();
    char buffer[65536];
    while (!InterruptRequested()) {
        const int64_t got = ReadNext(fd, buffer, sizeof buffer);
        if (got == 0 || (got < 0 && errno != EINTR)) return;
    }
}

int32_t ReadFromFd(uint64_t userData, void* buffer, int32_t count) {
    auto* reader = reinterpret_cast<FdReader*>(static_cast<uintptr_t>(userData));
    if (reader == nullptr) return -1;
    if (buffer == nullptr && count == 0) return RemainingSize(reader->fd);
    if (buffer == nullptr || count < 0) return -1;
    if (count == 0) return 0;
    if (g_readAhead.left(reader->fd) == 0) {
        // The library asks for what the decoder needs, often one byte: read in chunks here.
        std::string chunk(kChunkBytes, '\0');
        int64_t got;
        while ((got = ReadNext(reader->fd, chunk.data(), chunk.size())) < 0) {
            if (errno == EINTR && !InterruptRequested()) continue;
            if (reader->error == 0) reader->error = errno;
            return errno >= 2 ? -errno : -1;  // the library passes the system's cause on
        }
        if (got == 0) return 0;
        chunk.resize(static_cast<size_t>(got));
        UnreadInput(reader->fd, std::move(chunk));
    }
    const size_t take = std::min(g_readAhead.left(reader->fd), static_cast<size_t>(count));
    std::memcpy(buffer, g_readAhead.bytes.data() + g_readAhead.served, take);
    g_readAhead.served += take;
    return static_cast<int32_t>(take);
}

}  // namespace xpmimport
