// A stream over a regular file, read through a 64 KiB window with positioned reads, so
// seeking anywhere within the file is cheap and never disturbs other readers of it.
#pragma once

#include <cstdint>
#include <memory>

#include "local_buffer.h"
#include "streams/stream.h"

namespace vrgdi32 {

class FileStream final : public Stream {
  public:
    static constexpr int32_t kWindowBytes = 64 * 1024;

    // Takes ownership of fd (an open regular file of `size` bytes). Null when the window
    // cannot be allocated; fd is then closed.
    [[nodiscard]] static std::unique_ptr<FileStream> Create(int fd, int64_t size);
    ~FileStream() override;

  protected:
    [[nodiscard]] int32_t ReadSlow(uint8_t* out, int32_t count) override;
    [[nodiscard]] int64_t Position() const override {
        return windowOffset_ + (cursor_ - window_.data());
    }
    [[nodiscard]] int64_t Length() const override { return size_; }
    [[nodiscard]] bool MoveTo(int64_t target) override;

  private:
    FileStream(int fd, int64_t size, LocalBuffer window);
    // Reads at `offset` into `out`; returns the byte count, 0 at end or on failure.
    [[nodiscard]] int32_t ReadAt(int64_t offset, uint8_t* out, int32_t count);

    int fd_;
    int64_t size_;
    LocalBuffer window_;
    int64_t windowOffset_ = 0;  // file offset of window_.data()[0]
};

}  // namespace vrgdi32
