// The file operations on POSIX.
#include "xpmimport/file_system.h"

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

int64_t ReadAt(int fd, void* out, size_t count, int64_t offset) {
    return pread(fd, out, count, static_cast<off_t>(offset));
}

int64_t SizeOfOpenFile(int fd) {
    struct stat info = {};
    if (fstat(fd, &info) != 0) return -1;
    return info.st_size > 0 ? static_cast<int64_t>(info.st_size) : 0;
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

std::string TemporaryDirectory() {
    const char* directory = std::getenv("TMPDIR");
    return directory != nullptr && *directory != '\0' ? directory : "/tmp";
}

bool SetFileMode(int fd, mode_t mode) {
    return fchmod(fd, mode) == 0;
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
