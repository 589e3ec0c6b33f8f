// Regular file streams (see file_stream.h).
#include "streams/file_stream.h"

#include <cerrno>

#include "system/file_descriptor.h"

namespace vrgdi32 {

std::unique_ptr<FileStream> FileStream::Create(int fd, int64_t size) {
    LocalBuffer window;
    // Only bytes read into the window are ever handed out.
    if (!window.Allocate(kWindowBytes, LocalBuffer::Fill::kUnset)) {
        sys::Close(fd);
        return nullptr;
    }
    auto* stream = new (std::nothrow) FileStream(fd, size, static_cast<LocalBuffer&&>(window));
    if (stream == nullptr) sys::Close(fd);
    return std::unique_ptr<FileStream>(stream);
}

FileStream::FileStream(int fd, int64_t size, LocalBuffer window)
    : fd_(fd), size_(size), window_(static_cast<LocalBuffer&&>(window)) {
    cursor_ = window_.data();
    end_ = window_.data();
}

FileStream::~FileStream() {
    sys::Close(fd_);
}

int32_t FileStream::ReadAt(int64_t offset, uint8_t* out, int32_t count) {
    const int64_t got = sys::ReadAt(fd_, out, static_cast<std::size_t>(count), offset);
    if (got >= 0) return static_cast<int32_t>(got);
    Fail(errno);
    return 0;
}

int32_t FileStream::ReadSlow(uint8_t* out, int32_t count) {
    if (failed_) return 0;
    int32_t copied = TakeFromWindow(out, count);
    while (copied < count) {
        const int64_t position = Position();
        // What the window held reached the file's size: a short read, and the window is kept
        // for a move back. Only a read that has nothing yet asks the file for more.
        if (copied > 0 && position >= size_) break;
        const int32_t wanted = count - copied;
        if (wanted >= kWindowBytes) {
            // Large reads bypass the window; it is emptied at the new position.
            const int32_t got = ReadAt(position, out + copied, wanted);
            windowOffset_ = position + got;
            cursor_ = end_ = window_.data();
            copied += got;
            if (got == 0) break;
            continue;
        }
        const int32_t got = ReadAt(position, window_.data(), kWindowBytes);
        if (got == 0) break;  // nothing was read into the window: it still holds what it held
        windowOffset_ = position;
        cursor_ = window_.data();
        end_ = window_.data() + got;
        copied += TakeFromWindow(out + copied, wanted);
    }
    return copied;
}

bool FileStream::MoveTo(int64_t target) {
    const int64_t held = end_ - window_.data();
    if (target >= windowOffset_ && target <= windowOffset_ + held) {
        cursor_ = window_.data() + (target - windowOffset_);
        return true;
    }
    windowOffset_ = target;
    cursor_ = end_ = window_.data();
    return true;
}

}  // namespace vrgdi32
