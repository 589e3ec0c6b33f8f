// Where a forward-only stream keeps the bytes it may still be asked to go back to once they
// no longer fit its memory window: an unlinked temporary file in $TMPDIR (else /tmp), made at
// the first spill, gone when closed, never visible by name.
#pragma once

#include <cstdint>

namespace vrgdi32 {

class SpillFile {
  public:
    SpillFile() = default;
    ~SpillFile();
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    // Writes count bytes at offset, creating the file first if needed. False when the file
    // cannot be made or the bytes were not all written (the caller then keeps them).
    [[nodiscard]] bool WriteAt(int64_t offset, const uint8_t* bytes, int64_t count);
    // Reads up to count bytes at offset; the count read, 0 at the end or on failure.
    [[nodiscard]] int32_t ReadAt(int64_t offset, uint8_t* out, int32_t count);
    // Gives the disk space back; the file stays open for later writes.
    void Clear();

  private:
    [[nodiscard]] bool Open();

    int fd_ = -1;
};

}  // namespace vrgdi32
