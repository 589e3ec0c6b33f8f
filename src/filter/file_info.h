// File information without import: the host's FileInfoRecord filled with an XPM image's
// width and height, read from the values line alone.
#pragma once

#include <cstdint>

#include "xpmfilter/xpmfilter.h"

namespace xpmfilter {

// Fills record with width (item 3) and height (item 4) from the first quoted string of
// stream; no header check is made. A null stream reads as an empty values line. Returns 0;
// 17922 when either value is below 1 or does not fit the record; 17923 when record->size is
// outside 1 to 64. Writes nothing at or past record->size.
[[nodiscard]] int32_t ReadFileInfo(StreamHandle stream, FileInfoRecord& record);

}  // namespace xpmfilter
