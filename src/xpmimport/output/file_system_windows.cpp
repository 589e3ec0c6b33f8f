// The file operations on Windows: Win32 handles behind binary-mode C runtime descriptors.
#include "xpmimport/output/file_system.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <climits>

#include "winshim/winshim.h"

namespace xpmimport {
namespace {

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// errno for the last Win32 failure, so callers report it as they report POSIX ones.
int SetErrnoFromLastError() {
    switch (::GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            errno = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            errno = EACCES;
            break;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            errno = EEXIST;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            errno = ENOMEM;
            break;
        case ERROR_INVALID_NAME:
            errno = EINVAL;
            break;
        default:
            errno = EIO;
            break;
    }
    return -1;
}

// A descriptor over a new file made from pattern; -1 with errno set.
int CreateFromPattern(char* pattern, DWORD flags) {
    static std::atomic<uint32_t> counter{0};
    const size_t length = std::char_traits<char>::length(pattern);
    if (length < 6) {
        errno = EINVAL;
        return -1;
    }
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint32_t seed = ::GetCurrentProcessId() * 2654435761u ^ ::GetTickCount() ^
                        (counter.fetch_add(1) * 40503u);
        for (size_t i = length - 6; i < length; ++i) {
            pattern[i] = kLetters[seed % 36];
            seed = seed / 36 + (seed % 7) * 1000003u;
        }
        HANDLE file = ::CreateFileA(pattern, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | flags, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (::GetLastError() == ERROR_FILE_EXISTS) continue;
            return SetErrnoFromLastError();
        }
        const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY);
        if (fd < 0) ::CloseHandle(file);
        return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

std::string_view PathSeparators() {
    return "/\\";
}

int OpenForReading(const char* path) {
    return ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

int64_t ReadNext(int fd, void* out, size_t count) {
    return ::_read(fd, out, static_cast<unsigned>(count > INT_MAX ? INT_MAX : count));
}

int64_t WriteNext(int fd, const void* bytes, size_t count) {
    return ::_write(fd, bytes, static_cast<unsigned>(count > INT_MAX ? INT_MAX : count));
}

int64_t ReadAt(int fd, void* out, size_t count, int64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD got = 0;
    const DWORD want = count > 0x7FFFF000u ? 0x7FFFF000u : static_cast<DWORD>(count);
    if (::ReadFile(HandleOf(fd), out, want, &got, &at)) return got;
    if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
    return SetErrnoFromLastError();
}

bool CloseFile(int fd) {
    return ::_close(fd) == 0;
}

int64_t SizeOfOpenFile(int fd) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(HandleOf(fd), &size)) return SetErrnoFromLastError();
    return size.QuadPart;
}

int64_t PositionInFile(int fd) {
    return ::_lseeki64(fd, 0, SEEK_CUR);
}

bool TruncateFile(int fd, int64_t size) {
    return ::_chsize_s(fd, size) == 0;
}

namespace {

// The C runtime's own view, which tells a console or a pipe from a file. Its stat, unlike
// the system's, takes a directory named with a trailing separator ("out/").
[[nodiscard]] FileKind KindOf(const struct stat& info) {
    if (S_ISREG(info.st_mode)) return FileKind::kRegular;
    return S_ISDIR(info.st_mode) ? FileKind::kDirectory : FileKind::kOther;
}

}  // namespace

FileKind KindOfFile(const char* path) {
    struct stat info = {};
    return ::stat(path, &info) == 0 ? KindOf(info) : FileKind::kUnknown;
}

FileKind KindOfOpenFile(int fd) {
    struct stat info = {};
    return ::fstat(fd, &info) == 0 ? KindOf(info) : FileKind::kUnknown;
}

std::FILE* StreamOverFile(int fd, const char* mode) {
    return ::_fdopen(fd, mode);
}

int DescriptorOf(std::FILE* stream) {
    return ::_fileno(stream);
}

bool RemoveFile(const char* path) {
    return ::_unlink(path) == 0;
}

mode_t NewFileMode() {
    const int mask = ::_umask(0);
    ::_umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

int MakeTemporaryFile(char* pattern) {
    return CreateFromPattern(pattern, 0);
}

int MakeUnnamedTemporaryFile(std::string pattern) {
    // A file cannot lose its name while open here: it is removed when its last handle closes.
    return CreateFromPattern(pattern.data(), FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY);
}

int OpenScratchFile(const std::string& directory) {
    return MakeUnnamedTemporaryFile(directory + "\\.xpmimport-XXXXXX");
}

OutputKind KindOfOutput(const char* path) {
    return ::GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES ? OutputKind::kNone
                                                                 : OutputKind::kFile;
}

int OpenForWritingInto(const char* path) {
    return ::_open(path, _O_WRONLY | _O_BINARY);
}

bool TakeOverAttributes(int, const char*, mode_t) {
    return true;
}

bool MoveIntoPlace(const char* from, const char* to) {
    return ::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) || SetErrnoFromLastError() == 0;
}

bool MakeDirectory(const char* path) {
    // A drive ("C:") or an existing directory is there already, whatever CreateDirectory says.
    const DWORD attributes = ::GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return true;
    return ::CreateDirectoryA(path, nullptr) || SetErrnoFromLastError() == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
    auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
        HANDLE file =
            ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        const bool ok = ::GetFileInformationByHandle(file, info);
        ::CloseHandle(file);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return identify(a, &first) && identify(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace xpmimport
