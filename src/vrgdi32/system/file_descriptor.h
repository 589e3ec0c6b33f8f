// The few file operations the streams and the writer make on a descriptor, so that the same
// code runs on POSIX and on Windows (where a descriptor is the C runtime's, over a Win32
// handle). Every call retries an interrupted system call itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vrgdi32::sys {

// Opens path for reading. Returns the descriptor and sets *regular (a regular file, whose
// *size is set) or not (a pipe or a device: read it in order); -1 when the path cannot be
// opened or is a directory.
[[nodiscard]] int OpenForReading(const char* path, bool* regular, int64_t* size);
// Reads up to count bytes at offset without moving the file position. Returns the count
// read (0 at the end), or -1 when the read failed.
[[nodiscard]] int64_t ReadAt(int fd, void* out, std::size_t count, int64_t offset);
// Reads up to count bytes at the file position. Returns the count, 0 at the end, -1 on failure.
[[nodiscard]] int64_t ReadNext(int fd, void* out, std::size_t count);
// Writes up to count bytes at offset. Returns the count written (at least 1), or -1 when
// nothing could be written; *diskFull then says whether the disk or quota was full.
[[nodiscard]] int64_t WriteAt(int fd, const void* bytes, std::size_t count, int64_t offset,
                              bool* diskFull);
// Moves the file position; false when the descriptor cannot seek.
[[nodiscard]] bool SeekTo(int fd, int64_t offset);
// Sets the file's length, as far as the file system lets it: its one caller gives space back
// early and loses nothing when that fails.
void Truncate(int fd, int64_t size);
void Close(int fd);
// True when a host's descriptor can take a metafile: open for writing, not appending, seekable.
[[nodiscard]] bool WritableAndSeekable(int fd);
// A new temporary file that no name refers to, gone when closed, in the directory
// GetTempPathA names (on POSIX $TMPDIR when absolute, else /tmp). -1 when none can be made.
[[nodiscard]] int OpenAnonymousTemporary();
#if !defined(_WIN32)
// The directory GetTempPathA names, with its trailing '/'; "/tmp/" when it names none.
[[nodiscard]] std::string TemporaryDirectory();
// Copies the first count bytes of from to the start of to, in the kernel where it can. False,
// with errno set, when a read or a write fails or from ends before count bytes.
[[nodiscard]] bool CopyBytes(int from, int to, int64_t count);
#endif

}  // namespace vrgdi32::sys
