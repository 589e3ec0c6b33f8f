// Preferences without a user interface: the host's edit routine runs once.
#include "vrgdi32/vrgdi32.h"

extern "C" VRGDI32_API int32_t PreferencesRun(void* hostHandle, HGLOBAL setup, uint64_t hostValue,
                                              VrEditRoutine edit, uint32_t /*filterKind*/,
                                              const char* /*title*/) {
    if (edit == nullptr) return 0;
    return edit(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(hostHandle)),
                static_cast<uint64_t>(reinterpret_cast<uintptr_t>(setup)), hostValue);
}
