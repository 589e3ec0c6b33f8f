// The descriptor operations on Windows (see file_descriptor.h): C runtime descriptors in
// binary mode, with positioned reads and writes through their Win32 handles.
#include "system/file_descriptor.h"

#include "winshim/winshim.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace vrgdi32::sys {
namespace {

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

OVERLAPPED At(int64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    return at;
}

// One Win32 call moves at most 4 GiB less a little.
DWORD Chunk(std::size_t count) {
    return count > 0x7FFFF000u ? 0x7FFFF000u : static_cast<DWORD>(count);
}

}  // namespace

int OpenForReading(const char* path, bool* regular, int64_t* size) {
    const int fd = ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) return -1;
    struct _stati64 info {};
    if (::_fstati64(fd, &info) != 0 || (info.st_mode & _S_IFDIR) != 0) {
        ::_close(fd);
        return -1;
    }
    *regular = ::GetFileType(HandleOf(fd)) == FILE_TYPE_DISK;
    *size = *regular ? static_cast<int64_t>(info.st_size) : 0;
    return fd;
}

int64_t ReadAt(int fd, void* out, std::size_t count, int64_t offset) {
    OVERLAPPED at = At(offset);
    DWORD got = 0;
    if (::ReadFile(HandleOf(fd), out, Chunk(count), &got, &at)) return got;
    return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
}

int64_t ReadNext(int fd, void* out, std::size_t count) {
    DWORD got = 0;
    if (::ReadFile(HandleOf(fd), out, Chunk(count), &got, nullptr)) return got;
    // The writing end of a pipe was closed: the end of the input.
    return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

int64_t WriteAt(int fd, const void* bytes, std::size_t count, int64_t offset, bool* diskFull) {
    *diskFull = false;
    OVERLAPPED at = At(offset);
    DWORD wrote = 0;
    if (::WriteFile(HandleOf(fd), bytes, Chunk(count), &wrote, &at) && wrote > 0) return wrote;
    const DWORD error = ::GetLastError();
    *diskFull = wrote == 0 && (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL);
    return -1;
}

bool SeekTo(int fd, int64_t offset) {
    return ::_lseeki64(fd, offset, SEEK_SET) >= 0;
}

void Truncate(int fd, int64_t size) {
    (void)::_chsize_s(fd, size);
}

void Close(int fd) {
    ::_close(fd);
}

bool WritableAndSeekable(int fd) {
    if (fd < 0) return false;
    const HANDLE handle = HandleOf(fd);
    if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK) return false;
    // A write of nothing still checks that the handle was opened for writing.
    DWORD wrote = 0;
    OVERLAPPED at = At(0);
    return ::WriteFile(handle, "", 0, &wrote, &at) != 0;
}

int OpenAnonymousTemporary() {
    char directory[MAX_PATH + 1];
    const DWORD length = ::GetTempPathA(sizeof directory, directory);
    if (length == 0 || length > MAX_PATH) return -1;
    char path[MAX_PATH + 1];
    if (::GetTempFileNameA(directory, "vrg", 0, path) == 0) return -1;
    // Deleted by the system when the last handle closes, even if the process dies.
    const HANDLE handle =
        ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        ::DeleteFileA(path);
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    if (fd < 0) ::CloseHandle(handle);
    return fd;
}

}  // namespace vrgdi32::sys
