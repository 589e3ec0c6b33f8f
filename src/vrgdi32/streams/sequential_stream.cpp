// Streams over sources that read only forward (see sequential_stream.h).
#include "streams/sequential_stream.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <unistd.h>

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
    if (target <= WindowEnd()) {
        PlaceCursor(target);
        return true;
    }
    pendingPosition_ = target;
    cursor_ = end_ = window_.data() + filled_;
    return true;
}

bool SequentialStream::Fill() {
    if (ended_) return false;
    // Drop the bytes before the mark once they are at least half of what is held, or
    // when there is no room left for another pull.
    const int64_t droppable = (mark_ < WindowEnd() ? mark_ : WindowEnd()) - windowStart_;
    const int64_t room = static_cast<int64_t>(window_.capacity()) - filled_;
    const int64_t position = Position();
    if (droppable > 0 && (droppable * 2 >= filled_ || room < kChunkBytes)) {
        std::memmove(window_.data(), window_.data() + droppable,
                     static_cast<std::size_t>(filled_ - droppable));
        windowStart_ += droppable;
        filled_ -= droppable;
    }
    if (static_cast<int64_t>(window_.capacity()) - filled_ < kChunkBytes) {
        LocalBuffer bigger;
        if (!bigger.Allocate(window_.capacity() * 2)) {
            failed_ = ended_ = true;
            return false;
        }
        std::memcpy(bigger.data(), window_.data(), static_cast<std::size_t>(filled_));
        window_ = static_cast<LocalBuffer&&>(bigger);
    }
    const int32_t got = Pull(window_.data() + filled_, kChunkBytes);
    if (got < 0 || got > kChunkBytes) {
        failed_ = ended_ = true;
    } else if (got == 0) {
        ended_ = true;
    } else {
        filled_ += got;
    }
    if (pendingPosition_ < 0 || pendingPosition_ <= WindowEnd()) {
        PlaceCursor(position);
    } else {
        cursor_ = end_ = window_.data() + filled_;
    }
    return !ended_ || got > 0;
}

int32_t SequentialStream::ReadSlow(uint8_t* out, int32_t count) {
    int32_t copied = pendingPosition_ >= 0 ? 0 : TakeFromWindow(out, count);
    while (copied < count) {
        if (!Fill()) break;
        if (pendingPosition_ >= 0) continue;  // still reading up to a position seeked to
        copied += TakeFromWindow(out + copied, count - copied);
    }
    return copied;
}

std::unique_ptr<RoutineStream> RoutineStream::Create(VrReadRoutine routine, uint64_t userData) {
    const int32_t size = routine(userData, nullptr, 0);
    std::unique_ptr<RoutineStream> stream(new (std::nothrow)
                                              RoutineStream(routine, userData, size < 0 ? -1 : size));
    if (stream == nullptr || !stream->AllocateWindow()) return nullptr;
    return stream;
}

int32_t RoutineStream::Pull(uint8_t* out, int32_t count) { return routine_(userData_, out, count); }

std::unique_ptr<PipeStream> PipeStream::Create(int fd) {
    std::unique_ptr<PipeStream> stream(new (std::nothrow) PipeStream(fd));
    if (stream == nullptr) {
        ::close(fd);
        return nullptr;
    }
    if (!stream->AllocateWindow()) return nullptr;
    return stream;
}

PipeStream::~PipeStream() { ::close(fd_); }

int32_t PipeStream::Pull(uint8_t* out, int32_t count) {
    for (;;) {
        const ssize_t got = ::read(fd_, out, static_cast<size_t>(count));
        if (got >= 0) return static_cast<int32_t>(got);
        if (errno != EINTR) return -1;
    }
}

}  // namespace vrgdi32
