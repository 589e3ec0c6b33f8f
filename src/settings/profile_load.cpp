// Reads the chosen section of the profile file into a setup record, and the settings of a
// record made without a profile file.
#include <cstring>

#include "common/text_compare.h"
#include "common/text_copy.h"
#include "resources/resource_ids.h"
#include "settings/profile_setup.h"
#include "settings/resource_text.h"

namespace xpmfilter {
namespace {

// Reads one text key of the record's section into out (size bytes with the terminator);
// returns the number of characters stored, 0 for a missing or empty key.
DWORD ReadSectionText(const SetupRecord& setup, UINT keyId, char* out, DWORD size) {
    return GetPrivateProfileStringA(setup.profileSection, ResourceText(keyId).c_str(), "", out,
                                    size, setup.profilePath);
}

}  // namespace

int32_t LoadProfile(SetupRecord& setup, bool loadFonts, bool loadColors) {
    static_assert(sizeof setup.driverName == kDriverChars);
    if (ReadSectionText(setup, kStrDriverKey, setup.driverName, kDriverChars) == 0) return 0;
    ReadSectionText(setup, kStrColorTableSourceKey, setup.colorTableSource, kColorTableSourceChars);
    if (loadColors) LoadProfileColors(setup);
    if (loadFonts) LoadProfileFonts(setup);
    const ResourceString fileSource = ResourceText(kStrFileValue);
    setup.activeColorCount =
        EqualIgnoringCase(setup.colorTableSource, fileSource.c_str()) ? 0 : setup.profileColorCount;
    return ReadColorModeSetting(setup);
}

int32_t ReadColorModeSetting(SetupRecord& setup) {
    setup.options.colorMode = GetPrivateProfileIntA(
        setup.profileSection, ResourceText(kStrColorModeKey).c_str(), 1, setup.profilePath);
    return 1;
}

void ApplyProfileDefaults(SetupRecord& setup) {
    setup.profileSection[0] = '\0';
    CopyText(setup.driverName, kDefaultDriverName);
    CopyText(setup.colorTableSource, ResourceText(kStrFileValue).c_str());
    setup.activeColorCount = 0;
    ReadColorModeSetting(setup);
}

}  // namespace xpmfilter
