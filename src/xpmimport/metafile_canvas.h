// What the EMF and WMF renderers share: a white canvas of a checked size, and painting one
// bitmap record whose destination is given in logical coordinates.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "xpmimport/page_transform.h"
#include "xpmimport/rgb_image.h"

namespace xpmimport {

// Largest canvas a renderer makes, in pixels (the filter's pictures stay below 32768 on
// each side; this keeps a forged header from asking for gigabytes).
inline constexpr uint64_t kMaxCanvasPixels = uint64_t{1} << 28;

// Sizes canvas to width x height and fills it with white. False (with *error) when the
// size is negative or above kMaxCanvasPixels.
[[nodiscard]] bool MakeCanvas(int64_t width, int64_t height, RgbImage& canvas, std::string* error);

// One bitmap record: the DIB, its source rectangle and its logical destination.
struct BitmapDraw {
    std::span<const uint8_t> info;
    std::span<const uint8_t> bits;
    int32_t srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;
    int32_t destX = 0, destY = 0, destWidth = 0, destHeight = 0;
    uint32_t rasterOp = 0;
};

inline constexpr uint32_t kRopSrcCopy = 0x00CC0020;

// Maps the destination through transform, moves it by (-originX, -originY) into the canvas
// and paints. False (with *error) for a mapping that is not usable, a raster operation other
// than SRCCOPY or a DIB that PaintDib refuses.
[[nodiscard]] bool PaintBitmapDraw(const BitmapDraw& draw, const PageTransform& transform, double originX,
                                   double originY, RgbImage& canvas, std::string* error);

}  // namespace xpmimport
