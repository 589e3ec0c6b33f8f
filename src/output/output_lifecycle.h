// The life of the output picture for one import: open and start the output, begin the
// picture, start drawing, end the picture, finish and close the output. Every step but the
// end checks the writer's pending error; writer codes are mapped and reported here once.
#pragma once

#include <cstdint>

#include "common/setup_record.h"

namespace xpmfilter {

// Filter result for a writer code and detail (code compared unsigned).
[[nodiscard]] int32_t MapWriterError(int32_t code, int32_t detail);

// 0 when no error is pending; else the mapped code. pair receives code and detail.
[[nodiscard]] int32_t CheckWriterError(SetupRecord& setup, int16_t pair[2]);

[[nodiscard]] int32_t OpenOutput(SetupRecord& setup);
[[nodiscard]] int32_t BeginPicture(SetupRecord& setup, const char* name);
int32_t StartDrawing(SetupRecord& setup);  // its caller ignores the result
int32_t EndPicture(SetupRecord& setup);    // always 0
[[nodiscard]] int32_t FinishOutput(SetupRecord& setup);

}  // namespace xpmfilter
