// Holds the bound import table.
#include "output/graphics_library.h"

#include <atomic>

namespace xpmfilter {
namespace {
std::atomic<const GraphicsLibrary*> g_library{nullptr};
}  // namespace

const GraphicsLibrary& Gdi() { return *g_library.load(std::memory_order_acquire); }

void BindGraphicsLibrary(const GraphicsLibrary* library) {
    g_library.store(library, std::memory_order_release);
}

}  // namespace xpmfilter
