// Profile file names, whole-file reads and in-place writes on POSIX file systems.
//
// Write strategy: a write changes the file in place, after saving the old and the new bytes in
// the profile's recovery slot (profile/recovery.h), which it holds for the whole write and which
// keeps other writers out. In place, because a rename would give the file a new owner, split
// its hard links and fail in a read-only directory where the file itself is writable.
//
// Nobody who may only read a profile can stop its writes: writers exclude each other through
// the slot, which only the owner and root can open, and readers take no lock. A writer reads
// the file as a reader does, saves its copy, then write-locks the file only while its bytes
// change, and only if the file is still the version it read; it also makes sure that the change
// gives the file a new change time. A reader reads again when a writer's lock was on the file
// or its stamp changed while it read. A read lock on the profile can only be someone else's: a
// writer goes on without its own lock then. A reader waits only briefly for a writer's lock,
// which whoever may write the file could hold for ever.
#include "profile/storage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>

#include "posix_file.h"
#include "profile/document.h"
#include "profile/recovery.h"
#include "profile/write_errors.h"
#include "windows_directory.h"

namespace winshim {
namespace {

// How long a writer waits for another writer's lock on the profile: far longer than any write
// of a profile takes, short enough that a stuck process cannot hang us.
constexpr int64_t kWriterWaitNs = Ns(std::chrono::seconds(10));
// How long a reader waits for a writer to let go of the profile before it reads anyway, and
// how long a file that keeps changing while it is read is read again.
constexpr int64_t kReaderWaitNs = Ns(std::chrono::milliseconds(100));
constexpr int64_t kChangingWaitNs = Ns(std::chrono::seconds(2));
// A file replaced by another one while we waited for its slot is opened again, this often.
constexpr int kOpenAttempts = 8;
// Profiles are small; anything larger is refused instead of being read into memory.
constexpr size_t kMaxProfileBytes = kMaxProfileTextBytes;

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

// A reader tells by the stamp that the file changed while it read. A change that keeps the size
// waits until the clock that stamps files has passed the file's change time (a tick at most),
// so that it gives the file another one. Bounded, in case the times come from another clock.
void LetTheChangeTimeMove(int fd, size_t newSize) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || static_cast<size_t>(info.st_size) != newSize) return;
    long pauseNs = Ns(std::chrono::microseconds(250));
    for (int tries = 0; tries < 40; ++tries) {
        struct timespec now {};
        ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
        if (now.tv_sec > info.st_ctim.tv_sec ||
            (now.tv_sec == info.st_ctim.tv_sec && now.tv_nsec > info.st_ctim.tv_nsec)) {
            return;
        }
        PauseBeforeRetry(&pauseNs);
    }
}

// Write-locks the profile for the time its bytes change. A writer's lock is waited for; a read
// lock is never a writer's own (readers take none), so a writer does not wait for it.
[[nodiscard]] bool LockForWriting(int fd, DWORD* error) {
    const int64_t deadline = MonotonicNs() + kWriterWaitNs;
    long pauseNs = Ns(std::chrono::microseconds(50));
    for (;;) {
        if (TryLockWholeFile(fd, F_WRLCK) != LockTry::kBusy) return true;
        const LockHolder holder = LockHolderOf(fd);
        if (holder == LockHolder::kReader || holder == LockHolder::kUnknown) return true;
        if (holder == LockHolder::kNobody) continue;  // let go of meanwhile
        if (MonotonicNs() > deadline) {
            *error = kErrorLockViolation;
            return false;
        }
        PauseBeforeRetry(&pauseNs);
    }
}

void Unlock(int fd) {
    struct flock lock {};
    lock.l_type = F_UNLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd, kSetLock, &lock) != 0) (void)::fcntl(fd, F_SETLK, &lock);
}

[[nodiscard]] DWORD ReadError(ReadResult result) {
    return result == ReadResult::kTooLarge ? ERROR_NOT_ENOUGH_MEMORY : ERROR_ACCESS_DENIED;
}

enum class ReadState { kSteady, kWriterAtWork, kChanged, kFailed };

