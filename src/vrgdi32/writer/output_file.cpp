// The host-named output file (see output_file.h).
#include "writer/output_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "writer/writer_errors.h"

namespace vrgdi32 {
namespace {

constexpr int16_t kDetailDiskFull = kVrErrDetailDiskFull;

}  // namespace

int16_t OutputFile::Create(const char* path) {
    Discard();
    int fd;
    do {
        fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return kVrErrCannotCreate;
    struct stat info {};
    removable_ = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    try {
        path_ = path;
    } catch (...) {
        ::close(fd);
        return kVrErrMemory;
    }
    fd_ = fd;
    return 0;
}

int16_t OutputFile::WriteAndClose(const uint8_t* bytes, std::size_t count, int16_t* detail) {
    *detail = 0;
    int failure = 0;
    std::size_t done = 0;
    while (done < count) {
        const ssize_t wrote = ::write(fd_, bytes + done, count - done);
        if (wrote > 0) {
            done += static_cast<std::size_t>(wrote);
        } else if (wrote < 0 && errno == EINTR) {
            continue;
        } else {
            failure = wrote < 0 ? errno : ENOSPC;
            break;
        }
    }
    if (::close(fd_) != 0 && failure == 0 && errno != EINTR) failure = errno;
    fd_ = -1;
    if (failure == 0) return 0;
    if (failure == ENOSPC || failure == EDQUOT) *detail = kDetailDiskFull;
    if (removable_) ::unlink(path_.c_str());
    return kVrErrWrite;
}

void OutputFile::Discard() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    if (removable_) ::unlink(path_.c_str());
}

}  // namespace vrgdi32
