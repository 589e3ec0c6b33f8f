// The bytes of finished metafiles behind opaque handles, enhanced and plain kept apart.
#pragma once

#include <cstdint>

namespace winshim {

// Live enhanced and plain metafile handles together.
[[nodiscard]] uint64_t LiveMetafileCount();

}  // namespace winshim
