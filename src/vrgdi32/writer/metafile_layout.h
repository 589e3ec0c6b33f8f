// A picture's shape as the metafile streams see it, and the Enhanced Metafile as its stream
// writes it: the bytes before the first bitmap record (rewritten at the end with the totals,
// so they keep their length), the fixed part of each stretch-DIB record, and the bytes after
// the last one. Every bitmap record draws in device units (pixels, y down), so the picture is
// upright. (The Windows Metafile is written whole by its own stream: wmf_layout.h.)
#pragma once

#include <cstddef>
#include <cstdint>

#include "local_buffer.h"

namespace vrgdi32 {

struct PictureShape {
    uint32_t width = 0;  // pixels
    uint32_t height = 0;
    int32_t frameWidthHundredthsMm = 0;
    int32_t frameHeightHundredthsMm = 0;
    int32_t unitsPerInch = 0;
};

// What the head records of the metafile once it is complete.
struct MetafileTotals {
    std::size_t bytes = 0;
    uint32_t bitmapRecords = 0;
};

// One stretch-DIB record: rows x width pixels drawn with their top-left corner at (0, y),
// followed by a DIB of infoBytes (header and colour table) and pixelBytes.
struct BitmapRecordShape {
    uint32_t y = 0;
    uint32_t width = 0;
    uint32_t rows = 0;
    uint32_t infoBytes = 0;
    uint32_t pixelBytes = 0;
};

class MetafileLayout {
  public:
    virtual ~MetafileLayout() = default;

    // Appends the head for the picture with the totals so far. Returns 0, 300 when memory
    // runs out, or kVrErrTooLargeForFormat when the format cannot hold the picture.
    [[nodiscard]] virtual int16_t Head(const PictureShape& shape, const MetafileTotals& totals,
                                       ByteBuilder& out) const = 0;
    [[nodiscard]] virtual std::size_t RecordHeadBytes() const = 0;
    // Writes RecordHeadBytes() bytes at out.
    virtual void RecordHead(const BitmapRecordShape& record, uint8_t* out) const = 0;
    // Appends the end-of-metafile record. Returns 0 or 300.
    [[nodiscard]] virtual int16_t Tail(ByteBuilder& out) const = 0;
};

// Enhanced Metafile: EMR_HEADER whose bounds are the bitmap in pixels and whose frame comes
// from the units, EMR_STRETCHDIBITS records, EMR_EOF.
[[nodiscard]] const MetafileLayout& EnhancedMetafileLayout();

}  // namespace vrgdi32
