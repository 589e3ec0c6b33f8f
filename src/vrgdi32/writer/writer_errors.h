// The writer's error codes (the public ones are in vrgdi32.h) and its limits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vrgdi32/vrgdi32.h"

namespace vrgdi32 {

// kVrErrInvalidCall (vrgdi32.h) covers a call the writer cannot accept: out of order, a
// handle it does not know, or arguments that do not fit the declared bitmap. The filter
// maps it, as every code it does not list, to 26; kVrErrIncomplete too.

// The largest metafile the writer makes; a picture that would need more fails with 300.
constexpr std::size_t kMaxMetafileBytes = std::size_t{1} << 31;

}  // namespace vrgdi32
