// Turns a parsed XPM image into drawing calls: frame, units, window, start of drawing,
// palette, and the pixel rows as one 8-bit bitmap delivered in horizontal bands.
#pragma once

#include <cstdint>

#include "output/import_context.h"
#include "xpm/xpm_values.h"

namespace xpmfilter {

// Decodes from a stream positioned just after the values line. charsPerPixel must be 0 to
// 39 (the driver refuses other values). Returns 0; 27 (reported); -1 (unknown pixel code or
// input ended; not reported here); the colour reader's result; or the progress check's
// result (61 not reported, others reported). Every work area is released on every return.
[[nodiscard]] int32_t DecodeXpmImage(ImportContext& import, StreamHandle stream, XpmValues values);

}  // namespace xpmfilter
