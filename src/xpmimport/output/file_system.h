// The file operations whose system calls differ between POSIX and Windows. Descriptors are
// C runtime descriptors (binary mode on Windows); a failure returns -1 or false with errno
// set.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace xpmimport {

// The characters that end a directory name in a path: "/", and on Windows "/\".
[[nodiscard]] std::string_view PathSeparators();

// Opens path for reading; the descriptor is not inherited by child processes.
[[nodiscard]] int OpenForReading(const char* path);

// Reads up to count bytes at offset without using the descriptor's position where the
// system allows; returns the bytes read (0 at the end) or -1.
[[nodiscard]] int64_t ReadAt(int fd, void* out, size_t count, int64_t offset);

// The size of the file open as fd, or -1.
[[nodiscard]] int64_t SizeOfOpenFile(int fd);

// Creates a new file from pattern (its last six characters "XXXXXX" are replaced, in place,
// to make a name no file has) and opens it for reading and writing.
[[nodiscard]] int MakeTemporaryFile(char* pattern);

// The same, for a file that has no name once created (it is gone when closed).
[[nodiscard]] int MakeUnnamedTemporaryFile(std::string pattern);

// An unnamed read-write file in directory, or -1.
[[nodiscard]] int OpenScratchFile(const std::string& directory);

// The directory for temporary files: $TMPDIR, else /tmp (on Windows, GetTempPathA's).
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
