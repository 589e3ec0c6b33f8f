// Metafile handles from libwinshim (see metafile_handle.h): a block is adopted; a file's
// bytes are copied into an unnamed file of the handle's own, which is then mapped.
#include "writer/metafile_handle.h"

#include <cstdlib>

#include "system/file_descriptor.h"
#include "winshim/winshim.h"

namespace vrgdi32 {

void* MetafileFromBytes(bool windowsMetafile, uint32_t size, uint8_t* bytes) {
    return windowsMetafile ? static_cast<void*>(WinshimAdoptMetaFileBits(size, bytes))
                           : static_cast<void*>(WinshimAdoptEnhMetaFileBits(size, bytes));
}

void* MetafileFromFile(bool windowsMetafile, int fd, uint32_t size) {
    // Not the named file itself: whoever may write it could change the bytes under the
    // handle, or cut the file short and kill the host with SIGBUS when it reads them. No
    // other process can open the unnamed copy; without one, the copy is in memory.
    const int copy = sys::OpenAnonymousTemporary();
    void* handle = nullptr;
    if (copy >= 0 && sys::CopyBytes(fd, copy, size)) {
        handle = windowsMetafile ? static_cast<void*>(WinshimMapMetaFile(copy, size))
                                 : static_cast<void*>(WinshimMapEnhMetaFile(copy, size));
    }
    if (copy >= 0) sys::Close(copy);
    if (handle != nullptr) return handle;
    auto* bytes = static_cast<uint8_t*>(std::malloc(size == 0 ? 1 : size));
    uint32_t done = 0;
    while (bytes != nullptr && done < size) {
        const int64_t got = sys::ReadAt(fd, bytes + done, size - done, done);
        if (got <= 0) break;
        done += static_cast<uint32_t>(got);
    }
    if (done == size) handle = MetafileFromBytes(windowsMetafile, size, bytes);
    if (handle == nullptr) std::free(bytes);
    return handle;
}

}  // namespace vrgdi32
