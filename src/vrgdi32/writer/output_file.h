// The file that a host names at OutputOpen. The picture is streamed into a new temporary
// file beside it (same directory, a unique hidden name, created exclusively) that replaces
// the named file by a rename only once the picture is complete; on any failure only the
// temporary file is removed, so an existing file is never lost to a failed import. A new
// file gets mode 0666 less the umask, a replaced one keeps its permission bits; a symbolic
// link is followed, so the file it names is replaced and the link stays.
//
// A named file that the caller may not write is refused (301), as it would be by opening it.
// A named file that is not a regular file (a device, a pipe), or a regular file in a
// directory where no temporary file can be made, is written whole once the picture is
// complete (the picture waits in memory until then); nothing is ever removed then.
//
// On Windows a read-only or directory target is refused, links are not followed and a new
// file gets the default permissions (output_file_windows.cpp).
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
    [[nodiscard]] bool streams() const { return !temporary_.empty(); }
    [[nodiscard]] int fd() const { return fd_; }

    // Streaming: puts the complete temporary file in the named file's place. Returns 0, or
    // 301 when the rename fails (the temporary file is then removed).
    [[nodiscard]] int16_t Commit();
    // Not streaming: writes the whole picture, head then the count bytes at bytes, over the
    // named file. Returns 0, or 302 with *detail 269 when the disk is full (0 otherwise).
    [[nodiscard]] int16_t WriteWhole(std::span<const uint8_t> head, const uint8_t* bytes,
                                     std::size_t count, int16_t* detail);
    // Closes; removes the temporary file if there is one. The named file stays as it was.
    void Discard();

  private:
    [[nodiscard]] int16_t CreateTemporary(const std::string& target);

    int fd_ = -1;
    std::string target_;     // the file the picture replaces
    std::string temporary_;  // empty when not streaming
};

}  // namespace vrgdi32
