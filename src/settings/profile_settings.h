// What a setup record takes from its profile file, as two runs of the record's own fields:
// the driver with the colour and font tables, and which file and section they come from. The
// record (filter/setup_record.h) holds each run where its fixed layout puts it; the profile
// routines see only these.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xpmfilter {

inline constexpr int kPathChars = 260;  // paths, names and sections, the terminator included
inline constexpr int kProfileColors = 256;
inline constexpr int kProfileFonts = 32;

struct ProfileColor {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};
static_assert(sizeof(ProfileColor) == 3);

// "Driver", then the colour table ("Color[000]" on) and the font table ("Font[001]" on).
struct ProfileTables {
    char driverName[265];
    int32_t profileColorCount;
    int32_t activeColorCount;  // profileColorCount, or 0 when the colour table source is "FILE"
    ProfileColor profileColors[kProfileColors];
    char profileColorNames[kProfileColors][17];
    int32_t fontCount;
    char fontNames[kProfileFonts][65];
    char fontFaces[kProfileFonts][65];
};
static_assert(offsetof(ProfileTables, profileColorCount) == 268);
static_assert(offsetof(ProfileTables, profileColors) == 276);
static_assert(offsetof(ProfileTables, fontCount) == 5396);
static_assert(sizeof(ProfileTables) == 9560, "no padding after the last field");

// The section and the file the settings are read from, and "ColorTableSource".
struct ProfileSource {
    char profileSection[kPathChars];
    char profilePath[kPathChars];  // empty when no profile file was found
    char colorTableSource[kPathChars];
};
static_assert(sizeof(ProfileSource) == 3 * kPathChars);

// A record's profile fields, as the profile routines fill them.
struct ProfileFields {
    ProfileTables& tables;
    ProfileSource& source;
    uint32_t& colorMode;  // of the record's options block
};

}  // namespace xpmfilter
