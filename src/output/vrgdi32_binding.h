// The import table bound to libvrgdi32, for the shipped module.
#pragma once

#include "output/graphics_library.h"

namespace xpmfilter {
[[nodiscard]] const GraphicsLibrary& Vrgdi32Library();
}  // namespace xpmfilter
