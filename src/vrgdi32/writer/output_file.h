// The file that a host names at OutputOpen. The picture is streamed into a new temporary
// file in the same directory that replaces the named file only once the picture is complete;
// on any failure only the temporary file goes, so an existing file is never lost to a failed
// import. On Linux the temporary file has no name until it is complete (O_TMPFILE, then
// linkat), so a host killed on the way leaves nothing behind; where the file system cannot
// do that, it is a hidden sibling (".NAME.XXXXXX", created exclusively). Either way it is
// made 0600 and given its final mode just before it takes the name: a replaced file's
// permission bits, or 0666 less the umask for a new one.
//
// A symbolic link is followed, so the file it names is replaced and the link stays, unless
// the kernel's protected-symlinks rule would not follow it: a link in a sticky world-writable
// directory (/tmp) owned neither by the caller nor by the directory's owner, which another
// user may have planted there, is refused (301), as are loops.
//
// A named file that the caller may not write is refused (301), as it would be by opening it.
// A named file that is not a regular file (a device, a pipe) is written whole once the
// picture is complete (the picture waits in memory until then); a pipe that no one reads is
// refused at once (301) instead of waiting for a reader. A regular file in a directory where
// no temporary file can be made is rewritten in place at the end: its old bytes are first
// copied to a hidden file in $TMPDIR (else /tmp) and the space for the new ones reserved, and
// a failed write puts the old bytes back; should the host die during the rewrite, that copy
// stays, so one whole version always exists.
//
// On Windows a read-only or directory target is refused, links are not followed, a new file
// gets the default permissions and the in-place rewrite keeps no copy
// (output_file_windows.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vrgdi32 {

class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile() { Discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Prepares path (see the class comment). Returns 0, or 301 when it cannot be written.
    [[nodiscard]] int16_t Create(const char* path);
    [[nodiscard]] bool isOpen() const { return fd_ >= 0; }
    // True when the bytes go to the temporary file, fd(), as they are made.
    [[nodiscard]] bool streams() const { return streams_; }
    [[nodiscard]] int fd() const { return fd_; }

    // Streaming: puts the complete temporary file in the named file's place. Returns 0, or
    // 301 when that fails (the temporary file is then removed).
    [[nodiscard]] int16_t Commit();
    // Not streaming: writes the whole picture, head then the count bytes at bytes, over the
    // named file. Returns 0, or 302 with *detail 269 when the disk is full (0 otherwise).
    [[nodiscard]] int16_t WriteWhole(std::span<const uint8_t> head, const uint8_t* bytes,
                                     std::size_t count, int16_t* detail);
    // Closes; removes the temporary file if there is one. The named file stays as it was.
    void Discard();

  private:
    [[nodiscard]] int16_t CreateTemporary(const std::string& target);
    // The POSIX steps of Commit and WriteWhole; each returns 0 or an errno value.
    [[nodiscard]] int LinkInPlace();
    [[nodiscard]] int RewriteInPlace(std::span<const uint8_t> head, const uint8_t* bytes,
                                     std::size_t count);

    int fd_ = -1;
    bool streams_ = false;
    bool unnamed_ = false;   // fd_ is a temporary file without a name
    bool inPlace_ = false;   // fd_ is the named regular file itself
    bool existed_ = false;   // the named file was there at Create
    uint32_t mode_ = 0;      // the permission bits the file ends with
    std::string target_;     // the file the picture replaces
    std::string temporary_;  // the temporary file's name, when it has one
};

// A name for a temporary file in directory (empty, or ending with its separator): ".", as
// much of name as fits, "." and six letters of bits, within 255 characters and, with
// directory, within longestPath; empty when the directory alone leaves no room.
[[nodiscard]] std::string TemporaryName(const std::string& directory, const std::string& name,
                                        uint64_t bits, std::size_t longestPath);

}  // namespace vrgdi32
