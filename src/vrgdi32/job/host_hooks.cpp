// Reading the host's hooks record without trusting its address (see host_hooks.h).
#include "job/host_hooks.h"

#include <cstring>

#include "job/memory_probe.h"

namespace vrgdi32 {

bool ReadHostHooks(uint64_t hostValue, VrHostHooks* hooks) {
    std::memset(hooks, 0, sizeof *hooks);
    if (hostValue == 0 || hostValue % alignof(VrHostHooks) != 0) return false;
    // Usually as many bytes as the current record has are readable: one probe. Otherwise
    // (an older, shorter record near the end of readable memory) the size comes first,
    // then exactly that many bytes.
    VrHostHooks whole{};
    if (ProbeRead(hostValue, &whole, sizeof whole)) {
        if (whole.size == sizeof(VrHostHooks)) {
            *hooks = whole;
            return true;
        }
        if (whole.size != kVrHostHooksSizeV1) return false;
        std::memcpy(hooks, &whole, kVrHostHooksSizeV1);
        return true;
    }
    uint32_t size = 0;
    if (!ProbeRead(hostValue, &size, sizeof size)) return false;
    if (size != sizeof(VrHostHooks) && size != kVrHostHooksSizeV1) return false;
    VrHostHooks copy{};
    if (!ProbeRead(hostValue, &copy, size)) return false;
    *hooks = copy;
    return true;
}

}  // namespace vrgdi32
