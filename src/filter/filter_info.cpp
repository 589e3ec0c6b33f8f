// What the filter tells a host before any import: its default options in a fresh option set,
// its preferences dialog, and its version number.
#include "filter/option_exchange.h"
#include "filter/setup_record.h"
#include "resources/module_instance.h"
#include "output/graphics_library.h"
#include "resources/resource_ids.h"

namespace {
constexpr uint16_t kFilterInfoMade = 2;  // GetFilterInfo's answer when the set was made
}  // namespace

// Makes an option set for the host (stored through optionSet, null or not) holding the
// filter's default options: option 3 set to 0, the options block of a fresh setup record,
// and option 40 set to 255. The set belongs to the host. Returns 2 when the set was made,
// else 0. A null optionSet pointer gives 0 with nothing made, since the host could not
// receive the set.
extern "C" XPMFILTER_API uint16_t GetFilterInfo(uint16_t /*unused1*/, uint64_t /*unused2*/,
                                                OptionSetHandle* optionSet, uint64_t /*unused4*/) {
    using namespace xpmfilter;
    if (optionSet == nullptr) return 0;
    OptionSetHandle set = CreateFilterOptionSet();
    *optionSet = set;
    if (set == nullptr) return 0;
    HGLOBAL setup = CreateSetup(ModuleInstance(), nullptr, nullptr, nullptr);
    if (setup == nullptr) return kFilterInfoMade;
    if (auto* record = static_cast<SetupRecord*>(GlobalLock(setup))) {
        (void)StoreOptions(set, record->options);
        GlobalUnlock(setup);
    }
    DestroySetup(setup);
    uint8_t option40 = 0xFF;
    EscapeSetup(set, kVrOptionSet40, sizeof option40, &option40, nullptr, 0);
    return kFilterInfoMade;
}

// Runs the graphics library's preferences dialog over a temporary setup record, with the
// title "XPM Import" and EditSetup as the edit routine. Does nothing when hostHandle is null
// or the record cannot be made.
extern "C" XPMFILTER_API void GetFilterPref(uint64_t /*unused1*/, uint64_t hostValue,
                                            void* hostHandle, uint16_t /*unused4*/) {
    using namespace xpmfilter;
    if (hostHandle == nullptr) return;
    HGLOBAL setup = CreateSetup(ModuleInstance(), nullptr, nullptr, nullptr);
    if (setup == nullptr) return;
    char title[kPathChars] = {};
    LoadStringA(ModuleInstance(), kStrTitle, title, kPathChars);
    Gdi().PreferencesRun(hostHandle, setup, hostValue, &EditSetup, kFilterKind, title);
    DestroySetup(setup);
}

// The filter's version: 8 in the top byte, 5 in the low bits.
extern "C" XPMFILTER_API uint32_t QVTGetFilterVersion(void) {
    return xpmfilter::kFilterVersion;
}
