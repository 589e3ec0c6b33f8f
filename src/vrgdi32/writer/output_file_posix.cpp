// The host-named output file on POSIX (see output_file.h).
#include "writer/output_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "system/file_descriptor.h"
#include "writer/metafile_limits.h"

namespace vrgdi32 {
namespace {

constexpr int kNameTries = 64;
constexpr int kLinkHops = 40;  // as many as the kernel follows

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

uint64_t RandomBits() {
    uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof bits))
        return bits;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    static uint64_t counter = 0;
    return (static_cast<uint64_t>(now.tv_nsec) << 20) ^ static_cast<uint64_t>(::getpid()) ^
           (++counter * 0x9E3779B97F4A7C15u);
}

// The directory part of path with its '/', or "" when it has none; and the rest.
std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}
std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file that path names in the end (see output_file.h for the links not followed). False
// when a link may not be followed or cannot be read.
bool Resolve(const char* path, std::string* resolved) {
    std::string current = path;
    for (int hop = 0; hop < kLinkHops; ++hop) {
        struct stat link {};
        if (::lstat(current.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
            *resolved = current;
            return true;
        }
        const std::string directory = DirectoryOf(current);
        struct stat parent {};
        if (::stat(directory.empty() ? "." : directory.c_str(), &parent) != 0) return false;
        const bool shared = (parent.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
        if (shared && link.st_uid != ::geteuid() && link.st_uid != parent.st_uid) return false;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(current.c_str(), target, sizeof target - 1);
        if (length <= 0) return false;
        target[length] = '\0';
        current = target[0] == '/' ? std::string(target) : directory + target;
    }
    return false;
}

// The permission bits of a new file: 0666 less the umask, which only /proc tells without
// changing it (meanwhile another thread's new file would get the stricter 077).
mode_t NewFileMode() {
    unsigned mask = 0;
    bool found = false;
    // Read with stdio: without memory it fails (and umask answers) rather than throw.
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (!found && std::fgets(line, sizeof line, status) != nullptr)
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
    }
    if (!found) {
        mask = ::umask(077);
        ::umask(static_cast<mode_t>(mask));
    }
    return 0666 & ~static_cast<mode_t>(mask);
}

// Gives the unnamed file fd the name path (which must not exist). 0 or an errno value.
int Link(int fd, const std::string& path) {
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, self, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// Writes count bytes at offset 0 (pwrite: a regular file) or in order (a device, a pipe).
// 0 or an errno value.
int WriteAll(int fd, std::span<const uint8_t> head, const uint8_t* bytes, std::size_t count,
             bool positioned) {
    const std::span<const uint8_t> pieces[2] = {head, {bytes, count}};
    std::size_t at = 0;  // where the piece starts in the file
    for (const std::span<const uint8_t> piece : pieces) {
        for (std::size_t done = 0; done < piece.size();) {
            const ssize_t wrote = positioned
                                      ? ::pwrite(fd, piece.data() + done, piece.size() - done,
                                                 static_cast<off_t>(at + done))
                                      : ::write(fd, piece.data() + done, piece.size() - done);
            if (wrote > 0) {
                done += static_cast<std::size_t>(wrote);
            } else if (wrote == 0 || errno != EINTR) {
                return wrote < 0 ? errno : ENOSPC;
            }
        }
        at += piece.size();
    }
    return 0;
}

}  // namespace

int16_t OutputFile::CreateTemporary(const std::string& target) {
    const std::string directory = DirectoryOf(target);
#ifdef O_TMPFILE
    // Naming it at the end goes through /proc (linkat with AT_EMPTY_PATH wants privileges).
    static const bool canLink = ::access("/proc/self/fd", X_OK) == 0;
    if (canLink) {
        const int fd = OpenRetrying(directory.empty() ? "." : directory.c_str(),
                                    O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) {
            fd_ = fd;
            unnamed_ = true;
            return 0;
        }
        // Anything but a file system without unnamed files is an answer for a named one too.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return kVrErrCannotCreate;
    }
#endif
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        std::string candidate =
            TemporaryName(directory, NameOf(target), RandomBits(), PATH_MAX - 1);
        // Readable too: the finished picture is copied from it.
        const int fd = OpenRetrying(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            fd_ = fd;
            temporary_ = std::move(candidate);
            return 0;
        }
        if (errno != EEXIST) return kVrErrCannotCreate;
    }
    return kVrErrCannotCreate;
}

