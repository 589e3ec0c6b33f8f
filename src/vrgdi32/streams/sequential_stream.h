// A stream over a source that can only be read front to back: the host's read routine,
// or a file that cannot seek (a pipe). The host's routine is asked only for the bytes a read
// still needs (its source may go on with data that is not ours, read by the host after the
// picture); a pipe the stream opened itself is read in chunks. Bytes are kept from the mark on, so
// the reader can move back to any position at or after the last position it asked for (origin 1,
// offset 0); bytes before the mark are dropped. At most kMemoryBytes are held in memory: when more
// lie between the mark and the end of what was read, the older ones go to an unlinked
// temporary file and a move back reads them from there. Seeking to the end works when the
// source told its size (or has been read to its end); it moves the position without
// reading, and the bytes are only read if a read happens there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "local_buffer.h"
#include "streams/spill_file.h"
#include "streams/stream.h"
#include "vrgdi32/vrgdi32.h"

namespace vrgdi32 {

class SequentialStream : public Stream {
  public:
    static constexpr int32_t kChunkBytes = 64 * 1024;
    // The most the window grows to before older bytes are spilled to a file.
    static constexpr std::size_t kMemoryBytes = 4 * 1024 * 1024;
    // The most held from the mark on, in the file and memory together, and in memory alone
    // when no file can take them: past either, the read fails (kVrReadLookBackLimit), so an
    // endless input never fills the disk or the memory.
    static constexpr int64_t kMaxHeldBytes = int64_t{256} * 1024 * 1024;
    static constexpr std::size_t kMaxMemoryBytes = 64 * 1024 * 1024;

  protected:
    // size: total length when known, else -1. exactPulls: ask the source for no more than a
    // read still needs.
    SequentialStream(int64_t size, bool exactPulls) : size_(size), exactPulls_(exactPulls) {}
    [[nodiscard]] bool AllocateWindow();

    // Fills out with up to count bytes from the source: >0 delivered, 0 end, <0 failure (-2
    // to -4095: the system's error number, negated). Never called again after it returned 0
    // or a failure.
    [[nodiscard]] virtual int32_t Pull(uint8_t* out, int32_t count) = 0;

    [[nodiscard]] int32_t ReadSlow(uint8_t* out, int32_t count) override;
    [[nodiscard]] int64_t Position() const override {
        if (replaying_) return replayStart_ + (cursor_ - replay_.data());
        return pendingPosition_ >= 0 ? pendingPosition_ : windowStart_ + (cursor_ - window_.data());
    }
    // The advertised size is taken as a lower bound: a source that delivers more than it
    // said is still read and sought in full. A source without a size has a length once
    // it has been read to its end.
    [[nodiscard]] int64_t Length() const override {
        if (size_ >= 0) return size_ > WindowEnd() ? size_ : WindowEnd();
        return ended_ && !failed_ ? WindowEnd() : -1;
    }
    [[nodiscard]] bool MoveTo(int64_t target) override;
    void PositionReported(int64_t position) override;

  private:
    // Appends one pull to the window (making room first), of at most `needed` bytes when pulls
    // are exact; false at the end of the source, after a failure, or when memory runs out.
    [[nodiscard]] bool Fill(int64_t needed);
    // Ensures room for one pull: drops what lies before the mark when that pays, spills the
    // older half of a full window to the file, or else grows the window. Returns 0, or why
    // not: kVrReadLookBackLimit, kVrReadNoMemory.
    [[nodiscard]] int32_t MakeRoom();
    // Serves reads at `position` (before the window) from the spill file; false on failure.
    [[nodiscard]] bool Replay(int64_t position);
    [[nodiscard]] int64_t WindowEnd() const { return windowStart_ + filled_; }
    void PlaceCursor(int64_t position);
    // The spill file's bytes all lie before the mark: forget them.
    void DropSpill();

    int64_t size_;
    bool exactPulls_;
    LocalBuffer window_;
    int64_t windowStart_ = 0;       // stream position of window_.data()[0]
    int64_t filled_ = 0;            // bytes of the window that hold data
    int64_t mark_ = 0;              // nothing before it is ever needed again
    int64_t pendingPosition_ = -1;  // a position past the window, not yet read up to
    bool ended_ = false;

    // The spill file holds the stream's bytes [spillStart_, windowStart_), byte p at file
    // offset p - spillStart_; empty when spillStart_ == windowStart_. Bytes from the mark
    // on are always in the file or the window.
    SpillFile spill_;
    int64_t spillStart_ = 0;
    bool spillWorks_ = true;  // false once a spill failed: the window grows instead
    // While replaying, reads come from replay_, which holds bytes from replayStart_ on.
    LocalBuffer replay_;
    int64_t replayStart_ = 0;
    bool replaying_ = false;
};

// The host's read routine (protocol in vrgdi32.h).
class RoutineStream final : public SequentialStream {
  public:
    // Asks the routine for the input size (routine(userData, NULL, 0)) once. Null when
    // memory runs out.
    [[nodiscard]] static std::unique_ptr<RoutineStream> Create(VrReadRoutine routine,
                                                               uint64_t userData);

  protected:
    [[nodiscard]] int32_t Pull(uint8_t* out, int32_t count) override;

  private:
    RoutineStream(VrReadRoutine routine, uint64_t userData, int64_t size)
        : SequentialStream(size, true), routine_(routine), userData_(userData) {}

    VrReadRoutine routine_;
    uint64_t userData_;
};

// A file descriptor that cannot seek (FIFO, character device).
class PipeStream final : public SequentialStream {
  public:
    // Takes ownership of fd; null (fd closed) when memory runs out.
    [[nodiscard]] static std::unique_ptr<PipeStream> Create(int fd);
    ~PipeStream() override;

  protected:
    [[nodiscard]] int32_t Pull(uint8_t* out, int32_t count) override;

  private:
    explicit PipeStream(int fd) : SequentialStream(-1, false), fd_(fd) {}
    int fd_;
};

}  // namespace vrgdi32