// Reads the whole file without a lock. kSteady when no writer's lock was on the bytes read,
// before or after, and the file's stamp stayed the same (*after: its status as of the end):
// writers give every change a new stamp, so no write overlapped the read. kFailed with *error
// set.
[[nodiscard]] ReadState ReadOnce(int fd, std::string* bytes, struct stat* after, DWORD* error) {
    struct stat before {};
    if (::fstat(fd, &before) != 0) {
        *error = ERROR_ACCESS_DENIED;
        return ReadState::kFailed;
    }
    const off_t length = before.st_size + 1;  // never 0, which would mean the whole file
    bool writing = LockHolderOf(fd, length) == LockHolder::kWriter;
    if (const ReadResult read = ReadWholeFile(fd, kMaxProfileBytes, bytes);
        read != ReadResult::kRead) {
        *error = ReadError(read);
        return ReadState::kFailed;
    }
    writing = writing || LockHolderOf(fd, length) == LockHolder::kWriter;
    if (::fstat(fd, after) != 0) {
        *error = ERROR_ACCESS_DENIED;
        return ReadState::kFailed;
    }
    if (!(StampOf(before) == StampOf(*after))) return ReadState::kChanged;
    return writing ? ReadState::kWriterAtWork : ReadState::kSteady;
}

// The profile opened for writing, with the slot that keeps other writers out, and its status
// as of then.
struct LockedProfile {
    FileDescriptor fd;
    RecoverySlot slot;
    struct stat info {};
    bool created = false;
};

enum class OpenOutcome { kOpened, kMissing, kFailed };

// Opens the file for writing and takes its slot. A file replaced or removed while we waited is
// opened again, so the slot always belongs to the file the name names.
[[nodiscard]] OpenOutcome OpenForWriting(const ProfileLocation& location, bool mayCreate,
                                         LockedProfile* file, DWORD* error) {
    const char* path = location.path.c_str();
    constexpr int kFlags = O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        file->slot.Release();
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
            *error = OpenError(errno, false, location.inWindowsDirectory);
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
        if (!file->slot.Acquire(location.path, file->info, error)) {
            if (file->created) ::unlink(path);
            return OpenOutcome::kFailed;
        }
        struct stat named {};
        if (::stat(path, &named) != 0 || !SameFile(named, file->info)) continue;
        if (::fstat(fd, &file->info) != 0) {
            *error = ERROR_ACCESS_DENIED;
            return OpenOutcome::kFailed;
        }
        // Another process may have taken the slot first and written the file we made; it is
        // theirs now as much as ours, and is never removed on a failure.
        if (file->info.st_size != 0) file->created = false;
        return OpenOutcome::kOpened;
    }
    file->slot.Release();
    *error = kErrorLockViolation;
    return OpenOutcome::kFailed;
}

// One complete version of the open file, for a writer: waits while a writer of another slot
// (or another program) changes it.
[[nodiscard]] bool ReadForWriting(int fd, std::string* bytes, FileStamp* stamp, DWORD* error) {
    const int64_t deadline = MonotonicNs() + kWriterWaitNs;
    long pauseNs = Ns(std::chrono::microseconds(50));
    struct stat after {};
    for (;;) {
        const ReadState state = ReadOnce(fd, bytes, &after, error);
        if (state == ReadState::kSteady) {
            *stamp = StampOf(after);
            return true;
        }
        if (state == ReadState::kFailed) return false;
        if (MonotonicNs() > deadline) {
            *error = kErrorLockViolation;
            return false;
        }
        PauseBeforeRetry(&pauseNs);
    }
}

enum class Replace { kWritten, kChangedMeanwhile, kFailedUndone, kFailedLeft };

// Replaces the file's bytes with `bytes` under its write lock, provided it is still the version
// read (with stamp `read`); else writes nothing (kChangedMeanwhile). On a failed write the
// `previous` bytes go back (kFailedUndone), or could not (kFailedLeft); *error says why.
[[nodiscard]] Replace ReplaceBytes(int fd, const FileStamp& read, const std::string& bytes,
                                   const std::string& previous, DWORD* error) {
    if (!LockForWriting(fd, error)) return Replace::kFailedUndone;
    struct stat now {};
    if (::fstat(fd, &now) != 0 || !(StampOf(now) == read)) {
        Unlock(fd);
        return Replace::kChangedMeanwhile;
    }
    LetTheChangeTimeMove(fd, bytes.size());
    Replace outcome = Replace::kWritten;
    if (!WriteInPlace(fd, bytes)) {
        *error = WriteError(errno);
        outcome = WriteInPlace(fd, previous) ? Replace::kFailedUndone : Replace::kFailedLeft;
    }
    Unlock(fd);
    return outcome;
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
    if (::stat(path.c_str(), &info) != 0) return false;
    *stamp = StampOf(info);
    return true;
}

