// The metafile handle that carries the finished picture to the host: an HENHMETAFILE, or an
// HMETAFILE for a Windows Metafile, whose bits have the handle's form on every platform (no
// placeable header: what GetMetaFileBitsEx gives on Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vrgdi32 {

// Takes over bytes (a block from malloc) on success; null on failure, the block staying the
// caller's.
[[nodiscard]] void* MetafileFromBytes(bool windowsMetafile, uint32_t size, uint8_t* bytes);
// A handle whose bits are head followed by the first size bytes of the open file fd from
// byte skip on (skip no more than the file's own head): the file's head replaced by the
// handle's. The bits are the handle's own copy: the file may then be closed, changed or
// removed without touching them. Null on failure.
[[nodiscard]] void* MetafileFromFile(bool windowsMetafile, int fd, uint32_t size,
                                     std::span<const uint8_t> head, std::size_t skip);
// A handle over a copy of the first size bytes of fd in an unnamed file of its own that no
// other process can open, mapped rather than read into memory; null where the platform has no
// such thing (Windows, where GDI keeps its own copy in memory) or it fails.
[[nodiscard]] void* MetafileOverPrivateFile(bool windowsMetafile, int fd, uint32_t size);

}  // namespace vrgdi32
