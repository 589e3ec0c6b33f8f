// Unlinked temporary files for stream look-back (see spill_file.h).
#include "streams/spill_file.h"

#include <algorithm>

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
    // Less than asked only at the end or on a failure (-1): the caller goes on from what came.
    return static_cast<int32_t>(
        std::max<int64_t>(sys::ReadAt(fd_, out, static_cast<std::size_t>(count), offset), 0));
}

void SpillFile::Clear() {
    if (fd_ >= 0) sys::Truncate(fd_, 0);
}

}  // namespace vrgdi32
