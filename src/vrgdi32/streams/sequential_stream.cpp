// Streams over sources that read only forward (see sequential_stream.h).
#include "streams/sequential_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "system/file_descriptor.h"

namespace vrgdi32 {

bool SequentialStream::AllocateWindow() {
    if (!window_.Allocate(2 * kChunkBytes)) return false;
    cursor_ = end_ = window_.data();
    return true;
}

void SequentialStream::PlaceCursor(int64_t position) {
    pendingPosition_ = -1;
    cursor_ = window_.data() + (position - windowStart_);
    end_ = window_.data() + filled_;
}

bool SequentialStream::MoveTo(int64_t target) {
    // Bytes before the mark may already be gone; refuse them all, held or not, so the
    // outcome never depends on how the source happened to chunk its data.
    if (target < mark_) return false;
    if (target < windowStart_) {
        // Spilled: read back lazily from the file. A position pending past the window is
        // never looked at while replaying, and catching up with the window clears it.
        replaying_ = true;
        replayStart_ = target;
        cursor_ = end_ = replay_.data();
        return true;
    }
    replaying_ = false;
    if (target <= WindowEnd()) {
        PlaceCursor(target);
        return true;
    }
    pendingPosition_ = target;
    cursor_ = end_ = window_.data() + filled_;
    return true;
}

void SequentialStream::PositionReported(int64_t position) {
    mark_ = position;
    if (mark_ >= windowStart_) DropSpill();
}

void SequentialStream::DropSpill() {
    if (spillStart_ == windowStart_) return;
    spill_.Clear();
    spillStart_ = windowStart_;
}

int32_t SequentialStream::MakeRoom() {
    // Drop the bytes before the mark once they are at least half of what is held, or
    // when there is no room left for another pull.
    const int64_t droppable = std::min(mark_, WindowEnd()) - windowStart_;
    const auto capacity = static_cast<int64_t>(window_.capacity());
    if (droppable > 0 && (droppable * 2 >= filled_ || capacity - filled_ < kChunkBytes)) {
        std::memmove(window_.data(), window_.data() + droppable,
                     static_cast<std::size_t>(filled_ - droppable));
        windowStart_ += droppable;
        filled_ -= droppable;
        DropSpill();  // everything in it lies before the mark
    }
    if (capacity - filled_ >= kChunkBytes) return 0;
    // What is held, in the file and in memory, is what the reader may still come back to.
    if (WindowEnd() - spillStart_ + kChunkBytes > kMaxHeldBytes) return kVrReadLookBackLimit;
    if (window_.capacity() >= kMemoryBytes && spillWorks_) {
        const int64_t older = filled_ / 2;
        if (spill_.WriteAt(windowStart_ - spillStart_, window_.data(), older)) {
            std::memmove(window_.data(), window_.data() + older,
                         static_cast<std::size_t>(filled_ - older));
            windowStart_ += older;
            filled_ -= older;
            return 0;
        }
        spillWorks_ = false;  // no file or a full disk: hold what is needed in memory instead
    }
    if (window_.capacity() * 2 > kMaxMemoryBytes) return kVrReadLookBackLimit;
    LocalBuffer bigger;
    if (!bigger.Allocate(window_.capacity() * 2)) return kVrReadNoMemory;
    std::memcpy(bigger.data(), window_.data(), static_cast<std::size_t>(filled_));
    window_ = static_cast<LocalBuffer&&>(bigger);
    return 0;
}

bool SequentialStream::Fill(int64_t needed) {
    if (ended_) return false;
    const int64_t position = Position();
    if (const int32_t reason = MakeRoom()) {
        Fail(reason);
        ended_ = true;
        return false;
    }
    // A read at a position sought past the window needs the bytes up to there as well.
    needed += std::max<int64_t>(pendingPosition_ - WindowEnd(), 0);
    const int32_t asked =
        exactPulls_ ? static_cast<int32_t>(std::min<int64_t>(needed, kChunkBytes)) : kChunkBytes;
    const int32_t got = Pull(window_.data() + filled_, asked);
    if (got < 0 || got > asked) {
        // -2 to -4095 carry the system's error number; any other failure has no cause to give.
        Fail(got <= -2 && got >= -4095 ? -got : kVrReadRoutineFailed);
        ended_ = true;
    } else if (got == 0) {
        ended_ = true;
    } else {
        filled_ += got;
    }
    if (pendingPosition_ <= WindowEnd()) {  // none pending is -1
        PlaceCursor(position);
    } else {
        cursor_ = end_ = window_.data() + filled_;
    }
    // False once the source ended or failed (a pull of more than asked failed: nothing kept).
    return !ended_;
}

bool SequentialStream::Replay(int64_t position) {
    if (replay_.data() == nullptr && !replay_.Allocate(kChunkBytes)) {
        Fail(kVrReadNoMemory);
        return false;
    }
    const int64_t spilled = windowStart_ - position;
    const auto wanted = static_cast<int32_t>(std::min<int64_t>(spilled, kChunkBytes));
    const int32_t got = spill_.ReadAt(position - spillStart_, replay_.data(), wanted);  // >= 0
    replayStart_ = position;
    cursor_ = replay_.data();
    end_ = replay_.data() + got;
    if (got == 0) Fail(EIO);  // the spill file gave back less than it took
    return got != 0;
}

int32_t SequentialStream::ReadSlow(uint8_t* out, int32_t count) {
    int32_t copied = 0;
    if (replaying_) {
        if (failed_) return 0;
        copied = TakeFromWindow(out, count);
        while (copied < count) {
            const int64_t position = Position();
            if (position >= windowStart_) {
                // Caught up with the window: go on from memory.
                replaying_ = false;
                PlaceCursor(position);
                copied += TakeFromWindow(out + copied, count - copied);
                break;
            }
            if (!Replay(position)) return copied;
            copied += TakeFromWindow(out + copied, count - copied);
        }
    } else if (pendingPosition_ < 0) {
        copied = TakeFromWindow(out, count);
    }
    while (copied < count) {
        if (!Fill(count - copied)) break;
        if (pendingPosition_ >= 0) continue;  // still reading up to a position seeked to
        copied += TakeFromWindow(out + copied, count - copied);
    }
    return copied;
}

std::unique_ptr<RoutineStream> RoutineStream::Create(VrReadRoutine routine, uint64_t userData) {
    const int32_t size = routine(userData, nullptr, 0);
    std::unique_ptr<RoutineStream> stream(
        new (std::nothrow) RoutineStream(routine, userData, size < 0 ? -1 : size));
    if (stream == nullptr || !stream->AllocateWindow()) return nullptr;
    return stream;
}

int32_t RoutineStream::Pull(uint8_t* out, int32_t count) {
    return routine_(userData_, out, count);
}

std::unique_ptr<PipeStream> PipeStream::Create(int fd) {
    std::unique_ptr<PipeStream> stream(new (std::nothrow) PipeStream(fd));
    if (stream == nullptr) {
        sys::Close(fd);
        return nullptr;
    }
    if (!stream->AllocateWindow()) return nullptr;
    return stream;
}

PipeStream::~PipeStream() {
    sys::Close(fd_);
}

int32_t PipeStream::Pull(uint8_t* out, int32_t count) {
    const int64_t got = sys::ReadNext(fd_, out, static_cast<std::size_t>(count));
    return got >= 0 ? static_cast<int32_t>(got) : -errno;
}

}  // namespace vrgdi32
