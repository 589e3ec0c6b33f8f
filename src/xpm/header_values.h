// The header check that decides whether an input is XPM, the values line, the measuring of
// the input and the progress percentage derived from the read position.
#pragma once

#include <cstdint>

#include "output/import_context.h"
#include "xpm/xpm_values.h"

namespace xpmfilter {

// 0 when the input begins with "/*", "XPM", "*/" (any case), each followed by one
// whitespace byte; -1 otherwise. Leaves the stream after the third word.
[[nodiscard]] int32_t CheckXpmHeader(StreamHandle stream);

// Length of the stream, or -1 when it cannot tell its position; the position is unchanged.
[[nodiscard]] int32_t StreamLength(StreamHandle stream);

// Sets import.inputSize to StreamLength(stream).
void MeasureInput(StreamHandle stream, ImportContext& import);

// Reads the next quoted string as the values line. Returns 0, or -1 when charsPerPixel is
// above 40; values is filled in either case.
[[nodiscard]] int32_t ReadValuesLine(StreamHandle stream, XpmValues& values);

// import.progressPercent = position * 100 / inputSize (100 when inputSize is 0).
void UpdateProgressPercent(StreamHandle stream, ImportContext& import);

}  // namespace xpmfilter
