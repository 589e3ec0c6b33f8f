// The descriptor operations on POSIX (see file_descriptor.h).
#include "system/file_descriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "winshim/winshim.h"

namespace vrgdi32::sys {

int OpenForReading(const char* path, bool* regular, int64_t* size) {
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    *regular = S_ISREG(info.st_mode);
    *size = *regular ? static_cast<int64_t>(info.st_size) : 0;
    return fd;
}

int64_t ReadAt(int fd, void* out, std::size_t count, int64_t offset) {
    for (;;) {
        const ssize_t got = ::pread(fd, out, count, static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR) return got;
    }
}

int64_t ReadNext(int fd, void* out, std::size_t count) {
    for (;;) {
        const ssize_t got = ::read(fd, out, count);
        if (got >= 0 || errno != EINTR) return got;
    }
}

int64_t WriteAt(int fd, const void* bytes, std::size_t count, int64_t offset, bool* diskFull) {
    *diskFull = false;
    for (;;) {
        const ssize_t wrote = ::pwrite(fd, bytes, count, static_cast<off_t>(offset));
        if (wrote > 0) return wrote;
        if (wrote < 0 && errno == EINTR) continue;
        const int error = wrote < 0 ? errno : ENOSPC;
        *diskFull = error == ENOSPC || error == EDQUOT || error == EFBIG;
        return -1;
    }
}

bool SeekTo(int fd, int64_t offset) {
    return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

void Truncate(int fd, int64_t size) {
    (void)::ftruncate(fd, static_cast<off_t>(size));
}

void Close(int fd) {
    ::close(fd);
}

bool WritableAndSeekable(int fd) {
    if (fd < 0) return false;
    const int flags = ::fcntl(fd, F_GETFL);
    // Appending would put the header's totals at the end instead of in the header.
    if (flags < 0 || (flags & O_APPEND) != 0 || (flags & O_ACCMODE) == O_RDONLY) return false;
    return ::lseek(fd, 0, SEEK_CUR) >= 0;
}

std::string TemporaryDirectory() {
    std::string directory(::GetTempPathA(0, nullptr), '\0');
    const DWORD length = ::GetTempPathA(static_cast<DWORD>(directory.size()), directory.data());
    if (length == 0 || length >= directory.size()) return "/tmp/";
    directory.resize(length);
    return directory;
}

int OpenAnonymousTemporary() {
    const std::string directory = TemporaryDirectory();
#ifdef O_TMPFILE
    const int unnamed = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (unnamed >= 0) return unnamed;
#endif
    // File systems without O_TMPFILE: a named file, unlinked at once.
    std::string path = directory + "vrgdi32-spill-XXXXXX";
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    ::unlink(path.c_str());
    return fd;
}

bool CopyBytes(int from, int to, int64_t count) {
    loff_t in = 0, out = 0;
    // In the kernel where it can; the rest goes through a buffer: all of it between file
    // systems or on older kernels, what a signal left, and after a failure, which shows again.
    (void)::copy_file_range(from, &in, to, &out, static_cast<size_t>(count), 0);
    char buffer[1 << 16];
    while (in < count) {
        const int64_t got = ReadAt(from, buffer, std::min<int64_t>(count - in, sizeof buffer), in);
        if (got <= 0) return errno = got == 0 ? EIO : errno, false;
        for (int64_t done = 0; done < got;) {
            bool diskFull = false;
            const int64_t wrote = WriteAt(to, buffer + done, got - done, in + done, &diskFull);
            if (wrote < 0) return false;
            done += wrote;
        }
        in += got;
    }
    return true;
}

}  // namespace vrgdi32::sys
