// The file operations whose system calls differ between POSIX and Windows. Descriptors are
// C runtime descriptors (binary mode on Windows); a failure returns -1 or false with errno
// set.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace xpmimport {

// The descriptors of the standard streams (the same numbers on both systems).
inline constexpr int kStandardInputFd = 0;
inline constexpr int kStandardOutputFd = 1;
inline constexpr int kStandardErrorFd = 2;

// The characters that end a directory name in a path: "/", and on Windows "/\".
[[nodiscard]] std::string_view PathSeparators();

// Opens path for reading; the descriptor is not inherited by child processes.
[[nodiscard]] int OpenForReading(const char* path);

// Reads up to count bytes at the descriptor's position and moves it past them; returns the
// bytes read (0 at the end) or -1. A signal may cut the wait short (-1 with EINTR).
[[nodiscard]] int64_t ReadNext(int fd, void* out, size_t count);

// Writes up to count bytes at the descriptor's position; returns the bytes written or -1 (a
// signal may cut the wait short: EINTR).
[[nodiscard]] int64_t WriteNext(int fd, const void* bytes, size_t count);

// Reads up to count bytes at offset without using the descriptor's position where the
// system allows; returns the bytes read (0 at the end) or -1.
[[nodiscard]] int64_t ReadAt(int fd, void* out, size_t count, int64_t offset);

// Closes fd; false when the system reports a failure (fd is closed all the same).
[[nodiscard]] bool CloseFile(int fd);

// The size of the file open as fd, or -1.
[[nodiscard]] int64_t SizeOfOpenFile(int fd);

// The position of the open file fd, or -1 (a pipe has none).
[[nodiscard]] int64_t PositionInFile(int fd);

// Cuts the open file fd to size bytes.
[[nodiscard]] bool TruncateFile(int fd, int64_t size);

// What a path (symbolic links followed) or an open file is; kUnknown when the system cannot
// say (no such file, no access).
enum class FileKind { kUnknown, kRegular, kDirectory, kOther };
[[nodiscard]] FileKind KindOfFile(const char* path);
[[nodiscard]] FileKind KindOfOpenFile(int fd);

// A stdio stream over fd in mode ("wb", "w+b"); the stream owns fd from then on (fclose closes
// it). Null when it cannot be made, fd left open.
[[nodiscard]] std::FILE* StreamOverFile(int fd, const char* mode);

// The descriptor under a stdio stream.
[[nodiscard]] int DescriptorOf(std::FILE* stream);

// Removes the name path.
[[nodiscard]] bool RemoveFile(const char* path);

// The permissions a new file gets: 0666 less the process's file mode mask.
[[nodiscard]] mode_t NewFileMode();

// Creates a new file from pattern (its last six characters "XXXXXX" are replaced, in place,
// to make a name no file has) and opens it for reading and writing.
[[nodiscard]] int MakeTemporaryFile(char* pattern);

// The same, for a file that has no name once created (it is gone when closed).
[[nodiscard]] int MakeUnnamedTemporaryFile(std::string pattern);

// An unnamed read-write file in directory, or -1.
[[nodiscard]] int OpenScratchFile(const std::string& directory);

// The directory for temporary files, without a trailing separator: GetTempPathA's (on POSIX
// $TMPDIR when it is an absolute path, else /tmp); "." when there is none.
[[nodiscard]] std::string TemporaryDirectory();

// What an output's name holds now. A device or a FIFO is written into, never replaced (on
// Windows there is none: every existing name is a file).
enum class OutputKind { kNone, kFile, kDeviceOrFifo };
[[nodiscard]] OutputKind KindOfOutput(const char* path);

// Opens an existing device or FIFO for writing; never creates anything. A FIFO waits for its
// reader (a signal ends the wait with EINTR).
[[nodiscard]] int OpenForWritingInto(const char* path);

// Before the open file takes the place of `path`: gives it the permissions of the regular file
// there, and its owner and group as far as the caller may, or `mode` when there is none (a new
// name, or a symbolic link, which is replaced, not followed). Windows keeps its own defaults.
[[nodiscard]] bool TakeOverAttributes(int fd, const char* path, mode_t mode);

// Puts the file from in place of to, in one step, replacing any file there.
[[nodiscard]] bool MoveIntoPlace(const char* from, const char* to);

// Makes the directory; true too when it exists.
[[nodiscard]] bool MakeDirectory(const char* path);

// True when both paths name one existing file.
[[nodiscard]] bool SameFile(const std::string& a, const std::string& b);

}  // namespace xpmimport
