// A metafile handle over a copy of a file's bytes, with another head or without (see
// metafile_handle.h): in an unnamed file of its own where the platform can show one, else in a
// block that the handle takes over.
#include "writer/metafile_handle.h"

#include <cstdlib>
#include <cstring>

#include "system/file_descriptor.h"

namespace vrgdi32 {

void* MetafileFromFile(bool windowsMetafile, int fd, uint32_t size, std::span<const uint8_t> head,
                       std::size_t skip) {
    if (head.empty() && skip == 0) {
        // Never the named file itself: whoever may write it could change the bytes under the
        // handle, or cut the file short and kill the host with SIGBUS when it reads them.
        if (void* shown = MetafileOverPrivateFile(windowsMetafile, fd, size)) return shown;
    }
    // The file holds at least its own head and one record after it: total is never 0, and a
    // metafile within its limit keeps it far below 4 GiB.
    const std::size_t total = head.size() + (size - skip);
    auto* bytes = static_cast<uint8_t*>(std::malloc(total));
    if (bytes == nullptr) return nullptr;
    if (!head.empty()) std::memcpy(bytes, head.data(), head.size());
    std::size_t done = head.size();
    while (done < total) {
        const int64_t got = sys::ReadAt(fd, bytes + done, total - done,
                                        static_cast<int64_t>(skip + done - head.size()));
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    void* handle = done == total
                       ? MetafileFromBytes(windowsMetafile, static_cast<uint32_t>(total), bytes)
                       : nullptr;
    if (handle == nullptr) std::free(bytes);
    return handle;
}

}  // namespace vrgdi32
