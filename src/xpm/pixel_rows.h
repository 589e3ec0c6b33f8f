// Pixel rows: each row string becomes one row of palette indices in the band buffer, with
// progress and the host's stop request checked after every row.
#pragma once

#include <cstdint>

#include "output/import_context.h"
#include "xpm/color_definitions.h"
#include "xpm/color_key_index.h"
#include "xpm/tokenizer.h"
#include "xpm/xpm_values.h"

namespace xpmfilter {

// Reads `rows` row strings into buffer (row r at r * stride). After each row updates the
// progress percentage and runs the progress check. Returns 0; -1 when a pixel code matches no
// definition, a pixel read comes up short, or the input ends before a row's opening quote
// (nothing reported); or the progress check's result (61 not reported, others reported).
// A row whose closing quote is missing at the very end still counts once its pixels are read.
[[nodiscard]] int32_t ReadBandRows(ImportContext& import, StreamHandle stream, int32_t width,
                                   int32_t stride, int32_t rows, uint8_t* buffer, XpmValues values,
                                   ColorKeyIndex& codes);

// Reads `width` (at least 1) pixel codes of charsPerPixel raw bytes each (no separators), in
// blocks of whole codes, and stores each one's palette index (looked up in codes) in row[x].
// With 0 characters per pixel nothing is read and the row is all 0: every code is empty, the
// first definition's. Returns 0, or -1 for a code that matches no definition or a code cut
// short by the end of the input (the rest of its block may have been consumed).
[[nodiscard]] int32_t ReadPixelRow(StreamHandle stream, int32_t width, uint8_t* row,
                                   const XpmValues& values, ColorKeyIndex& codes);

}  // namespace xpmfilter
