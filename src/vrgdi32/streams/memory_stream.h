// A stream over a memory block that the caller keeps valid (and locked) until it closes
// the stream. No copy is made: the block itself is the read window.
#pragma once

#include <cstddef>
#include <cstdint>

#include "streams/stream.h"

namespace vrgdi32 {

class MemoryStream final : public Stream {
  public:
    // data may be null only when size is 0.
    MemoryStream(const uint8_t* data, uint32_t size);

  protected:
    [[nodiscard]] int32_t ReadSlow(uint8_t* out, int32_t count) override;
    [[nodiscard]] int64_t Position() const override { return cursor_ - base_; }
    [[nodiscard]] int64_t Length() const override { return size_; }
    [[nodiscard]] bool MoveTo(int64_t target) override;

  private:
    const uint8_t* base_;
    uint32_t size_;
};

}  // namespace vrgdi32
