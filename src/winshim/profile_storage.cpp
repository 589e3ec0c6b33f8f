// Profile file names, locked whole-file reads and in-place writes on POSIX file systems.
//
// Write strategy: a write changes the file in place, under an exclusive lock on the file
// itself, after saving the old bytes in a recovery copy. In place, because a rename would
// give the file a new owner, split its hard links and fail in a read-only directory where the
// file itself is writable; the lock sits on the file because a lock file could not be made in
// such a directory either. Readers take a shared lock, so they see the old or the new bytes,
// never a mix; whoever finds a recovery copy under the lock knows its writer died half way
// and puts the old bytes back (or, without write permission, reads them from the copy).
#include "profile_storage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "posix_file.h"
#include "profile_document.h"
#include "profile_recovery.h"
#include "windows_directory.h"

namespace winshim {
namespace {

constexpr DWORD kErrorWriteFault = 29;     // ERROR_WRITE_FAULT
constexpr DWORD kErrorLockViolation = 33;  // ERROR_LOCK_VIOLATION
constexpr DWORD kErrorDiskFull = 112;      // ERROR_DISK_FULL
// How long a reader or writer waits for another process's lock before it gives up: far
// longer than any write of a profile takes, short enough that a stuck process cannot hang us.
constexpr int64_t kLockWaitNs = int64_t{10} * 1000 * 1000 * 1000;
// A file replaced by another one while we waited for its lock is opened again, this often.
constexpr int kOpenAttempts = 8;
// Profiles are small; anything larger is refused instead of being read into memory.
constexpr size_t kMaxProfileBytes = kMaxProfileTextBytes;

[[nodiscard]] int64_t MonotonicNs() {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

enum class LockOutcome { kLocked, kUnsupported, kTimedOut };

// Takes a lock of `type` on the whole file. Open-file-description locks where the system
// has them: unlike process-wide locks they also keep two threads apart, and closing another
// descriptor of the file (a reader in another thread) does not drop them. Polls, so that a
// lock held forever by a stuck process ends in failure instead of a hang. A file system
// without locks is used without them rather than not at all.
[[nodiscard]] LockOutcome LockWholeFile(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
#if defined(F_OFD_SETLK)
    int command = F_OFD_SETLK;
#else
    int command = F_SETLK;
#endif
    const int64_t deadline = MonotonicNs() + kLockWaitNs;
    long pauseNs = 50 * 1000;
    for (;;) {
        if (::fcntl(fd, command, &lock) == 0) return LockOutcome::kLocked;
#if defined(F_OFD_SETLK)
        if (errno == EINVAL && command == F_OFD_SETLK) {  // a kernel without them
            command = F_SETLK;
            continue;
        }
#endif
        if (errno != EAGAIN && errno != EACCES && errno != EINTR) return LockOutcome::kUnsupported;
        if (MonotonicNs() > deadline) return LockOutcome::kTimedOut;
        struct timespec pause {
            0, pauseNs
        };
        ::nanosleep(&pause, nullptr);
        if (pauseNs < 5 * 1000 * 1000) pauseNs *= 2;
    }
}

[[nodiscard]] FileStamp StampOf(const struct stat& info) {
    FileStamp stamp;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modifiedNs = int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
    stamp.changedNs = int64_t{info.st_ctim.tv_sec} * 1000000000 + info.st_ctim.tv_nsec;
    return stamp;
}

[[nodiscard]] bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

[[nodiscard]] DWORD WriteError(int error) {
    return error == ENOSPC || error == EFBIG || error == EDQUOT ? kErrorDiskFull : kErrorWriteFault;
}

[[nodiscard]] DWORD OpenError(int error, bool creating, bool inWindowsDirectory) {
    // A bare name that cannot be created in the Windows directory reads as "file not found".
    if (creating && inWindowsDirectory) return ERROR_FILE_NOT_FOUND;
    if (error == ENOENT || error == ENOTDIR) {
        return inWindowsDirectory ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
    return ERROR_ACCESS_DENIED;
}

// Why a file cannot be opened for reading when the error says it is not there: its directory
// is missing too (or a file stands in the path), or only the file is.
[[nodiscard]] DWORD MissingError(int error, const std::string& path) {
    if (error == ENOTDIR) return ERROR_PATH_NOT_FOUND;
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;
    struct stat info {};
    const std::string directory = slash == 0 ? "/" : path.substr(0, slash);
    return ::stat(directory.c_str(), &info) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// Replaces the whole content of the open file with `bytes` and flushes it to the disk.
[[nodiscard]] bool WriteInPlace(int fd, const std::string& bytes) {
    return WriteAllAt(fd, bytes.data(), bytes.size(), 0) &&
           ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0;
}

// The profile opened for writing and locked, with its status as of the lock.
struct LockedProfile {
    FileDescriptor fd;
    struct stat info {};
    bool created = false;
};

enum class OpenOutcome { kOpened, kMissing, kFailed };

// Opens and locks the file for writing. A file replaced or removed while we waited for the
// lock is opened again, so the lock always sits on the file the name names.
[[nodiscard]] OpenOutcome OpenForWriting(const ProfileLocation& location, bool mayCreate,
                                         LockedProfile* file, DWORD* error) {
    const char* path = location.path.c_str();
    constexpr int kFlags = O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        file->created = false;
        int fd = -1;
        if (mayCreate) {
            fd = ::open(path, kFlags | O_CREAT | O_EXCL, 0666);
            file->created = fd >= 0;
            if (fd < 0 && errno != EEXIST) {
                *error = OpenError(errno, true, location.inWindowsDirectory);
                return OpenOutcome::kFailed;
            }
        }
        // Without O_EXCL, so that a file removed meanwhile, or the missing target of a
        // symbolic link, is made after all.
        if (fd < 0) fd = ::open(path, kFlags | (mayCreate ? O_CREAT : 0), 0666);
        if (fd < 0) {
            if ((errno == ENOENT || errno == ENOTDIR) && !mayCreate) return OpenOutcome::kMissing;
            *error = OpenError(errno, mayCreate && errno == ENOENT, location.inWindowsDirectory);
            return OpenOutcome::kFailed;
        }
        file->fd.Reset(fd);
        if (::fstat(fd, &file->info) != 0 || !S_ISREG(file->info.st_mode)) {
            *error = ERROR_ACCESS_DENIED;
            return OpenOutcome::kFailed;
        }
        // A read-only file is refused, even where this process could write it anyway.
        if (!file->created && (file->info.st_mode & 0222) == 0) {
            *error = ERROR_ACCESS_DENIED;
            return OpenOutcome::kFailed;
        }
        if (LockWholeFile(fd, F_WRLCK) == LockOutcome::kTimedOut) {
            *error = kErrorLockViolation;
            return OpenOutcome::kFailed;
        }
        struct stat named {};
        if (::stat(path, &named) != 0 || !SameFile(named, file->info)) continue;
        if (::fstat(fd, &file->info) != 0) {
            *error = ERROR_ACCESS_DENIED;
            return OpenOutcome::kFailed;
        }
        // Another process may have taken the lock first and written the file we made; it is
        // theirs now as much as ours, and is never removed on a failure.
        if (file->info.st_size != 0) file->created = false;
        return OpenOutcome::kOpened;
    }
    *error = kErrorLockViolation;
    return OpenOutcome::kFailed;
}

// Puts back the old bytes of a write that died half way, then removes its copies.
[[nodiscard]] bool RepairInterruptedWrite(const std::string& path, LockedProfile& file,
                                          DWORD* error) {
    const RecoveryNames names = RecoveryNamesFor(path, file.info);
    const FoundCopies found = FindRecoveryCopies(names, file.info);
    if (found.bytes && !WriteInPlace(file.fd.get(), *found.bytes)) {
        *error = WriteError(errno);
        return false;
    }
    RemoveRecoveryCopies(found.trusted);
    if (found.bytes && ::fstat(file.fd.get(), &file.info) != 0) {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    return true;
}

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

bool StampOfPath(const std::string& path, FileStamp* stamp) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    *stamp = StampOf(info);
    return true;
}

LoadOutcome LoadProfileBytes(const std::string& path, std::string* bytes, FileStamp* stamp,
                             DWORD* error) {
    // Repairing needs the lock for writing, so a reader that finds a copy lets go and asks
    // for it; one more look after that reads the repaired file.
    for (int pass = 0; pass < 2; ++pass) {
        // Non-blocking, so a FIFO named as a profile cannot stall the caller.
        FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (fd.get() < 0) {
            if (errno == ENOENT || errno == ENOTDIR) {
                *error = MissingError(errno, path);
                return LoadOutcome::kMissing;
            }
            *error = ERROR_ACCESS_DENIED;
            return LoadOutcome::kFailed;
        }
        struct stat info {};
        if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            *error = ERROR_ACCESS_DENIED;
            return LoadOutcome::kFailed;
        }
        if (static_cast<size_t>(info.st_size) > kMaxProfileBytes) {
            *error = ERROR_NOT_ENOUGH_MEMORY;
            return LoadOutcome::kFailed;
        }
        if (LockWholeFile(fd.get(), F_RDLCK) == LockOutcome::kTimedOut) {
            *error = kErrorLockViolation;
            return LoadOutcome::kFailed;
        }
        if (::fstat(fd.get(), &info) != 0) {
            *error = ERROR_ACCESS_DENIED;
            return LoadOutcome::kFailed;
        }
        // Under the shared lock no writer is at work, so a copy means one died half way.
        FoundCopies found = FindRecoveryCopies(RecoveryNamesFor(path, info), info);
        if (found.bytes) {
            if (pass == 0) {
                fd.Reset();
                const ProfileLocation location{path, false};
                UpdateResult ignored;
                DWORD repairError = NO_ERROR;
                const auto keep = [](const std::string&, std::string*, DWORD*) {
                    return EditOutcome::kUnchanged;
                };
                (void)UpdateProfile(location, false, keep, &ignored, &repairError);
                continue;
            }
            *bytes = std::move(*found.bytes);  // no right to repair: read the old bytes
            return LoadOutcome::kLoaded;
        }
        try {
            switch (ReadWholeFile(fd.get(), kMaxProfileBytes, bytes)) {
                case ReadResult::kRead:
                    break;
                case ReadResult::kTooLarge:
                    *error = ERROR_NOT_ENOUGH_MEMORY;
                    return LoadOutcome::kFailed;
                case ReadResult::kFailed:
                    *error = ERROR_ACCESS_DENIED;
                    return LoadOutcome::kFailed;
            }
        } catch (const std::bad_alloc&) {
            *error = ERROR_NOT_ENOUGH_MEMORY;
            return LoadOutcome::kFailed;
        }
        // A writer that does not take locks may have changed the file meanwhile.
        struct stat after {};
        if (stamp != nullptr && ::fstat(fd.get(), &after) == 0 && StampOf(after) == StampOf(info)) {
            *stamp = StampOf(info);
        }
        return LoadOutcome::kLoaded;
    }
    *error = kErrorLockViolation;
    return LoadOutcome::kFailed;
}

bool UpdateProfile(const ProfileLocation& location, bool mayCreate, const ProfileEdit& edit,
                   UpdateResult* result, DWORD* error) {
    LockedProfile file;
    switch (OpenForWriting(location, mayCreate, &file, error)) {
        case OpenOutcome::kOpened:
            break;
        case OpenOutcome::kMissing:
            result->missing = true;
            return true;
        case OpenOutcome::kFailed:
            return false;
    }
    result->created = file.created;
    // A file this process made and then could not write is removed again.
    const auto fail = [&](DWORD code) {
        if (file.created) ::unlink(location.path.c_str());
        *error = code;
        return false;
    };
    if (!RepairInterruptedWrite(location.path, file, error)) return false;
    if (static_cast<size_t>(file.info.st_size) > kMaxProfileBytes)
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    std::string old;
    switch (ReadWholeFile(file.fd.get(), kMaxProfileBytes, &old)) {
        case ReadResult::kRead:
            break;
        case ReadResult::kTooLarge:
            return fail(ERROR_NOT_ENOUGH_MEMORY);
        case ReadResult::kFailed:
            return fail(ERROR_ACCESS_DENIED);
    }
    std::string updated;
    DWORD editError = NO_ERROR;
    switch (edit(old, &updated, &editError)) {
        case EditOutcome::kFailed:
            return fail(editError);
        case EditOutcome::kUnchanged:
            if (!file.created) return true;
            break;
        case EditOutcome::kChanged:
            break;
    }
    const RecoveryNames names = RecoveryNamesFor(location.path, file.info);
    std::string copy;
    if (!SaveRecoveryCopy(names, file.info, old, &copy, error)) {
        if (file.created) ::unlink(location.path.c_str());
        return false;
    }
    if (!WriteInPlace(file.fd.get(), updated)) {
        const DWORD code = WriteError(errno);
        // Put the old bytes back now; if even that fails the copy stays for the next reader.
        if (WriteInPlace(file.fd.get(), old)) (void)::unlink(copy.c_str());
        return fail(code);
    }
    // No allocation from here: a copy left behind would undo this write at the next read.
    (void)::unlink(copy.c_str());
    return true;
}

}  // namespace winshim
