// The filter's one working record: settings from the profile, the options block shared with
// the host's option set, and the state of one import, which the decoder and the output see
// only as an ImportContext. It lives in one zero-filled movable global memory block and
// travels as that block's handle; routines lock it only while they run.
#pragma once

#include <cstdint>

#include "settings/profile_settings.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmfilter {

inline constexpr uint32_t kSetupMagic = 0xFFEEDDCCu;
inline constexpr int kSourcePathChars = 8192;

struct SetupRecord {
    uint32_t magic;
    char sourcePath[kSourcePathChars];
    ProfileTables profile;  // driverName to fontFaces
    char outputSpec[kPathChars];
    char outputName[kPathChars];
    char requestNames[3][kPathChars];
    int32_t progressPercent;
    int32_t inputSize;
    uint32_t progressBase;
    uint32_t progressRange;
    WriterHandle writer;
    ProfileSource profileSource;  // profileSection, profilePath, colorTableSource
    StatusSink* statusSink;
    OptionSetHandle optionSet;
    ImportRequest* request;
    SavedOptions options;  // the last field

    [[nodiscard]] ProfileFields Profile() { return {profile, profileSource, options.colorMode}; }
};

// The fields in their order, each where the one before it ends (up to alignment).
static_assert(offsetof(SetupRecord, magic) == 0);
static_assert(offsetof(SetupRecord, sourcePath) == 4);
static_assert(offsetof(SetupRecord, profile) == 8196);
static_assert(offsetof(SetupRecord, outputSpec) == 8196 + sizeof(ProfileTables));
static_assert(offsetof(SetupRecord, requestNames) == offsetof(SetupRecord, outputName) + 260);
static_assert(offsetof(SetupRecord, progressPercent) == offsetof(SetupRecord, requestNames) + 780);
static_assert(offsetof(SetupRecord, writer) == offsetof(SetupRecord, progressRange) + 4);
static_assert(offsetof(SetupRecord, profileSource) == offsetof(SetupRecord, writer) + 8);
static_assert(offsetof(SetupRecord, statusSink) ==
              (offsetof(SetupRecord, profileSource) + sizeof(ProfileSource) + 7) / 8 * 8);
static_assert(offsetof(SetupRecord, request) == offsetof(SetupRecord, optionSet) + 8);
static_assert(offsetof(SetupRecord, options) + sizeof(SavedOptions) == sizeof(SetupRecord),
              "the options block is the record's last field");

// Size of the options block in every exchange with an option set.
[[nodiscard]] constexpr uint32_t SavedOptionsSize() {
    return sizeof(SavedOptions);
}

}  // namespace xpmfilter
