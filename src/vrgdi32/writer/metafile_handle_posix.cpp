// Metafile handles from libwinshim (see metafile_handle.h): a block is adopted, a file of the
// handle's own mapped, so nothing is copied into memory.
#include "writer/metafile_handle.h"

#include "winshim/winshim.h"

namespace vrgdi32 {

void* MetafileFromBytes(bool windowsMetafile, uint32_t size, uint8_t* bytes) {
    return windowsMetafile ? static_cast<void*>(WinshimAdoptMetaFileBits(size, bytes))
                           : static_cast<void*>(WinshimAdoptEnhMetaFileBits(size, bytes));
}

void* MetafileShowingFile(bool windowsMetafile, int fd, uint32_t size) {
    return windowsMetafile ? static_cast<void*>(WinshimMapMetaFile(fd, size))
                           : static_cast<void*>(WinshimMapEnhMetaFile(fd, size));
}

}  // namespace vrgdi32
