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

// Stores one item. value points to a double (items 1, 2) or an int32_t (items 3 to 9).
// Returns 0; 17921 for an item number outside 1 to 9 or a field that does not lie wholly
// within record.size (nothing written); 17922 for a value the item does not accept (nothing
// written). validItems gets the item's bit only when it lies wholly within record.size.
[[nodiscard]] int32_t SetFileInfoItem(FileInfoRecord& record, int32_t item, const void* value);

}  // namespace xpmfilter
