// The optional file that a host names at OutputOpen: created at once (so a bad place is
// known early), written whole when the output finishes, removed again when no picture
// came of it. Only regular files are ever removed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vrgdi32 {

class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile() { Discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates (or truncates) path. Returns 0, or 301 when it cannot be created.
    [[nodiscard]] int16_t Create(const char* path);
    [[nodiscard]] bool isOpen() const { return fd_ >= 0; }

    // Writes bytes and closes the file. Returns 0, or 302 with *detail 269 when the disk
    // is full (0 otherwise); after a failure the file is removed.
    [[nodiscard]] int16_t WriteAndClose(const uint8_t* bytes, std::size_t count, int16_t* detail);

    // Closes and removes the file when it is still open (no picture was written).
    void Discard();

  private:
    int fd_ = -1;
    bool removable_ = false;
    std::string path_;
};

}  // namespace vrgdi32
