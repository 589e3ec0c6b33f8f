// How large a metafile the writer makes. Its error codes are all public, in vrgdi32.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vrgdi32/vrgdi32.h"

namespace vrgdi32 {

// The largest metafile the writer makes; a picture that would need more fails with 300.
constexpr std::size_t kMaxMetafileBytes = std::size_t{1} << 31;

}  // namespace vrgdi32
