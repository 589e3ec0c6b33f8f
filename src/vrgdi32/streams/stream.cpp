// Positioning rules shared by every stream (see stream.h).
#include "streams/stream.h"

#include "streams/read_failure.h"

namespace vrgdi32 {

void Stream::Fail(int32_t reason) {
    failed_ = true;
    NoteReadFailure(reason);
}

int32_t Stream::ReadMore(uint8_t* out, int32_t count) {
    if (count <= 0) return 0;
    if (count <= end_ - cursor_) {
        std::memcpy(out, cursor_, static_cast<std::size_t>(count));
        cursor_ += count;
        return count;
    }
    return ReadSlow(out, count);
}

int32_t Stream::Seek(int32_t offset, int32_t origin) {
    int64_t base = 0;
    switch (origin) {
        case 0:
            break;
        case 1:
            base = Position();
            if (offset == 0) {
                if (base > INT32_MAX) return -1;
                PositionReported(base);
                return static_cast<int32_t>(base);
            }
            break;
        case 2:
            base = Length();
            if (base < 0) return -1;
            break;
        default:
            return -1;
    }
    const int64_t target = base + offset;
    if (target < 0 || target > INT32_MAX) return -1;
    const int64_t length = Length();
    if (length >= 0 && target > length) return -1;
    if (!MoveTo(target)) return -1;
    return static_cast<int32_t>(target);
}

}  // namespace vrgdi32
