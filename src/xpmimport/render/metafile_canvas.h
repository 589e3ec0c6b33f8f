// What the EMF and WMF renderers share: the picture's checked size, a bitmap record mapped
// to canvas pixels, and the target that receives both as the records are walked.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "xpmimport/render/dib_paint.h"
#include "xpmimport/render/metafile_source.h"
#include "xpmimport/render/page_transform.h"

namespace xpmimport {

// Largest canvas a renderer makes, in pixels (the filter's pictures stay below 32768 on
// each side; this keeps a forged header from asking for gigabytes).
inline constexpr uint64_t kMaxCanvasPixels = uint64_t{1} << 28;

// False (with *error) when the size is negative or above kMaxCanvasPixels.
[[nodiscard]] bool CanvasSizeAllowed(int64_t width, int64_t height, std::string* error);

// One bitmap record: the DIB, its source rectangle and its logical destination.
struct BitmapDraw {
    std::span<const uint8_t> info;
    std::span<const uint8_t> bits;
    int32_t srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;
    int32_t destX = 0, destY = 0, destWidth = 0, destHeight = 0;
    uint32_t rasterOp = 0;
};

inline constexpr uint32_t kRopSrcCopy = 0x00CC0020;

// Maps the destination through transform and moves it by (-originX, -originY) into canvas
// pixels. False (with *error) for a mapping that is not usable, a raster operation other
// than SRCCOPY or a place far outside any picture.
[[nodiscard]] bool PlaceBitmapDraw(const BitmapDraw& draw, const PageTransform& transform,
                                   double originX, double originY, DibPlacement* placement,
                                   std::string* error);

// Receives a walked metafile: its size once, then every bitmap record in file order.
class PictureTarget {
  public:
    virtual ~PictureTarget() = default;
    // The canvas, already checked by CanvasSizeAllowed.
    [[nodiscard]] virtual bool begin(int32_t width, int32_t height, std::string* error) = 0;
    [[nodiscard]] virtual bool paint(const BitmapDraw& draw, const DibPlacement& placement,
                                     std::string* error) = 0;
};

// Walk a metafile's records, following the mapping they set, and hand the canvas and each
// bitmap record to target. False with *error (prefixed with the format's name) when a
// record is malformed, the target refuses, or the source cannot be read.
[[nodiscard]] bool WalkEnhancedMetafile(MetafileSource& source, PictureTarget& target,
                                        std::string* error);
[[nodiscard]] bool WalkWindowsMetafile(MetafileSource& source, PictureTarget& target,
                                       std::string* error);

}  // namespace xpmimport
