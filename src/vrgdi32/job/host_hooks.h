// Finding the host's hooks record (VrHostHooks) behind the opaque host value that the
// entry points pass on. The value may be anything the host chose, so it is read with a
// probe that cannot fault.
#pragma once

#include <cstdint>

#include "vrgdi32/vrgdi32.h"

namespace vrgdi32 {

// Copies the hooks record at address hostValue into *hooks and returns true when the
// address is readable, aligned, and begins with size == sizeof(VrHostHooks) or an older
// kVrHostHooksSizeV1 or V2 (the fields past it then read as 0). Otherwise
// returns false and leaves *hooks zeroed. Never dereferences an unreadable address.
[[nodiscard]] bool ReadHostHooks(uint64_t hostValue, VrHostHooks* hooks);

}  // namespace vrgdi32
