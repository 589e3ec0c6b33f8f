// Small POSIX file helpers for the profile code: a descriptor that closes itself, reads and
// writes that finish what they start (retrying after signals and short transfers), and
// whole-file locks that are tried, never waited for.
#pragma once

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>

namespace winshim {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    [[nodiscard]] int get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Gives up the descriptor without closing it.
    [[nodiscard]] int Detach() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now and reports whether the close succeeded (it can report a late write error).
    [[nodiscard]] bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

// Writes all of `size` bytes at `offset`; false with errno set when the file refuses some.
[[nodiscard]] inline bool WriteAllAt(int fd, const char* data, size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, size, offset);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
        offset += written;
    }
    return true;
}

enum class ReadResult { kRead, kTooLarge, kFailed };

// Reads the whole file from offset 0 into *bytes, refusing more than `limit` bytes (the file
// may grow while it is read). Throws std::bad_alloc when memory runs out.
[[nodiscard]] inline ReadResult ReadWholeFile(int fd, size_t limit, std::string* bytes) {
    bytes->clear();
    char buffer[16384];
    off_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, offset);
        if (got < 0) {
            if (errno == EINTR) continue;
            return ReadResult::kFailed;
        }
        if (got == 0) return ReadResult::kRead;
        if (bytes->size() + static_cast<size_t>(got) > limit) return ReadResult::kTooLarge;
        bytes->append(buffer, static_cast<size_t>(got));
        offset += got;
    }
}

// A span of time in the nanoseconds that MonotonicNs and PauseBeforeRetry count.
[[nodiscard]] constexpr int64_t Ns(std::chrono::nanoseconds span) {
    return span.count();
}

[[nodiscard]] inline int64_t MonotonicNs() {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

// Sleeps *pauseNs, then doubles it up to 5 ms: the pause between tries of something another
// process holds.
inline void PauseBeforeRetry(long* pauseNs) {
    struct timespec pause {
        0, *pauseNs
    };
    ::nanosleep(&pause, nullptr);
    if (*pauseNs < 5 * 1000 * 1000) *pauseNs *= 2;
}

// Who holds a lock on a whole file, as far as this process can see.
enum class LockHolder { kNobody, kReader, kWriter, kUnknown };

// Open-file-description locks where the system has them: unlike process-wide locks they also
// keep two threads apart, and closing another descriptor of the file does not drop them.
#if defined(F_OFD_SETLK)
inline constexpr int kSetLock = F_OFD_SETLK, kGetLock = F_OFD_GETLK;
#else
inline constexpr int kSetLock = F_SETLK, kGetLock = F_GETLK;
#endif

// Which lock stands in the way of a write lock on the file's first `length` bytes (0: the whole
// file, also past its end); kUnknown when the system cannot tell.
[[nodiscard]] inline LockHolder LockHolderOf(int fd, off_t length = 0) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_len = length;
    if (::fcntl(fd, kGetLock, &lock) != 0 &&
        (errno != EINVAL || kGetLock == F_GETLK || ::fcntl(fd, F_GETLK, &lock) != 0)) {
        return LockHolder::kUnknown;
    }
    if (lock.l_type == F_UNLCK) return LockHolder::kNobody;
    return lock.l_type == F_RDLCK ? LockHolder::kReader : LockHolder::kWriter;
}

enum class LockTry { kLocked, kBusy, kUnsupported };

// One try at a lock of `type` (F_RDLCK or F_WRLCK) on the whole file.
[[nodiscard]] inline LockTry TryLockWholeFile(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    for (int command = kSetLock;;) {
        if (::fcntl(fd, command, &lock) == 0) return LockTry::kLocked;
        if (errno == EINTR) continue;
        if (errno == EINVAL && command != F_SETLK) {  // a kernel without description locks
            command = F_SETLK;
            continue;
        }
        return errno == EAGAIN || errno == EACCES ? LockTry::kBusy : LockTry::kUnsupported;
    }
}

}  // namespace winshim
