// The filter's one working record: settings from the profile, the options block shared with
// the host's option set, and the state of one import. It lives in one zero-filled movable
// global memory block and travels as that block's handle; routines lock it only while they run.
#pragma once

#include <cstdint>

#include "xpmfilter/xpmfilter.h"

namespace xpmfilter {

inline constexpr uint32_t kSetupMagic = 0xFFEEDDCCu;
inline constexpr int kPathChars = 260;
inline constexpr int kSourcePathChars = 8192;
inline constexpr int kProfileColors = 256;
inline constexpr int kProfileFonts = 32;

struct ProfileColor {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};
static_assert(sizeof(ProfileColor) == 3);

struct SetupRecord {
    uint32_t magic;
    char sourcePath[kSourcePathChars];
    char driverName[265];
    int32_t profileColorCount;
    int32_t activeColorCount;
    ProfileColor profileColors[kProfileColors];
    char profileColorNames[kProfileColors][17];
    int32_t fontCount;
    char fontNames[kProfileFonts][65];
    char fontFaces[kProfileFonts][65];
    char outputSpec[kPathChars];
    char outputName[kPathChars];
    char requestNames[3][kPathChars];
    int32_t progressPercent;
    int32_t inputSize;
    uint32_t progressBase;
    uint32_t progressRange;
    WriterHandle writer;
    char profileSection[kPathChars];
    char profilePath[kPathChars];
    char colorTableSource[kPathChars];
    StatusSink* statusSink;
    OptionSetHandle optionSet;
    ImportRequest* request;
    SavedOptions options;  // the last field
};

static_assert(offsetof(SetupRecord, magic) == 0);
static_assert(offsetof(SetupRecord, options) + sizeof(SavedOptions) == sizeof(SetupRecord),
              "the options block is the record's last field");

// Size of the options block in every exchange with an option set.
[[nodiscard]] constexpr uint32_t SavedOptionsSize() {
    return sizeof(SavedOptions);
}

}  // namespace xpmfilter
