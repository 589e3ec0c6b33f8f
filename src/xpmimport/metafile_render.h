// Turns a metafile made by the filter back into pixels: walks its records, follows the
// coordinate mapping they set, and paints every bitmap record into an RGB canvas. Only what
// a bitmap picture needs is understood; other drawing records are passed over.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "xpmimport/rgb_image.h"

namespace xpmimport {

struct RenderOutcome {
    bool ok = false;
    std::string error;  // one line in words when !ok
    RgbImage image;     // white where no bitmap painted
};

// An Enhanced Metafile: the canvas is the header's bounds (inclusive device units); each
// EMR_STRETCHDIBITS is placed through the world and page transforms then in force
// (map mode MM_TEXT, MM_ISOTROPIC or MM_ANISOTROPIC; SaveDC/RestoreDC followed).
// Fails on a malformed record, an unknown map mode, a raster operation other than SRCCOPY
// or a DIB that PaintDib refuses.
[[nodiscard]] RenderOutcome RenderEnhancedMetafile(std::span<const uint8_t> bytes);

// A Windows Metafile (with or without the placeable header): the canvas is the window that
// the metafile sets (origin and extent), mapped as a player maps it onto an output
// rectangle of the same size; without a window, the placeable header's box. Each
// META_STRETCHDIB and META_DIBSTRETCHBLT is painted.
[[nodiscard]] RenderOutcome RenderWindowsMetafile(std::span<const uint8_t> bytes);

}  // namespace xpmimport
