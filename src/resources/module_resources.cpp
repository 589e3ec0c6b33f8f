// The module's string table and version information ("FilterDefinitions"), registered with
// libwinshim on POSIX; a Windows DLL carries them as resources (xpmfilter.rc).
#include "resources/resource_ids.h"

namespace xpmfilter {
namespace {

constexpr WinshimStringResource kStrings[] = {
#define XPMFILTER_STRING_ENTRY(name, number, text) {name, text},
    XPMFILTER_STRINGS(XPMFILTER_STRING_ENTRY)
#undef XPMFILTER_STRING_ENTRY
};

constexpr WinshimVersionString kVersionStrings[] = {
#define XPMFILTER_VERSION_ENTRY(key, value) {key, value},
    XPMFILTER_VERSION_STRINGS(XPMFILTER_VERSION_ENTRY)
#undef XPMFILTER_VERSION_ENTRY
};

}  // namespace

const WinshimModuleResources& ModuleResources() {
    static const WinshimModuleResources resources = {
        kStrings,
        sizeof kStrings / sizeof kStrings[0],
        kVersionStrings,
        sizeof kVersionStrings / sizeof kVersionStrings[0],
        {XPMFILTER_FILE_VERSION},
    };
    return resources;
}

}  // namespace xpmfilter
