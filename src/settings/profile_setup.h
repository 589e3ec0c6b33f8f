// Finding the profile file and reading one of its sections into a record's profile fields, and
// the settings that hold when there is no profile file. CreateSetup runs these.
#pragma once

#include <cstdint>

#include "settings/profile_settings.h"

namespace xpmfilter {

// Section of the profile that names the settings section under the key "~Mode".
inline constexpr char kProfileModeSection[] = "rondo";
// Driver name of a record made without a profile file: the short name followed by ".0".
inline constexpr char kDefaultDriverName[] = "rondo.0";
// Table sizes and the value buffers the profile is read with (terminator included).
inline constexpr int kColorValueChars = 50;
inline constexpr int kFontValueChars = 150;
inline constexpr int kColorNameChars = 16;
inline constexpr int kFontTextChars = 64;
inline constexpr int kDriverChars = 265;
inline constexpr int kColorTableSourceChars = 10;

// Looks for the profile file. path is a buffer of kPathChars: on entry the name to try
// (possibly empty), on return the full path found, or the last candidate tried. Tries, in
// order: the name as given; beside the module (its directory plus the name, or without a name
// the module's own path with its extension replaced by ".INI"); the Windows directory plus
// the name or the module candidate's file name. Returns 0 when a file was found, 1 when not.
[[nodiscard]] int32_t LocateProfile(char* path);

// Reads section profileSection of profilePath. Returns 0, having read nothing else, when
// "Driver" is missing or empty; otherwise reads "ColorTableSource", the colour table
// (loadColors) and the font table (loadFonts), sets activeColorCount and reads "Color Mode",
// and returns 1.
[[nodiscard]] int32_t LoadProfile(const ProfileFields& fields, bool loadFonts, bool loadColors);

// "Color[000]" .. "Color[255]" into profileColors, profileColorNames and profileColorCount;
// ends at the first key that yields nothing.
void LoadProfileColors(ProfileTables& tables, const ProfileSource& source);

// "Font[001]" .. "Font[032]" into fontNames, fontFaces and fontCount; ends at the first key
// that yields nothing.
void LoadProfileFonts(ProfileTables& tables, const ProfileSource& source);

// "Color Mode" as an integer, default 1, stored in colorMode unchecked. Returns 1.
int32_t ReadColorModeSetting(const ProfileSource& source, uint32_t& colorMode);

// The settings of a fresh (zero-filled) record without a profile file: driver "rondo.0",
// colour table source "FILE" and the colour mode read with no file (1); the section and the
// active colours stay as the zero fill has them (empty, none).
void ApplyProfileDefaults(const ProfileFields& fields);

}  // namespace xpmfilter
