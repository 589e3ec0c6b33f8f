// Metafile handles from GDI (see metafile_handle.h). GDI keeps its own copy of the bits.
#include "writer/metafile_handle.h"

#include "winshim/winshim.h"

#include <cstdlib>
#include <cstring>

#include "system/file_descriptor.h"

namespace vrgdi32 {
namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kPlaceableBytes = 22;

void* Handle(bool windowsMetafile, uint32_t size, const uint8_t* bytes) {
    if (!windowsMetafile) return ::SetEnhMetaFileBits(size, bytes);
    uint32_t key = 0;
    if (size >= sizeof key) std::memcpy(&key, bytes, sizeof key);
    if (key == kPlaceableKey && size >= kPlaceableBytes) {
        bytes += kPlaceableBytes;
        size -= kPlaceableBytes;
    }
    return ::SetMetaFileBitsEx(size, bytes);
}

}  // namespace

void* MetafileFromBytes(bool windowsMetafile, uint32_t size, uint8_t* bytes) {
    void* handle = Handle(windowsMetafile, size, bytes);
    if (handle != nullptr) std::free(bytes);
    return handle;
}

void* MetafileFromFile(bool windowsMetafile, int fd, uint32_t size) {
    auto* bytes = static_cast<uint8_t*>(std::malloc(size == 0 ? 1 : size));
    if (bytes == nullptr) return nullptr;
    uint32_t done = 0;
    while (done < size) {
        const int64_t got = sys::ReadAt(fd, bytes + done, size - done, done);
        if (got <= 0) break;
        done += static_cast<uint32_t>(got);
    }
    void* handle = done == size ? Handle(windowsMetafile, size, bytes) : nullptr;
    std::free(bytes);
    return handle;
}

}  // namespace vrgdi32
