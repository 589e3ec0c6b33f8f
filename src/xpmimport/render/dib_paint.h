// Device-independent bitmaps (BITMAPINFO, colour table, pixel bits) as metafile bitmap
// records carry them, and painting one into an RgbImage.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "xpmimport/render/rgb_image.h"

namespace xpmimport {

// The part of a DIB to paint and where: source rectangle in DIB pixels (its y counted as the
// record gives it: from the bottom for a bottom-up DIB), destination rectangle in canvas
// pixels. A destination corner pair given right-to-left or bottom-to-top mirrors the picture.
struct DibPlacement {
    int32_t srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;
    int32_t destX0 = 0, destY0 = 0, destX1 = 0, destY1 = 0;  // corners, in canvas pixels
};

// Paints the DIB whose header and colour table are `info` and whose pixels are `bits` into
// canvas rows [firstRow, firstRow + rows.height) held by `rows`, clipping to them. Reads only
// inside the two spans. Accepts uncompressed DIBs of 1, 4, 8, 24 and 32 bits per pixel, top-down or
// bottom-up, with colours given as RGB values. Returns false with *error set when the DIB is
// malformed or of a kind not handled (a pixel whose index lies beyond the colour table counts as
// malformed).
[[nodiscard]] bool PaintDib(std::span<const uint8_t> info, std::span<const uint8_t> bits,
                            const DibPlacement& placement, RgbImage& rows, int32_t firstRow,
                            std::string* error);

// The canvas rows [*top, *bottom) that PaintDib changes on a canvas of width x height;
// false when it changes none.
[[nodiscard]] bool PaintedRows(const DibPlacement& placement, int32_t width, int32_t height,
                               int32_t* top, int32_t* bottom);

}  // namespace xpmimport
