// Profile file names, whole-file reads and atomic replacement on POSIX file systems.
#include "profile_storage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "profile_document.h"
#include "windows_directory.h"

namespace winshim {
namespace {

constexpr DWORD kErrorWriteFault = 29;  // ERROR_WRITE_FAULT
constexpr DWORD kErrorDiskFull = 112;   // ERROR_DISK_FULL
// Profiles are small; anything larger is refused instead of being read into memory.
constexpr off_t kMaxProfileBytes = static_cast<off_t>(kMaxProfileTextBytes);

// Closes a descriptor when the scope ends.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    [[nodiscard]] int get() const { return fd_; }
    // Closes now and reports whether the close succeeded (it can report a late write error).
    [[nodiscard]] bool Close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

[[nodiscard]] bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

[[nodiscard]] std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The file a write must replace: the target of a symbolic link, so the link survives.
[[nodiscard]] std::string ReplacementTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return path;
    return resolved;
}

[[nodiscard]] DWORD CreateError(int error, bool inWindowsDirectory) {
    // A bare name that cannot be created in the Windows directory reads as "file not found".
    if (inWindowsDirectory) return ERROR_FILE_NOT_FOUND;
    if (error == ENOENT || error == ENOTDIR) return ERROR_PATH_NOT_FOUND;
    return ERROR_ACCESS_DENIED;
}

[[nodiscard]] DWORD WriteError(int error) {
    return error == ENOSPC || error == EFBIG || error == EDQUOT ? kErrorDiskFull : kErrorWriteFault;
}

std::atomic<unsigned> g_temporaryCounter{0};

}  // namespace

bool ResolveProfileLocation(const char* name, ProfileLocation* location, DWORD* error) {
    if (name == nullptr) name = "win.ini";
    if (name[0] == '\0') {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    const bool bare = std::strchr(name, '/') == nullptr && std::strchr(name, '\\') == nullptr;
    location->inWindowsDirectory = bare;
    location->path = bare ? JoinPath(WindowsDirectory(), name) : std::string(name);
    return true;
}

LoadOutcome LoadProfileBytes(const std::string& path, std::string* bytes, DWORD* error) {
    // Non-blocking, so a FIFO named as a profile cannot stall the caller.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return LoadOutcome::kMissing;
        *error = ERROR_ACCESS_DENIED;
        return LoadOutcome::kFailed;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = ERROR_ACCESS_DENIED;
        return LoadOutcome::kFailed;
    }
    if (info.st_size > kMaxProfileBytes) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return LoadOutcome::kFailed;
    }
    try {
        bytes->clear();
        bytes->reserve(static_cast<size_t>(info.st_size));
        char buffer[16384];
        for (;;) {
            ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
            if (got < 0) {
                if (errno == EINTR) continue;
                *error = ERROR_ACCESS_DENIED;
                return LoadOutcome::kFailed;
            }
            if (got == 0) break;
            // The file may grow while it is read; the limit still holds.
            if (bytes->size() + static_cast<size_t>(got) > static_cast<size_t>(kMaxProfileBytes)) {
                *error = ERROR_NOT_ENOUGH_MEMORY;
                return LoadOutcome::kFailed;
            }
            bytes->append(buffer, static_cast<size_t>(got));
        }
    } catch (const std::bad_alloc&) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return LoadOutcome::kFailed;
    }
    return LoadOutcome::kLoaded;
}

bool ReplaceProfileBytes(const ProfileLocation& location, const std::string& bytes,
                         DWORD* error) {
    const std::string target = ReplacementTarget(location.path);
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;

    std::string temporary;
    int raw = -1;
    for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
        temporary = target + ".~" + std::to_string(::getpid()) + "." +
                    std::to_string(g_temporaryCounter.fetch_add(1));
        raw = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (raw < 0 && errno != EEXIST) break;
    }
    if (raw < 0) {
        *error = CreateError(errno, location.inWindowsDirectory);
        return false;
    }
    FileDescriptor fd(raw);
    const auto abandon = [&](DWORD code) {
        ::unlink(temporary.c_str());
        *error = code;
        return false;
    };
    if (exists && ::fchmod(fd.get(), existing.st_mode & 07777) != 0) {
        return abandon(ERROR_ACCESS_DENIED);
    }
    if (!WriteAll(fd.get(), bytes.data(), bytes.size())) return abandon(WriteError(errno));
    if (::fsync(fd.get()) != 0) return abandon(WriteError(errno));
    if (!fd.Close()) return abandon(WriteError(errno));
    if (::rename(temporary.c_str(), target.c_str()) != 0) return abandon(ERROR_ACCESS_DENIED);
    // Make the rename itself durable; failing to sync the directory loses nothing written.
    FileDescriptor directory(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) (void)::fsync(directory.get());
    return true;
}

}  // namespace winshim
