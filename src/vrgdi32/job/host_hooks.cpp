// Reading the host's hooks record without trusting its address (see host_hooks.h).
#include "job/host_hooks.h"

#include <cstring>

#include "job/memory_probe.h"

namespace vrgdi32 {
namespace {

bool KnownSize(uint32_t size) {
    return size == sizeof(VrHostHooks) || size == kVrHostHooksSizeV2 || size == kVrHostHooksSizeV1;
}

}  // namespace

bool ReadHostHooks(uint64_t hostValue, VrHostHooks* hooks) {
    std::memset(hooks, 0, sizeof *hooks);
    if (hostValue == 0 || hostValue % alignof(VrHostHooks) != 0) return false;
    // Usually as many bytes as the current record has are readable: one probe. Otherwise
    // (an older, shorter record near the end of readable memory) the size comes first,
    // then exactly that many bytes. Fields past an older record's size stay 0.
    VrHostHooks whole{};
    uint32_t size = 0;
    if (ProbeRead(hostValue, &whole, sizeof whole)) {
        size = whole.size;
    } else if (!ProbeRead(hostValue, &size, sizeof size) || !KnownSize(size) ||
               !ProbeRead(hostValue, &whole, size)) {
        return false;
    }
    if (!KnownSize(size)) return false;
    std::memcpy(hooks, &whole, size);
    return true;
}

}  // namespace vrgdi32
