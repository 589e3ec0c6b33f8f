// Pixel rows: raw fixed-length codes mapped to palette indices through the colour-key table,
// one row string at a time.
#include "xpm/pixel_rows.h"

#include <cstring>

#include "common/result_codes.h"
#include "output/status.h"
#include "xpm/header_values.h"
#include "xpm/tokenizer.h"

namespace xpmfilter {
int32_t ReadPixelRow(StreamHandle stream, int32_t width, uint8_t* row, const XpmValues& values,
                     ColorKeyIndex& codes) {
    if (width <= 0) return kOk;
    if (values.charsPerPixel == 0) {
        // Every code is empty: one index for the whole row, and no byte to read.
        if (codes.Find("", row) != 0) return kUndecodable;
        std::memset(row + 1, row[0], static_cast<size_t>(width) - 1);
        return kOk;
    }
    char code[kPixelCodeBytes];
    for (int32_t x = 0; x < width; ++x) {
        if (!ReadCodeBytes(stream, values.charsPerPixel, code)) return kUndecodable;
        if (codes.Find(code, row + x) != 0) return kUndecodable;
    }
    return kOk;
}

int32_t ReadBandRows(SetupRecord& setup, StreamHandle stream, int32_t width, int32_t stride,
                     int32_t rows, uint8_t* buffer, XpmValues values, ColorKeyIndex& codes) {
    for (int32_t r = 0; r < rows; ++r) {
        // Without an opening quote there is no row: stop here rather than run through the
        // declared height on an exhausted input.
        if (!SkipToQuote(stream)) return kUndecodable;
        uint8_t* row = buffer + static_cast<size_t>(r) * static_cast<size_t>(stride);
        if (ReadPixelRow(stream, width, row, values, codes) != kOk) return kUndecodable;
        SkipToQuote(stream);  // the rest of the row string, closing quote included
        UpdateProgressPercent(stream, setup);
        int32_t result = CheckProgress(setup);
        if (result == kOk) continue;
        if (result != kStopped) ReportStatus(setup, result);
        return result;
    }
    return kOk;
}

}  // namespace xpmfilter