int16_t OutputFile::Create(const char* path) {
    Discard();
    if (!Resolve(path, &target_)) return kVrErrCannotCreate;
    struct stat existing {};
    existed_ = ::stat(target_.c_str(), &existing) == 0;
    // A file the caller may not write is not replaced either.
    if (existed_ && ::access(target_.c_str(), W_OK) != 0) return kVrErrCannotCreate;
    mode_ = existed_ ? existing.st_mode & 0777 : NewFileMode();
    if (!existed_ || S_ISREG(existing.st_mode)) {
        if (CreateTemporary(target_) == 0) {
            streams_ = true;
            return 0;
        }
        const int why = errno;
        if (!existed_ || (why != EACCES && why != EPERM && why != EROFS)) return kVrErrCannotCreate;
        // Rewritten in place at the end; read too, for the copy of its old bytes.
        inPlace_ = true;
        fd_ = OpenRetrying(target_.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
        return fd_ >= 0 ? 0 : kVrErrCannotCreate;
    }
    // Written whole at the end; opening it now tells early whether it can be written. A pipe
    // that no one reads fails here (ENXIO) instead of waiting for a reader that may not come.
    fd_ = OpenRetrying(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) return kVrErrCannotCreate;
    (void)::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    return 0;
}

int OutputFile::LinkInPlace() {
    // A new file takes its name at once: no moment with a second name.
    if (!existed_ && Link(fd_, target_) == 0) return 0;
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        std::string candidate =
            TemporaryName(DirectoryOf(target_), NameOf(target_), RandomBits(), PATH_MAX - 1);
        const int error = Link(fd_, candidate);
        if (error == EEXIST) continue;
        if (error != 0) return error;
        temporary_ = std::move(candidate);
        return ::rename(temporary_.c_str(), target_.c_str()) == 0 ? 0 : errno;
    }
    return EEXIST;
}

int16_t OutputFile::Commit() {
    // Until now only the owner could read the picture.
    (void)::fchmod(fd_, mode_);
    bool done = false;
    try {
        done = unnamed_ ? LinkInPlace() == 0 : ::rename(temporary_.c_str(), target_.c_str()) == 0;
    } catch (const std::bad_alloc&) {  // a name for the unnamed file
    }
    if (!done) {
        Discard();
        return kVrErrCannotCreate;
    }
    temporary_.clear();
    Discard();
    return 0;
}

int OutputFile::RewriteInPlace(std::span<const uint8_t> head, const uint8_t* bytes,
                               std::size_t count) {
    struct stat old {};
    if (::fstat(fd_, &old) != 0) return errno;
    // The old bytes first, safe on the disk, in a file of our own.
    const std::string keptAt =
        TemporaryName(sys::TemporaryDirectory(), NameOf(target_), RandomBits(), PATH_MAX - 1);
    const int kept = OpenRetrying(keptAt.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (kept < 0) return errno;
    const std::size_t total = head.size() + count;
    int failure = sys::CopyBytes(fd_, kept, old.st_size) && ::fdatasync(kept) == 0 ? 0 : errno;
    if (failure == 0) {
        // With the space reserved, a full disk shows now rather than half way through.
        if (::fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(total)) != 0 &&
            (errno == ENOSPC || errno == EDQUOT || errno == EFBIG))
            failure = errno;
        if (failure == 0) failure = WriteAll(fd_, head, bytes, count, true);
        if (failure == 0 && ::ftruncate(fd_, static_cast<off_t>(total)) != 0) failure = errno;
        // A failure puts the old bytes back; if even that fails, the copy stays.
        if (failure != 0 &&
            (!sys::CopyBytes(kept, fd_, old.st_size) || ::ftruncate(fd_, old.st_size) != 0)) {
            ::close(kept);
            return failure;
        }
    }
    ::unlink(keptAt.c_str());
    ::close(kept);
    return failure;
}

int16_t OutputFile::WriteWhole(std::span<const uint8_t> head, const uint8_t* bytes,
                               std::size_t count, int16_t* detail) {
    *detail = 0;
    int failure =
        inPlace_ ? RewriteInPlace(head, bytes, count) : WriteAll(fd_, head, bytes, count, false);
    if (::close(fd_) != 0 && failure == 0 && errno != EINTR) failure = errno;
    fd_ = -1;
    Discard();
    if (failure == 0) return 0;
    if (failure == ENOSPC || failure == EDQUOT || failure == EFBIG) *detail = kVrErrDetailDiskFull;
    return kVrErrWrite;
}

void OutputFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    streams_ = unnamed_ = inPlace_ = false;
}

}  // namespace vrgdi32
