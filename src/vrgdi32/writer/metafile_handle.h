// The metafile handle that carries the finished picture to the host: an HENHMETAFILE, or an
// HMETAFILE for a Windows Metafile (kept with its placeable header on POSIX; Windows takes
// the metafile without it).
#pragma once

#include <cstdint>

namespace vrgdi32 {

// Takes over bytes (a block from malloc) on success; null on failure, the block staying the
// caller's.
[[nodiscard]] void* MetafileFromBytes(bool windowsMetafile, uint32_t size, uint8_t* bytes);
// A handle over a copy of the first size bytes of the open file fd, which may then be closed,
// changed or removed without touching the handle's bytes. Null on failure.
[[nodiscard]] void* MetafileFromFile(bool windowsMetafile, int fd, uint32_t size);

}  // namespace vrgdi32
