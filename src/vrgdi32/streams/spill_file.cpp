// Unlinked temporary files for stream look-back (see spill_file.h).
#include "streams/spill_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace vrgdi32 {

SpillFile::~SpillFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool SpillFile::Open() {
    if (fd_ >= 0) return true;
    const char* dir = std::getenv("TMPDIR");
    if (dir == nullptr || dir[0] == '\0') dir = "/tmp";
#ifdef O_TMPFILE
    fd_ = ::open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ >= 0) return true;
#endif
    // File systems without O_TMPFILE: a named file, unlinked at once.
    std::string path = std::string(dir) + "/vrgdi32-spill-XXXXXX";
    fd_ = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd_ < 0) return false;
    ::unlink(path.c_str());
    return true;
}

bool SpillFile::WriteAt(int64_t offset, const uint8_t* bytes, int64_t count) {
    if (!Open()) return false;
    while (count > 0) {
        const ssize_t wrote = ::pwrite(fd_, bytes, static_cast<size_t>(count), static_cast<off_t>(offset));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        bytes += wrote;
        offset += wrote;
        count -= wrote;
    }
    return true;
}

int32_t SpillFile::ReadAt(int64_t offset, uint8_t* out, int32_t count) {
    if (fd_ < 0) return 0;
    int32_t total = 0;
    while (total < count) {
        const ssize_t got = ::pread(fd_, out + total, static_cast<size_t>(count - total),
                                    static_cast<off_t>(offset + total));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += static_cast<int32_t>(got);
    }
    return total;
}

void SpillFile::Clear() {
    if (fd_ >= 0) (void)::ftruncate(fd_, 0);
}

}  // namespace vrgdi32
