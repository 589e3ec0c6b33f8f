// Stores the module's instance handle.
#include "resources/module_instance.h"

#include <atomic>

namespace xpmfilter {
namespace {
std::atomic<HINSTANCE> g_instance{nullptr};
}  // namespace

HINSTANCE ModuleInstance() {
    return g_instance.load(std::memory_order_acquire);
}
void SetModuleInstance(HINSTANCE instance) {
    g_instance.store(instance, std::memory_order_release);
}

}  // namespace xpmfilter
