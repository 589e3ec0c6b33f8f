// Metafile handles from GDI (see metafile_handle.h). GDI keeps its own copy of the bits.
#include "writer/metafile_handle.h"

#include "winshim/winshim.h"

#include <cstdlib>

namespace vrgdi32 {

void* MetafileFromBytes(bool windowsMetafile, uint32_t size, uint8_t* bytes) {
    void* handle = windowsMetafile ? static_cast<void*>(::SetMetaFileBitsEx(size, bytes))
                                   : static_cast<void*>(::SetEnhMetaFileBits(size, bytes));
    if (handle != nullptr) std::free(bytes);
    return handle;
}

void* MetafileShowingCopyOf(bool, int, uint32_t) {
    return nullptr;
}

}  // namespace vrgdi32
