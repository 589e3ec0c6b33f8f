// The file operations on POSIX.
#include "xpmimport/output/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace xpmimport {

std::string_view PathSeparators() {
    return "/";
}

int OpenForReading(const char* path) {
    return open(path, O_RDONLY | O_CLOEXEC);
}

int64_t ReadNext(int fd, void* out, size_t count) {
    return read(fd, out, count);
}

int64_t WriteNext(int fd, const void* bytes, size_t count) {
    return write(fd, bytes, count);
}

int64_t ReadAt(int fd, void* out, size_t count, int64_t offset) {
    return pread(fd, out, count, static_cast<off_t>(offset));
}

bool CloseFile(int fd) {
    return close(fd) == 0;
}

int64_t SizeOfOpenFile(int fd) {
    struct stat info = {};
    if (fstat(fd, &info) != 0) return -1;
    return info.st_size > 0 ? static_cast<int64_t>(info.st_size) : 0;
}

int64_t PositionInFile(int fd) {
    return lseek(fd, 0, SEEK_CUR);
}

bool TruncateFile(int fd, int64_t size) {
    return ftruncate(fd, static_cast<off_t>(size)) == 0;
}

namespace {

[[nodiscard]] FileKind KindOf(const struct stat& info) {
    if (S_ISREG(info.st_mode)) return FileKind::kRegular;
    return S_ISDIR(info.st_mode) ? FileKind::kDirectory : FileKind::kOther;
}

}  // namespace

FileKind KindOfFile(const char* path) {
    struct stat info = {};
    return stat(path, &info) == 0 ? KindOf(info) : FileKind::kUnknown;
}

FileKind KindOfOpenFile(int fd) {
    struct stat info = {};
    return fstat(fd, &info) == 0 ? KindOf(info) : FileKind::kUnknown;
}

std::FILE* StreamOverFile(int fd, const char* mode) {
    return fdopen(fd, mode);
}

int DescriptorOf(std::FILE* stream) {
    return fileno(stream);
}

bool RemoveFile(const char* path) {
    return unlink(path) == 0;
}

mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

int MakeTemporaryFile(char* pattern) {
    return mkostemp(pattern, O_CLOEXEC);
}

int MakeUnnamedTemporaryFile(std::string pattern) {
    const int fd = MakeTemporaryFile(pattern.data());
    if (fd >= 0) unlink(pattern.c_str());  // nameless from the start: nothing can be left behind
    return fd;
}

int OpenScratchFile(const std::string& directory) {
    int fd = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    return MakeUnnamedTemporaryFile(directory + "/.xpmimport-XXXXXX");
}

OutputKind KindOfOutput(const char* path) {
    struct stat info = {};
    if (stat(path, &info) != 0) return OutputKind::kNone;
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode))
        return OutputKind::kDeviceOrFifo;
    return OutputKind::kFile;
}

int OpenForWritingInto(const char* path) {
    return open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
}

bool TakeOverAttributes(int fd, const char* path, mode_t mode) {
    struct stat old = {};
    if (lstat(path, &old) != 0 || !S_ISREG(old.st_mode)) return fchmod(fd, mode) == 0;
    // Owner and group where the caller may (root), else at least the group (one of the
    // caller's own). The permissions after, since a change of owner clears set-ID bits; those
    // stay only on a file that kept its owner.
    const bool owned = fchown(fd, old.st_uid, old.st_gid) == 0;
    if (!owned) (void)fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    return fchmod(fd, old.st_mode & (owned ? 07777 : 0777)) == 0;
}

bool MoveIntoPlace(const char* from, const char* to) {
    return rename(from, to) == 0;
}

bool MakeDirectory(const char* path) {
    return mkdir(path, 0777) == 0 || errno == EEXIST;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat first = {}, second = {};
    if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace xpmimport