LoadOutcome LoadProfileBytes(const std::string& path, std::string* bytes, FileStamp* stamp,
                             DWORD* error) {
    const int64_t start = MonotonicNs();
    long pauseNs = Ns(std::chrono::microseconds(50));
    bool repairAsked = false;
    for (;;) {
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
        ReadState state = ReadState::kFailed;
        try {
            state = ReadOnce(fd.get(), bytes, &info, error);
        } catch (const std::bad_alloc&) {
            *error = ERROR_NOT_ENOUGH_MEMORY;
            return LoadOutcome::kFailed;
        }
        if (state == ReadState::kFailed) return LoadOutcome::kFailed;
        const int64_t waited = MonotonicNs() - start;
        if ((state == ReadState::kWriterAtWork && waited < kReaderWaitNs) ||
            (state == ReadState::kChanged && waited < kChangingWaitNs)) {
            PauseBeforeRetry(&pauseNs);
            continue;
        }
        if (state == ReadState::kChanged) {
            *error = kErrorLockViolation;
            return LoadOutcome::kFailed;
        }
        // A writer that died half way left the old bytes, to be put back if the file is still
        // as it left it: by a reader that may write the file, else only in what is read.
        if (std::optional<RecoveryCopy> copy = FindLeftCopy(path, info)) {
            if (std::optional<std::string> old = BytesToRestore(*copy, *bytes)) {
                if (!repairAsked) {
                    repairAsked = true;
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
                *bytes = std::move(*old);
                return LoadOutcome::kLoaded;
            }
        }
        if (stamp != nullptr) *stamp = StampOf(info);
        return LoadOutcome::kLoaded;
    }
}

bool UpdateProfile(const ProfileLocation& location, bool mayCreate, const ProfileEdit& edit,
                   UpdateResult* result, DWORD* error) {
    LockedProfile file;
    switch (OpenForWriting(location, mayCreate, &file, error)) {
        case OpenOutcome::kOpened:
            break;
        case OpenOutcome::kMissing:  // and mayCreate was false: nothing to do
            return true;
        case OpenOutcome::kFailed:
            return false;
    }
    result->created = file.created;
    // The file keeps its old bytes: a file this process made is removed again, and the slot
    // (and any copy in it) goes.
    const auto fail = [&](DWORD code) {
        if (file.created) ::unlink(location.path.c_str());
        file.slot.Release();
        *error = code;
        return false;
    };
    // What a writer that died half way left in the slot, before this write's copy replaces it.
    const std::optional<RecoveryCopy> left = file.slot.Left(file.info);
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        std::string old;
        FileStamp read;
        if (!ReadForWriting(file.fd.get(), &old, &read, error)) return fail(*error);
        // The dead writer's old bytes go back first, if the file is still in a state it left;
        // if even that fails, its copy stays.
        if (std::optional<std::string> restored =
                left ? BytesToRestore(*left, old) : std::nullopt) {
            const Replace repaired = ReplaceBytes(file.fd.get(), read, *restored, old, error);
            if (repaired == Replace::kWritten || repaired == Replace::kChangedMeanwhile) continue;
            return false;
        }
        std::string updated;
        DWORD editError = NO_ERROR;
        switch (edit(old, &updated, &editError)) {
            case EditOutcome::kFailed:
                return fail(editError);
            case EditOutcome::kUnchanged:
                if (file.created) break;
                file.slot.Release();
                return true;
            case EditOutcome::kChanged:
                break;
        }
        DWORD saveError = NO_ERROR;
        if (!file.slot.Save(file.info, old, updated, &saveError)) return fail(saveError);
        switch (ReplaceBytes(file.fd.get(), read, updated, old, error)) {
            case Replace::kWritten:
                file.slot.Release();
                return true;
            case Replace::kChangedMeanwhile:
                continue;
            case Replace::kFailedUndone:
                return fail(*error);
            case Replace::kFailedLeft:
                return false;  // the copy stays for the next reader
        }
    }
    return fail(kErrorLockViolation);
}

}  // namespace winshim
