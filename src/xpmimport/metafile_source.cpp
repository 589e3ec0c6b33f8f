// Reading a metafile from memory or through a read-ahead window over a file.
#include "xpmimport/metafile_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace xpmimport {
namespace {

// Small state records come many to one read; a bitmap record is read whole.
constexpr uint64_t kReadAhead = 64 * 1024;

}  // namespace

MetafileSource::MetafileSource(int fd) : fd_(fd) {
    struct stat info = {};
    if (fstat(fd, &info) != 0) {
        readError_ = std::string("cannot read the metafile: ") + std::strerror(errno);
        return;
    }
    size_ = info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;
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
            ssize_t n = pread(fd_, window_.data() + got, want - got, static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                readError_ = n < 0 ? std::string("cannot read the metafile: ") + std::strerror(errno)
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
