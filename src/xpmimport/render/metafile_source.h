// Where a renderer reads a metafile from: bytes already in memory, or a file it reads piece
// by piece (only a window of it is held, so a picture of any size costs the same memory).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace xpmimport {

class MetafileSource {
  public:
    explicit MetafileSource(std::span<const uint8_t> bytes) : bytes_(bytes), size_(bytes.size()) {}
    // The whole of the open file fd (from offset 0), read with pread; fd stays open and its
    // position is left alone. A file that cannot be measured reads as empty, with readError().
    explicit MetafileSource(int fd);

    [[nodiscard]] uint64_t size() const { return size_; }
    // True when [offset, offset + length) lies inside the metafile (no overflow).
    [[nodiscard]] bool holds(uint64_t offset, uint64_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }
    // Sets *out to the bytes [offset, offset + length), which holds() must allow. The view
    // stays valid until the next call. False when the file cannot be read (readError()).
    [[nodiscard]] bool read(uint64_t offset, uint64_t length, std::span<const uint8_t>* out);
    [[nodiscard]] const std::string& readError() const { return readError_; }

  private:
    std::span<const uint8_t> bytes_;
    int fd_ = -1;
    uint64_t size_ = 0;
    std::vector<uint8_t> window_;  // file bytes [windowStart_, windowStart_ + windowFill_)
    uint64_t windowStart_ = 0;
    uint64_t windowFill_ = 0;
    std::string readError_;
};

}  // namespace xpmimport
