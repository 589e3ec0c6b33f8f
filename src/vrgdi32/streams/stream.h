// The common shape of every input stream: a window of readable bytes that one-byte reads
// take from inline, and the positioning rules shared by file, memory and routine streams.
#pragma once

#include <cstdint>
#include <cstring>

namespace vrgdi32 {

class Stream {
  public:
    virtual ~Stream() = default;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Copies up to count bytes to out; returns how many, 0 at the end of the input or after
    // a failed read. A byte the window holds is served inline, without a call: it is the
    // decoder's hot path. Everything else goes to ReadMore.
    [[nodiscard]] int32_t Read(uint8_t* out, int32_t count) {
        if (count == 1 && cursor_ != end_) {
            *out = *cursor_++;
            return 1;
        }
        return ReadMore(out, count);
    }
    // Read, for what the window cannot serve in one byte: out of line, so that the byte path
    // keeps no registers to save.
    [[nodiscard]] int32_t ReadMore(uint8_t* out, int32_t count);

    // origin 0: from the start, 1: from here, 2: from the end. Returns the new position,
    // or -1 (position unchanged) when the target is negative, past a known end, behind
    // what the stream can still reach, or not representable in 32 bits.
    [[nodiscard]] int32_t Seek(int32_t offset, int32_t origin);

    // True once a read failed (as opposed to reaching the end of the input).
    [[nodiscard]] bool failed() const { return failed_; }

  protected:
    Stream() = default;

    // Called when the window cannot satisfy a read: copies what it has, refills, goes on.
    [[nodiscard]] virtual int32_t ReadSlow(uint8_t* out, int32_t count) = 0;
    [[nodiscard]] virtual int64_t Position() const = 0;
    // Total length in bytes, -1 when unknown.
    [[nodiscard]] virtual int64_t Length() const = 0;
    // Moves to target (0 <= target, and <= Length() when that is known); false if it cannot.
    [[nodiscard]] virtual bool MoveTo(int64_t target) = 0;
    // A position query (origin 1, offset 0) happened; routine streams use it as a mark.
    virtual void PositionReported(int64_t /*position*/) {}

    // Copies what the window holds (at most count) and returns how many bytes it copied.
    int32_t TakeFromWindow(uint8_t* out, int32_t count) {
        auto available = end_ - cursor_;
        const int32_t taken = available < count ? static_cast<int32_t>(available) : count;
        if (taken > 0) {
            std::memcpy(out, cursor_, static_cast<std::size_t>(taken));
            cursor_ += taken;
        }
        return taken;
    }

    // Marks the stream failed: no read delivers anything more. reason: why (a positive system
    // error number, or a kVrRead* reason), kept for the import job and the host.
    void Fail(int32_t reason);

    const uint8_t* cursor_ = nullptr;
    const uint8_t* end_ = nullptr;
    bool failed_ = false;
};

}  // namespace vrgdi32
