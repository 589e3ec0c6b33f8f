// Where the metafile's bytes go while they are made: one growing block in memory that a
// metafile handle can adopt, or a file written through a fixed buffer. Both take appends and
// bytes placed anywhere (the header's totals, a bitmap that is stored bottom row first), and
// fail cleanly with a writer code. A failed sink is done with: its writer calls it no more.
#pragma once

#include <cstddef>
#include <cstdint>

#include "local_buffer.h"

namespace vrgdi32 {

class ByteSink {
  public:
    virtual ~ByteSink() = default;

    // Told once how many bytes the metafile will most likely take in all, before the
    // first append. Returns 0 or a writer code.
    [[nodiscard]] virtual int16_t Reserve(std::size_t total) = 0;
    // Appends count bytes. Returns 0 or a writer code.
    [[nodiscard]] virtual int16_t Write(const void* bytes, std::size_t count) = 0;
    // Writes count bytes at offset, over bytes written before or past the end; the size
    // becomes the larger of the two ends. Bytes past the old end that nothing places are
    // unset. The bytes lie inside the metafile, so offset + count stays below its limit.
    // Returns 0 or a writer code.
    [[nodiscard]] virtual int16_t Place(std::size_t offset, const void* bytes,
                                        std::size_t count) = 0;
    // Makes every byte appended so far reach the output.
    [[nodiscard]] virtual int16_t Flush() = 0;

    [[nodiscard]] std::size_t size() const { return size_; }
    // The detail of a failed write (kVrErrDetailDiskFull), else 0.
    [[nodiscard]] int16_t detail() const { return detail_; }

  protected:
    std::size_t size_ = 0;
    int16_t detail_ = 0;
};

// The whole metafile in one malloc'd block, which Release hands over (shrunk to its size).
class MemorySink final : public ByteSink {
  public:
    MemorySink() = default;
    ~MemorySink() override;
    MemorySink(const MemorySink&) = delete;
    MemorySink& operator=(const MemorySink&) = delete;

    // Makes room for total bytes at once; untouched room costs address space only.
    [[nodiscard]] int16_t Reserve(std::size_t total) override;
    [[nodiscard]] int16_t Write(const void* bytes, std::size_t count) override;
    [[nodiscard]] int16_t Place(std::size_t offset, const void* bytes, std::size_t count) override;
    [[nodiscard]] int16_t Flush() override { return 0; }

    [[nodiscard]] const uint8_t* data() const { return data_; }
    // The block and its size; the sink is empty afterwards. Null when nothing was written.
    [[nodiscard]] uint8_t* Release();

  private:
    uint8_t* data_ = nullptr;
    std::size_t capacity_ = 0;
};

// Bytes written to an open descriptor from offset 0 (pwrite, so the descriptor's position
// does not matter until Flush, which leaves it at the end). The descriptor is not owned.
class FileSink final : public ByteSink {
  public:
    explicit FileSink(int fd) : fd_(fd) {}
    // Sizes the buffer: no bigger than the file will be.
    [[nodiscard]] int16_t Reserve(std::size_t total) override;
    [[nodiscard]] int16_t Write(const void* bytes, std::size_t count) override;
    [[nodiscard]] int16_t Place(std::size_t offset, const void* bytes, std::size_t count) override;
    [[nodiscard]] int16_t Flush() override;

  private:
    [[nodiscard]] int16_t WriteFully(std::size_t offset, const uint8_t* bytes, std::size_t count);
    [[nodiscard]] int16_t Drain();

    int fd_;
    LocalBuffer buffer_;
    std::size_t buffered_ = 0;
};

}  // namespace vrgdi32
