// Pixel rows: raw fixed-length codes mapped to palette indices through the colour-key table,
// one row string at a time.
#include "xpm/pixel_rows.h"

#include <algorithm>
#include <cstring>

#include "xpmfilter/xpmfilter.h"
#include "output/status.h"
#include "xpm/header_values.h"
#include "xpm/tokenizer.h"

namespace xpmfilter {
namespace {

// Codes are read in blocks of about this many bytes, whole codes only: one read for a row of
// most pictures, and a bounded buffer whatever the width.
constexpr int32_t kBlockBytes = 16384;

}  // namespace

int32_t ReadPixelRow(StreamHandle stream, int32_t width, uint8_t* row, const XpmValues& values,
                     ColorKeyIndex& codes) {
    const int32_t cpp = values.charsPerPixel;
    if (cpp == 0) {
        // Every code and every definition's code is empty: the first definition (the key
        // check leaves at least one), and no byte to read.
        std::memset(row, 0, static_cast<size_t>(width));
        return kXpmOk;
    }
    // The bytes of the codes are exactly what one read per code would consume, so the
    // position after the row (and the progress computed from it) is unchanged; only a row
    // that fails may have been read further than its bad code.
    uint8_t block[kBlockBytes + kCodeReadSlack];
    const int32_t codesPerBlock = kBlockBytes / cpp;
    for (int32_t x = 0; x < width;) {
        const int32_t count = std::min(width - x, codesPerBlock);
        const int32_t bytes = count * cpp;
        if (ReadBlock(stream, bytes, block) != bytes) return kXpmUndecodable;
        std::memset(block + bytes, 0, kCodeReadSlack);
        if (!codes.DecodeRow(block, count, row + x)) return kXpmUndecodable;
        x += count;
    }
    return kXpmOk;
}

int32_t ReadBandRows(ImportContext& import, StreamHandle stream, int32_t width, int32_t stride,
                     int32_t rows, uint8_t* buffer, XpmValues values, ColorKeyIndex& codes) {
    for (int32_t r = 0; r < rows; ++r) {
        // Without an opening quote there is no row: stop here rather than run through the
        // declared height on an exhausted input.
        if (!SkipToQuote(stream)) return kXpmUndecodable;
        uint8_t* row = buffer + static_cast<size_t>(r) * static_cast<size_t>(stride);
        if (ReadPixelRow(stream, width, row, values, codes) != kXpmOk) return kXpmUndecodable;
        SkipToQuote(stream);  // the rest of the row string, closing quote included
        UpdateProgressPercent(stream, import);
        int32_t result = CheckProgress(import);
        if (result == kXpmOk) continue;
        if (result != kXpmStopped) ReportStatus(import, result);
        return result;
    }
    return kXpmOk;
}

}  // namespace xpmfilter
