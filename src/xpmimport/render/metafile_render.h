// Turns a metafile made by the filter back into pixels: walks its records, follows the
// coordinate mapping they set, and paints every bitmap record. Only what a bitmap picture
// needs is understood; other drawing records are passed over.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "xpmimport/render/metafile_source.h"
#include "xpmimport/render/rgb_image.h"

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
// the metafile sets (origin and extent; without one, the placeable header's box), mapped as
// a player maps it onto an output rectangle: the placeable box at its size on a 96-dpi
// device (its units per inch), else a rectangle of the window's own size. Each
// META_STRETCHDIB and META_DIBSTRETCHBLT is painted.
[[nodiscard]] RenderOutcome RenderWindowsMetafile(std::span<const uint8_t> bytes);

enum class MetafileKind { kUnknown, kEnhanced, kWindows };

// The kind that a metafile's first bytes (44 are enough) announce.
[[nodiscard]] MetafileKind MetafileKindOf(std::span<const uint8_t> firstBytes);

struct RowsOutcome {
    bool ok = false;
    bool sinkFailed = false;  // the error is the sink's own, not the metafile's
    std::string error;
    bool streamed = false;  // rows went out as the records arrived (else from a whole canvas)
    int32_t peakRows = 0;   // most canvas rows held at once
};

// Renders the metafile as RenderEnhancedMetafile / RenderWindowsMetafile do, handing the
// rows to sink top first. When no bitmap record paints above a row that an earlier record
// began below (the filter's bands, top to bottom), rows go out as soon as the records
// below them begin, so memory stays one band deep; otherwise the whole canvas is painted
// first. The rows are the same either way. sink.begin comes only when the first row is
// final, so a metafile broken before that point fails without the sink being begun.
[[nodiscard]] RowsOutcome RenderMetafileRows(MetafileSource& source, MetafileKind kind,
                                             RowSink& sink);

}  // namespace xpmimport
