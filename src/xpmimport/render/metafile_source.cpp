// Reading a metafile from memory or through a read-ahead window over a file.
#include "xpmimport/render/metafile_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "xpmimport/output/file_system.h"

namespace xpmimport {
namespace {

// Small state records come many to one read; a bitmap record is read whole.
constexpr uint64_t kReadAhead = 64 * 1024;

}  // namespace

MetafileSource::MetafileSource(int fd) : fd_(fd) {
    const int64_t size = SizeOfOpenFile(fd);
    if (size < 0) {
        readError_ = std::string("cannot read the metafile: ") + std::strerror(errno);
        return;
    }
    size_ = static_cast<uint64_t>(size);
}

bool MetafileSource::read(uint64_t offset, uint64_t length, std::span<const uint8_t>* out) {
    if (!holds(offset, length)) return false;
    if (fd_ < 0) {
        *out = bytes_.subspan(offset, length);
        return true;
    }
    if (offset < windowStart_ || offset + length > windowStart_ + windowFill_) {
        const uint64_t want = std::min(std::max(length, kReadAhead), size_ - offset);
        if (window_.size() < want) window_.resize(want);
        uint64_t got = 0;
        while (got < want) {
            int64_t n =
                ReadAt(fd_, window_.data() + got, want - got, static_cast<int64_t>(offset + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                readError_ = n < 0
                                 ? std::string("cannot read the metafile: ") + std::strerror(errno)
                                 : "the metafile file ended early";
                windowFill_ = 0;
                return false;
            }
            got += static_cast<uint64_t>(n);
        }
        windowStart_ = offset;
        windowFill_ = want;
    }
    *out = std::span<const uint8_t>(window_.data() + (offset - windowStart_), length);
    return true;
}

}  // namespace xpmimport
