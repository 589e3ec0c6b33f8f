// Unlinked temporary files for stream look-back (see spill_file.h).
#include "streams/spill_file.h"

#include "system/file_descriptor.h"

namespace vrgdi32 {

SpillFile::~SpillFile() {
    if (fd_ >= 0) sys::Close(fd_);
}

bool SpillFile::Open() {
    if (fd_ >= 0) return true;
    fd_ = sys::OpenAnonymousTemporary();
    return fd_ >= 0;
}

bool SpillFile::WriteAt(int64_t offset, const uint8_t* bytes, int64_t count) {
    if (!Open()) return false;
    while (count > 0) {
        bool diskFull = false;
        const int64_t wrote =
            sys::WriteAt(fd_, bytes, static_cast<std::size_t>(count), offset, &diskFull);
        if (wrote <= 0) return false;
        bytes += wrote;
        offset += wrote;
        count -= wrote;
    }
    return true;
}

int32_t SpillFile::ReadAt(int64_t offset, uint8_t* out, int32_t count) {
    if (fd_ < 0) return 0;
    int32_t total = 0;
    while (total < count) {
        const int64_t got =
            sys::ReadAt(fd_, out + total, static_cast<std::size_t>(count - total), offset + total);
        if (got <= 0) break;
        total += static_cast<int32_t>(got);
    }
    return total;
}

void SpillFile::Clear() {
    if (fd_ >= 0) sys::Truncate(fd_, 0);
}

}  // namespace vrgdi32
