// Holds the bound import table.
#include "output/graphics_library.h"

#include <atomic>

namespace xpmfilter {

std::atomic<const GraphicsLibrary*> g_library{nullptr};

void BindGraphicsLibrary(const GraphicsLibrary* library) {
    g_library.store(library, std::memory_order_release);
}

}  // namespace xpmfilter
