// Reads the profile's colour table ("Color[000]" to "Color[255]") and font table
// ("Font[001]" to "Font[032]").
#include <cstring>

#include "resources/resource_ids.h"
#include "settings/profile_setup.h"
#include "settings/profile_values.h"
#include "settings/resource_text.h"

namespace xpmfilter {

void LoadProfileColors(ProfileTables& tables, const ProfileSource& source) {
    static_assert(sizeof tables.profileColorNames[0] == kColorNameChars + 1);
    const ResourceString word = ResourceText(kStrColorKey);
    int32_t count = 0;
    for (; count < kProfileColors; ++count) {
        char value[kColorValueChars] = {};
        if (GetPrivateProfileStringA(source.profileSection, TableKey(word, count).c_str(), "",
                                     value, kColorValueChars, source.profilePath) == 0)
            break;
        ProfileColorValue entry = ParseProfileColor(value);
        tables.profileColors[count] = entry.rgb;
        std::memcpy(tables.profileColorNames[count], entry.name, sizeof entry.name);
    }
    tables.profileColorCount = count;
}

void LoadProfileFonts(ProfileTables& tables, const ProfileSource& source) {
    static_assert(sizeof tables.fontNames[0] == kFontTextChars + 1);
    static_assert(sizeof tables.fontFaces[0] == kFontTextChars + 1);
    const ResourceString word = ResourceText(kStrFontKey);
    int32_t count = 0;
    for (; count < kProfileFonts; ++count) {
        char value[kFontValueChars] = {};
        if (GetPrivateProfileStringA(source.profileSection, TableKey(word, count + 1).c_str(), "",
                                     value, kFontValueChars, source.profilePath) == 0)
            break;
        ProfileFontValue entry = ParseProfileFont(value);
        std::memcpy(tables.fontNames[count], entry.name, sizeof entry.name);
        std::memcpy(tables.fontFaces[count], entry.face, sizeof entry.face);
    }
    tables.fontCount = count;
}

}  // namespace xpmfilter
