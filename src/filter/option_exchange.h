// The filter's side of a host option set: making one for a call, and moving the options block
// between it and a setup record (code 43 loads, code 42 stores, always 56 bytes).
#pragma once

#include <cstdint>

#include "xpmfilter/xpmfilter.h"

namespace xpmfilter {

// A fresh option set with option 3 set to a 16-bit 0, as a filter of kind 1 gives every set it
// makes; null when the library makes none.
[[nodiscard]] OptionSetHandle CreateFilterOptionSet();

// Copies the set's stored options block into options; returns the library's result.
int32_t LoadOptions(OptionSetHandle set, SavedOptions& options);
// Copies options into the set; returns the library's result.
int32_t StoreOptions(OptionSetHandle set, const SavedOptions& options);

}  // namespace xpmfilter
