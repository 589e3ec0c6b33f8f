// CreateSetup: makes a setup record and fills its settings from the profile file, or with
// the defaults when there is none.
#include <cstring>

#include "common/text_copy.h"
#include "filter/setup_record.h"
#include "resources/resource_ids.h"
#include "settings/profile_setup.h"
#include "settings/resource_text.h"

namespace xpmfilter {
namespace {

// Fills a freshly locked record. False when a profile was found but its section has no
// "Driver" value.
bool FillSettings(SetupRecord& setup, const char* profile, const char* section) {
    setup.magic = kSetupMagic;
    ProfileSource& source = setup.profileSource;
    if (profile != nullptr && profile[0] != '\0') CopyText(source.profilePath, profile);
    if (LocateProfile(source.profilePath) != 0) {
        source.profilePath[0] = '\0';
        ApplyProfileDefaults(setup.Profile());
        return true;
    }
    if (section != nullptr && section[0] != '\0') {
        CopyText(source.profileSection, section);
    } else {
        GetPrivateProfileStringA(kProfileModeSection, ResourceText(kStrModeKey).c_str(), "",
                                 source.profileSection, kPathChars, source.profilePath);
    }
    return LoadProfile(setup.Profile(), true, true) != 0;
}

}  // namespace

}  // namespace xpmfilter

// Returns a new setup record (a movable global memory block, unlocked) or null when the block
// cannot be made or a profile file was found whose section has no "Driver" value (the block
// is freed then). instance and reserved are not read; profile and section may be null.
extern "C" XPMFILTER_API HGLOBAL CreateSetup(HINSTANCE /*instance*/, const char* profile,
                                             const char* section, void* /*reserved*/) {
    using namespace xpmfilter;
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(SetupRecord));
    if (handle == nullptr) return nullptr;
    auto* setup = static_cast<SetupRecord*>(GlobalLock(handle));
    if (setup == nullptr) {
        GlobalFree(handle);
        return nullptr;
    }
    const bool loaded = FillSettings(*setup, profile, section);
    GlobalUnlock(handle);
    if (loaded) return handle;
    GlobalFree(handle);
    return nullptr;
}
