// The life of the output picture for one import: open and start the output, begin the
// picture, start drawing, end the picture, finish and close the output. Every step but the
// end checks the writer's pending error; writer codes are mapped and reported here once.
#pragma once

#include <cstdint>

#include "output/import_context.h"

namespace xpmfilter {

// Announces the progress range, then opens and starts the output on import.writer. Returns 0
// or the mapped code (reported here); a failed open is left unclosed, a failed start closed.
[[nodiscard]] int32_t OpenOutput(const ImportContext& import, const OutputTarget& target);
[[nodiscard]] int32_t BeginPicture(const ImportContext& import, const char* name);
int32_t StartDrawing(const ImportContext& import);  // its caller ignores the result
int32_t EndPicture(const ImportContext& import);    // always 0
// Finishes and closes the output: 0, or the mapped code (61 from the finish not reported).
[[nodiscard]] int32_t FinishOutput(const ImportContext& import);

}  // namespace xpmfilter
