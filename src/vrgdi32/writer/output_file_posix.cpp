// The host-named output file on POSIX (see output_file.h).
#include "writer/output_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "writer/writer_errors.h"

namespace vrgdi32 {
namespace {

constexpr int kNameTries = 64;
// Keeps ".<name>.XXXXXX" within the longest file name.
constexpr std::size_t kNameKept = 200;

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

// The file a path names in the end: a symbolic link's target, so the link survives.
std::string Resolved(const char* path) {
    struct stat link {};
    if (::lstat(path, &link) != 0 || !S_ISLNK(link.st_mode)) return path;
    char* real = ::realpath(path, nullptr);
    if (real == nullptr) return path;
    std::string resolved = real;
    std::free(real);
    return resolved;
}

}  // namespace

int16_t OutputFile::CreateTemporary(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name =
        target.substr(slash == std::string::npos ? 0 : slash + 1).substr(0, kNameKept);
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        uint64_t bits = RandomBits();
        std::string candidate = directory + "." + name + ".";
        // Readable too: the finished picture is mapped from it.
        for (int i = 0; i < 6; ++i, bits /= 62) candidate.push_back(kLetters[bits % 62]);
        const int fd = OpenRetrying(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
    target_ = Resolved(path);
    struct stat existing {};
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    // A file the caller may not write is not replaced either.
    if (exists && ::access(target_.c_str(), W_OK) != 0) return kVrErrCannotCreate;
    if (!exists || S_ISREG(existing.st_mode)) {
        if (CreateTemporary(target_) == 0) {
            // A replaced file keeps its permissions (a new one has 0666 less the umask).
            if (exists) (void)::fchmod(fd_, existing.st_mode & 0777);
            return 0;
        }
        const int why = errno;
        if (!exists || (why != EACCES && why != EPERM && why != EROFS)) return kVrErrCannotCreate;
    }
    // Written whole at the end; opening it now tells early whether it can be written.
    fd_ = OpenRetrying(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    return fd_ >= 0 ? 0 : kVrErrCannotCreate;
}

int16_t OutputFile::Commit() {
    const bool renamed = ::rename(temporary_.c_str(), target_.c_str()) == 0;
    if (!renamed) {
        Discard();
        return kVrErrCannotCreate;
    }
    temporary_.clear();
    ::close(fd_);
    fd_ = -1;
    return 0;
}

int16_t OutputFile::WriteWhole(std::span<const uint8_t> head, const uint8_t* bytes,
                               std::size_t count, int16_t* detail) {
    *detail = 0;
    int failure = 0;
    const std::span<const uint8_t> pieces[2] = {head, {bytes, count}};
    for (const std::span<const uint8_t> piece : pieces) {
        std::size_t done = 0;
        while (failure == 0 && done < piece.size()) {
            const ssize_t wrote = ::write(fd_, piece.data() + done, piece.size() - done);
            if (wrote > 0) {
                done += static_cast<std::size_t>(wrote);
            } else if (wrote < 0 && errno == EINTR) {
                continue;
            } else {
                failure = wrote < 0 ? errno : ENOSPC;
            }
        }
    }
    // A regular file may have been longer than the new picture.
    struct stat info {};
    if (failure == 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode) &&
        ::ftruncate(fd_, static_cast<off_t>(head.size() + count)) != 0) {
        failure = errno;
    }
    if (::close(fd_) != 0 && failure == 0 && errno != EINTR) failure = errno;
    fd_ = -1;
    if (failure == 0) return 0;
    if (failure == ENOSPC || failure == EDQUOT || failure == EFBIG) *detail = kVrErrDetailDiskFull;
    return kVrErrWrite;
}

void OutputFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

}  // namespace vrgdi32
