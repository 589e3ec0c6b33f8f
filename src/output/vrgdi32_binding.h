// The import table bound to the graphics library, for the shipped module: on POSIX linked to
// libvrgdi32 by name, on Windows looked up in vrgdi32.dll by ordinal, as a DLL import table
// binds.
#pragma once

#include "output/graphics_library.h"

namespace xpmfilter {

#if defined(_WIN32)
// Fills *table with the operations of the loaded library, each found by its ordinal. False,
// with *table partly filled, when an ordinal is missing (not the right library).
[[nodiscard]] bool BindVrgdi32ByOrdinal(HMODULE library, GraphicsLibrary* table);
#else
[[nodiscard]] const GraphicsLibrary& Vrgdi32Library();
#endif

}  // namespace xpmfilter
