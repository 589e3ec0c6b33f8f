// Reads the chosen section of the profile file into a record's profile fields, and the
// settings of a record made without a profile file.
#include <cstring>

#include "ascii_text.h"
#include "common/text_copy.h"
#include "resources/resource_ids.h"
#include "settings/profile_setup.h"
#include "settings/resource_text.h"

namespace xpmfilter {
namespace {

// Reads one text key of the chosen section into out (size bytes with the terminator);
// returns the number of characters stored, 0 for a missing or empty key.
DWORD ReadSectionText(const ProfileSource& source, UINT keyId, char* out, DWORD size) {
    return GetPrivateProfileStringA(source.profileSection, ResourceText(keyId).c_str(), "", out,
                                    size, source.profilePath);
}

}  // namespace

int32_t LoadProfile(const ProfileFields& fields, bool loadFonts, bool loadColors) {
    ProfileTables& tables = fields.tables;
    ProfileSource& source = fields.source;
    static_assert(sizeof tables.driverName == kDriverChars);
    if (ReadSectionText(source, kStrDriverKey, tables.driverName, kDriverChars) == 0) return 0;
    ReadSectionText(source, kStrColorTableSourceKey, source.colorTableSource,
                    kColorTableSourceChars);
    if (loadColors) LoadProfileColors(tables, source);
    if (loadFonts) LoadProfileFonts(tables, source);
    const ResourceString fileSource = ResourceText(kStrFileValue);
    tables.activeColorCount = ascii::EqualIgnoringCase(source.colorTableSource, fileSource.c_str())
                                  ? 0
                                  : tables.profileColorCount;
    return ReadColorModeSetting(source, fields.colorMode);
}

int32_t ReadColorModeSetting(const ProfileSource& source, uint32_t& colorMode) {
    colorMode = GetPrivateProfileIntA(source.profileSection, ResourceText(kStrColorModeKey).c_str(),
                                      1, source.profilePath);
    return 1;
}

void ApplyProfileDefaults(const ProfileFields& fields) {
    CopyText(fields.tables.driverName, kDefaultDriverName);
    CopyText(fields.source.colorTableSource, ResourceText(kStrFileValue).c_str());
    ReadColorModeSetting(fields.source, fields.colorMode);
}

}  // namespace xpmfilter
