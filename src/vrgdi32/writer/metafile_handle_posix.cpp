// Metafile handles from libwinshim (see metafile_handle.h): a block is adopted, a file of the
// handle's own mapped, so nothing is copied into memory.
#include "writer/metafile_handle.h"

#include "system/file_descriptor.h"
#include "winshim/winshim.h"

namespace vrgdi32 {

void* MetafileFromBytes(bool windowsMetafile, uint32_t size, uint8_t* bytes) {
    return windowsMetafile ? static_cast<void*>(WinshimAdoptMetaFileBits(size, bytes))
                           : static_cast<void*>(WinshimAdoptEnhMetaFileBits(size, bytes));
}

void* MetafileShowingCopyOf(bool windowsMetafile, int fd, uint32_t size) {
    const int copy = sys::OpenAnonymousTemporary();
    if (copy < 0) return nullptr;
    void* shown = nullptr;
    if (sys::CopyBytes(fd, copy, size)) {
        shown = windowsMetafile ? static_cast<void*>(WinshimMapMetaFile(copy, size))
                                : static_cast<void*>(WinshimMapEnhMetaFile(copy, size));
    }
    sys::Close(copy);  // the mapping keeps the file
    return shown;
}

}  // namespace vrgdi32
