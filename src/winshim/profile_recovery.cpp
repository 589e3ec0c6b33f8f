// Recovery copies of profiles: their names, their format ("winshim profile copy DEV INO SIZE"
// on one line, then the old bytes), and the checks before one is believed.
#include "profile_recovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "posix_file.h"
#include "profile_document.h"

namespace winshim {
namespace {

constexpr DWORD kErrorWriteFault = 29;  // ERROR_WRITE_FAULT
constexpr DWORD kErrorDiskFull = 112;   // ERROR_DISK_FULL
constexpr char kHeaderWord[] = "winshim profile copy";

[[nodiscard]] std::string HeaderFor(const struct stat& file, size_t size) {
    return std::string(kHeaderWord) + " " + std::to_string(file.st_dev) + " " +
           std::to_string(file.st_ino) + " " + std::to_string(size) + "\n";
}

[[nodiscard]] std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A copy is only believed when nobody but this user, the profile's owner or root could have
// written it: the temporary directory is shared by every user.
[[nodiscard]] bool IsTrusted(const struct stat& copy, const struct stat& file) {
    const bool owner = copy.st_uid == ::geteuid() || copy.st_uid == file.st_uid || copy.st_uid == 0;
    return S_ISREG(copy.st_mode) && copy.st_nlink == 1 && (copy.st_mode & 022) == 0 && owner;
}

// The old bytes in a complete copy that belongs to `file`; nullopt otherwise.
[[nodiscard]] std::optional<std::string> ParseCopy(const std::string& content,
                                                   const struct stat& file) {
    const size_t lineEnd = content.find('\n');
    if (lineEnd == std::string::npos) return std::nullopt;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    unsigned long long size = 0;
    const std::string header = content.substr(0, lineEnd);
    char tail = 0;
    if (std::sscanf(header.c_str(), "winshim profile copy %llu %llu %llu%c", &device, &inode, &size,
                    &tail) != 3) {
        return std::nullopt;
    }
    if (device != static_cast<unsigned long long>(file.st_dev) ||
        inode != static_cast<unsigned long long>(file.st_ino) ||
        content.size() - lineEnd - 1 != size) {
        return std::nullopt;
    }
    return content.substr(lineEnd + 1);
}

[[nodiscard]] DWORD WriteError(int error) {
    return error == ENOSPC || error == EFBIG || error == EDQUOT ? kErrorDiskFull : kErrorWriteFault;
}

// Writes the copy to `name`, which must not exist yet. Returns 0 or errno.
[[nodiscard]] int WriteCopy(const std::string& name, const std::string& content) {
    // Everything that may allocate comes before the file exists, so that running out of
    // memory leaves no copy behind.
    const std::string directoryName = DirectoryOf(name);
    FileDescriptor fd(
        ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.get() < 0) return errno;
    if (!WriteAllAt(fd.get(), content.data(), content.size(), 0) || ::fsync(fd.get()) != 0 ||
        !fd.Close()) {
        const int error = errno;
        ::unlink(name.c_str());
        return error;
    }
    // The copy's name must survive a crash as well as its bytes.
    FileDescriptor directory(::open(directoryName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) (void)::fsync(directory.get());
    return 0;
}

}  // namespace

RecoveryNames RecoveryNamesFor(const std::string& path, const struct stat& file) {
    RecoveryNames names;
    // The real path, so that a profile reached through a link or a relative name has one copy.
    char resolved[PATH_MAX];
    names.beside =
        (::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path) + ".~undo";
    const char* temporary = std::getenv("TMPDIR");
    names.temporary =
        std::string(temporary != nullptr && temporary[0] == '/' ? temporary : "/tmp") +
        "/winshim-profile-" + std::to_string(file.st_dev) + "-" + std::to_string(file.st_ino) +
        ".~undo";
    return names;
}

FoundCopies FindRecoveryCopies(const RecoveryNames& names, const struct stat& file) {
    FoundCopies found;
    for (const std::string* name : {&names.beside, &names.temporary}) {
        FileDescriptor fd(::open(name->c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat copy {};
        if (fd.get() < 0 || ::fstat(fd.get(), &copy) != 0 || !IsTrusted(copy, file)) continue;
        found.trusted.push_back(*name);
        if (found.bytes) continue;
        std::string content;
        const size_t limit = kMaxProfileTextBytes + 128;
        if (ReadWholeFile(fd.get(), limit, &content) == ReadResult::kRead) {
            found.bytes = ParseCopy(content, file);
        }
    }
    return found;
}

bool SaveRecoveryCopy(const RecoveryNames& names, const struct stat& file, const std::string& bytes,
                      std::string* savedAt, DWORD* error) {
    const std::string content = HeaderFor(file, bytes.size()) + bytes;
    // Naming the copy must not allocate once it exists on the disk.
    savedAt->reserve(std::max(names.beside.size(), names.temporary.size()));
    int result = WriteCopy(names.beside, content);
    if (result == 0) {
        *savedAt = names.beside;
        return true;
    }
    // A directory that takes no new files (read-only, or not ours) still lets a writable
    // profile be written: the copy goes to the temporary directory instead. So does a
    // profile whose name leaves no room for the suffix within 255 characters.
    if (result == EACCES || result == EPERM || result == EROFS || result == ENAMETOOLONG) {
        result = WriteCopy(names.temporary, content);
        if (result == 0) {
            *savedAt = names.temporary;
            return true;
        }
    }
    *error = result == EACCES || result == EPERM || result == EROFS || result == EEXIST
                 ? ERROR_ACCESS_DENIED
                 : WriteError(result);
    return false;
}

void RemoveRecoveryCopies(const std::vector<std::string>& names) {
    for (const std::string& name : names) (void)::unlink(name.c_str());
}

}  // namespace winshim
