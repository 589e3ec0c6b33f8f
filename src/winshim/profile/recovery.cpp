// Recovery slots of profiles: where they are, their format ("winshim profile copy DEV INO OLD
// NEW" on one line, then OLD old bytes and NEW new ones), how a writer takes one, and the
// checks before a copy is believed.
//
// A slot's name must be one that only the profile's owner (or root) can make, or anybody could
// take it first and stop every write. Beside the profile it is, when only the owner can add
// files to the directory; elsewhere (a directory shared as /tmp is, or one the owner cannot
// write) it goes to the owner's private directory under $TMPDIR, whose name is passed over
// while someone else holds it. Only the owner and root can open a slot, so a lock on it is
// always a writer's: nobody else can hold it.
#include "profile/recovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "profile/document.h"
#include "profile/write_errors.h"
#include "temporary_directory.h"

namespace winshim {
namespace {

// How long a writer waits for another writer's slot: far longer than any write of a profile
// takes, short enough that a stuck process cannot hang us.
constexpr int64_t kSlotWaitNs = Ns(std::chrono::seconds(10));
constexpr char kSuffix[] = ".~undo";
constexpr size_t kSuffixBytes = sizeof kSuffix - 1;
constexpr size_t kNameMax = 255;  // the longest file name the usual file systems take
// A copy holds two versions of a profile and its header line.
constexpr size_t kMaxCopyBytes = 2 * kMaxProfileTextBytes + 128;

[[nodiscard]] std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// `name` plus the suffix, its front cut and a hash of the whole name put in where that would
// not fit in a file name.
[[nodiscard]] std::string SlotFileName(const std::string& name) {
    if (name.size() + kSuffixBytes <= kNameMax) return name + kSuffix;
    uint64_t hash = 14695981039346656037u;  // FNV-1a
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211u;
    char hex[20];
    std::snprintf(hex, sizeof hex, "~%016llx", static_cast<unsigned long long>(hash));
    return name.substr(0, kNameMax - kSuffixBytes - 17) + hex + kSuffix;
}

// The private directory of `owner` under $TMPDIR (else /tmp): "winshim-UID", or the first of
// "winshim-UID-1", "-2" and so on that is not someone else's. Made (mode 0700, owned by
// `owner`) when `create`; nullopt when there is none or it cannot be made.
[[nodiscard]] std::optional<std::string> PrivateDirectory(uid_t owner, bool create) {
    const std::string base = TemporaryDirectory() + "winshim-" + std::to_string(owner);
    for (unsigned index = 0;;) {
        const std::string name = index == 0 ? base : base + "-" + std::to_string(index);
        struct stat info {};
        if (::lstat(name.c_str(), &info) == 0) {
            if (S_ISDIR(info.st_mode) && info.st_uid == owner && (info.st_mode & 077) == 0)
                return name;
            ++index;  // someone else's, or not a directory: never used
            continue;
        }
        if (errno != ENOENT || !create) return std::nullopt;
        if (::mkdir(name.c_str(), 0700) != 0) {
            if (errno == EEXIST) continue;  // made meanwhile: look again
            return std::nullopt;
        }
        // Root makes it for the profile's owner, who may then take over what root left there.
        if (::geteuid() != owner && ::lchown(name.c_str(), owner, static_cast<gid_t>(-1)) != 0) {
            (void)::rmdir(name.c_str());
            return std::nullopt;
        }
        return name;
    }
}

[[nodiscard]] std::string NameInPrivateDirectory(const std::string& directory,
                                                 const struct stat& file) {
    return directory + "/" + std::to_string(file.st_dev) + "-" + std::to_string(file.st_ino) +
           kSuffix;
}

// The slot every writer of the profile uses when it can: beside the file when its directory
// takes new files from the file's owner and from nobody else but root, else in the owner's
// private directory.
[[nodiscard]] std::optional<std::string> OwnersSlot(const std::string& path,
                                                    const struct stat& file, bool create) {
    // The real path, so that a profile reached through a link or a relative name has one slot.
    char resolved[PATH_MAX];
    const std::string real = ::realpath(path.c_str(), resolved) != nullptr ? resolved : path;
    const std::string directory = DirectoryOf(real);
    struct stat info {};
    if (::stat(directory.c_str(), &info) == 0 && info.st_uid == file.st_uid &&
        (info.st_mode & 0322) == 0300) {
        const size_t slash = real.rfind('/');
        return directory + "/" +
               SlotFileName(slash == std::string::npos ? real : real.substr(slash + 1));
    }
    const std::optional<std::string> own = PrivateDirectory(file.st_uid, create);
    if (!own) return std::nullopt;
    return NameInPrivateDirectory(*own, file);
}

// The slot of a writer that is neither the owner nor root: in its own private directory,
// where only it looks.
[[nodiscard]] std::optional<std::string> WritersOwnSlot(const struct stat& file, bool create) {
    const uid_t me = ::geteuid();
    if (me == file.st_uid || me == 0) return std::nullopt;
    const std::optional<std::string> own = PrivateDirectory(me, create);
    if (!own) return std::nullopt;
    return NameInPrivateDirectory(*own, file);
}

// A slot is only believed when nobody but this user, the profile's owner or root could have
// made or changed it.
[[nodiscard]] bool IsTrusted(const struct stat& slot, const struct stat& file) {
    const uid_t me = ::geteuid();
    const bool owner = slot.st_uid == me || slot.st_uid == file.st_uid || slot.st_uid == 0;
    return S_ISREG(slot.st_mode) && slot.st_nlink == 1 && (slot.st_mode & 077) == 0 && owner;
}

// The copy in `content` when it is complete and belongs to `file`; nullopt otherwise.
[[nodiscard]] std::optional<RecoveryCopy> ParseCopy(const std::string& content,
                                                    const struct stat& file) {
    const size_t lineEnd = content.find('\n');
    if (lineEnd == std::string::npos) return std::nullopt;
    unsigned long long device = 0, inode = 0, oldSize = 0, newSize = 0;
    char tail = 0;
    if (std::sscanf(content.substr(0, lineEnd).c_str(),
                    "winshim profile copy %llu %llu %llu %llu%c", &device, &inode, &oldSize,
                    &newSize, &tail) != 4) {
        return std::nullopt;
    }
    const size_t body = content.size() - lineEnd - 1;
    if (device != static_cast<unsigned long long>(file.st_dev) ||
        inode != static_cast<unsigned long long>(file.st_ino) || oldSize > body ||
        body - oldSize != newSize) {
        return std::nullopt;
    }
    return RecoveryCopy{content.substr(lineEnd + 1, oldSize),
                        content.substr(lineEnd + 1 + oldSize)};
}

[[nodiscard]] std::optional<RecoveryCopy> ReadCopy(int fd, const struct stat& file) {
    std::string content;
    if (ReadWholeFile(fd, kMaxCopyBytes, &content) != ReadResult::kRead) return std::nullopt;
    return ParseCopy(content, file);
}

enum class SlotTake { kTaken, kBusy, kUnusable };

// Takes the slot `name`: opens or makes it and locks it, waiting while another writer holds
// it. A writer that removes its slot still holds the lock on the file, so the lock counts only
// when the name still names the locked file afterwards.
[[nodiscard]] SlotTake TakeSlot(const std::string& name, const struct stat& file,
                                FileDescriptor* taken) {
    const int64_t deadline = MonotonicNs() + kSlotWaitNs;
    long pauseNs = Ns(std::chrono::microseconds(50));
    for (;;) {
        FileDescriptor fd(
            ::open(name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
        struct stat info {};
        if (::fstat(fd.get(), &info) != 0) return SlotTake::kUnusable;  // no file either
        if (info.st_nlink == 0) continue;  // removed by its writer after we opened it
        if (!IsTrusted(info, file)) return SlotTake::kUnusable;
        // Root keeps the owner's slot the owner's, so that the owner can take over what it left.
        if (info.st_uid != file.st_uid && ::geteuid() == 0 &&
            ::fchown(fd.get(), file.st_uid, static_cast<gid_t>(-1)) != 0) {
            return SlotTake::kUnusable;
        }
        const LockTry locked = TryLockWholeFile(fd.get(), F_WRLCK);
        if (locked == LockTry::kBusy) {
            if (MonotonicNs() > deadline) return SlotTake::kBusy;
            PauseBeforeRetry(&pauseNs);
            continue;
        }
        // A file system without locks is used without them rather than not at all.
        struct stat named {};
        if (::lstat(name.c_str(), &named) == 0 && named.st_dev == info.st_dev &&
            named.st_ino == info.st_ino) {
            taken->Reset(fd.Detach());
            return SlotTake::kTaken;
        }
    }
}

}  // namespace

std::optional<std::string> BytesToRestore(const RecoveryCopy& copy, const std::string& current) {
    const std::string& old = copy.old;
    const std::string& updated = copy.updated;
    if (current == updated || current == old) return std::nullopt;
    if (current.size() < std::min(old.size(), updated.size()) ||
        current.size() > std::max(old.size(), updated.size())) {
        return std::nullopt;
    }
    for (size_t i = 0; i < current.size(); ++i) {
        const bool fromOld = i < old.size() && old[i] == current[i];
        if (!fromOld && !(i < updated.size() && updated[i] == current[i])) return std::nullopt;
    }
    return old;
}

std::optional<RecoveryCopy> FindLeftCopy(const std::string& path, const struct stat& file) {
    for (const std::optional<std::string>& name :
         {OwnersSlot(path, file, false), WritersOwnSlot(file, false)}) {
        if (!name) continue;
        FileDescriptor fd(::open(name->c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat info {};
        if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !IsTrusted(info, file)) continue;
        // A locked slot is a writer's at work; what it holds is not to be acted on.
        if (LockHolderOf(fd.get()) != LockHolder::kNobody) continue;
        if (std::optional<RecoveryCopy> copy = ReadCopy(fd.get(), file)) return copy;
    }
    return std::nullopt;
}

bool RecoverySlot::Acquire(const std::string& path, const struct stat& file, DWORD* error) {
    for (const std::optional<std::string>& name :
         {OwnersSlot(path, file, true), WritersOwnSlot(file, true)}) {
        if (!name) continue;
        name_ = *name;  // before the slot may exist: nothing may allocate once it does
        switch (TakeSlot(name_, file, &fd_)) {
            case SlotTake::kTaken: {
                struct stat info {};
                keep_ = ::fstat(fd_.get(), &info) != 0 || info.st_size != 0;
                return true;
            }
            case SlotTake::kBusy:
                *error = kErrorLockViolation;
                return false;
            case SlotTake::kUnusable:
                break;
        }
    }
    *error = ERROR_ACCESS_DENIED;
    return false;
}

std::optional<RecoveryCopy> RecoverySlot::Left(const struct stat& file) const {
    return ReadCopy(fd_.get(), file);
}

bool RecoverySlot::Save(const struct stat& file, const std::string& old, const std::string& updated,
                        DWORD* error) {
    const std::string content = "winshim profile copy " + std::to_string(file.st_dev) + " " +
                                std::to_string(file.st_ino) + " " + std::to_string(old.size()) +
                                " " + std::to_string(updated.size()) + "\n" + old + updated;
    if (::ftruncate(fd_.get(), 0) != 0 ||
        !WriteAllAt(fd_.get(), content.data(), content.size(), 0) || ::fsync(fd_.get()) != 0) {
        *error = WriteError(errno);
        return false;
    }
    keep_ = true;
    // The slot's name must survive a crash as well as its bytes.
    const size_t slash = name_.rfind('/');
    name_[slash] = '\0';  // the directory's name, without allocating
    FileDescriptor directory(::open(name_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    name_[slash] = '/';
    if (directory.get() >= 0) (void)::fsync(directory.get());
    return true;
}

RecoverySlot::~RecoverySlot() {
    if (!keep_) Release();
}

void RecoverySlot::Release() {
    if (fd_.get() < 0) return;
    (void)::unlink(name_.c_str());
    fd_.Reset();
}

}  // namespace winshim
