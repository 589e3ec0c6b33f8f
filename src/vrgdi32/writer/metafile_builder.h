// Turning a recorded picture into the bytes of a metafile: an Enhanced Metafile, or a
// Windows Metafile (no placeable header, as SetMetaFileBitsEx takes it). Both draw each
// band with one stretch-DIB record in device units, so the picture is upright.
#pragma once

#include <cstdint>

#include "local_buffer.h"
#include "writer/picture.h"

namespace vrgdi32 {

// Each returns 0 with the complete metafile in out, or a writer code (300 when memory or
// the size limit runs out; 320 when the picture cannot be expressed in the format).
[[nodiscard]] int16_t BuildEnhancedMetafile(const Picture& picture, ByteBuilder& out);
[[nodiscard]] int16_t BuildWindowsMetafile(const Picture& picture, ByteBuilder& out);

}  // namespace vrgdi32
