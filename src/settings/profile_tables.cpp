// Reads the profile's colour table ("Color[000]" to "Color[255]") and font table
// ("Font[001]" to "Font[032]") into a setup record.
#include <cstring>

#include "resources/resource_ids.h"
#include "settings/profile_setup.h"
#include "settings/profile_values.h"
#include "settings/resource_text.h"

namespace xpmfilter {

int32_t LoadProfileColors(SetupRecord& setup) {
    static_assert(sizeof setup.profileColorNames[0] == kColorNameChars + 1);
    const ResourceString word = ResourceText(kStrColorKey);
    int32_t count = 0;
    for (; count < kProfileColors; ++count) {
        char value[kColorValueChars] = {};
        if (GetPrivateProfileStringA(setup.profileSection, TableKey(word, count).c_str(), "", value,
                                     kColorValueChars, setup.profilePath) == 0)
            break;
        ProfileColorValue entry = ParseProfileColor(value);
        setup.profileColors[count] = entry.rgb;
        std::memcpy(setup.profileColorNames[count], entry.name, sizeof entry.name);
    }
    setup.profileColorCount = count;
    return count;
}

int32_t LoadProfileFonts(SetupRecord& setup) {
    static_assert(sizeof setup.fontNames[0] == kFontTextChars + 1);
    static_assert(sizeof setup.fontFaces[0] == kFontTextChars + 1);
    const ResourceString word = ResourceText(kStrFontKey);
    int32_t count = 0;
    for (; count < kProfileFonts; ++count) {
        char value[kFontValueChars] = {};
        if (GetPrivateProfileStringA(setup.profileSection, TableKey(word, count + 1).c_str(), "",
                                     value, kFontValueChars, setup.profilePath) == 0)
            break;
        ProfileFontValue entry = ParseProfileFont(value);
        std::memcpy(setup.fontNames[count], entry.name, sizeof entry.name);
        std::memcpy(setup.fontFaces[count], entry.face, sizeof entry.face);
    }
    setup.fontCount = count;
    return count;
}

}  // namespace xpmfilter
