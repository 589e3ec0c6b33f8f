// Writer errors as the filter sees them: the pair the graphics library leaves pending after a
// writer operation, and its mapping to a filter result code. Writer codes never travel further.
#pragma once

#include <cstdint>

#include "output/import_context.h"

namespace xpmfilter {

// The filter result for a writer code and detail (the code compared unsigned, so a negative
// code is no known code).
[[nodiscard]] int32_t MapWriterError(int32_t code, int32_t detail);

// 0 when no error is pending on the import's writer; else the mapped code. pair receives the
// code and the detail.
[[nodiscard]] int32_t CheckWriterError(const ImportContext& import, int16_t pair[2]);

}  // namespace xpmfilter
