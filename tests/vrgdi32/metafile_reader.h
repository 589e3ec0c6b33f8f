// An independent reader of the metafiles the writer makes, for tests: it walks the EMF or
// WMF records itself (no libUEMF) and paints every stretch-DIB record into a canvas, so a
// test can compare the picture a player would show with the pixels that were sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vrgdi32_test {

struct Rgb {
    uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Rgb&) const = default;
};

struct DrawnBitmap {
    int32_t x = 0, y = 0, height = 0;  // destination in device units
    int32_t dibHeight = 0;             // biHeight as stored (sign = orientation)
    uint32_t colourCount = 0;          // biClrUsed
};

struct ReadMetafile {
    std::string error;  // empty when the bytes parsed
    // EMF header (or, for WMF, window origin and extent as bounds).
    int32_t bounds[4] = {0, 0, 0, 0};
    int32_t frame[4] = {0, 0, 0, 0};
    uint32_t declaredBytes = 0, declaredRecords = 0, records = 0;  // WMF bytes count a placeable header
    // WMF placeable header, when there is one.
    int32_t placeableBounds[4] = {0, 0, 0, 0};
    uint32_t unitsPerInch = 0;
    bool checksumGood = false;
    bool endSeen = false;
    std::vector<DrawnBitmap> bitmaps;
    // The canvas: bounds' width x height, row 0 at the top; painted marks drawn pixels.
    int32_t width = 0, height = 0;
    std::vector<Rgb> pixels;
    std::vector<bool> painted;
};

[[nodiscard]] ReadMetafile ReadEnhancedMetafile(const std::vector<uint8_t>& bytes);
[[nodiscard]] ReadMetafile ReadWindowsMetafile(const std::vector<uint8_t>& bytes);

}  // namespace vrgdi32_test
