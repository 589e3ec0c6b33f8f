// Small POSIX file helpers for the profile code: a descriptor that closes itself, and reads
// and writes that finish what they start (retrying after signals and short transfers).
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
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

}  // namespace winshim
