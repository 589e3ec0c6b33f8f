// The module's string table and version information ("FilterDefinitions").
#include "resources/resource_ids.h"

namespace xpmfilter {
namespace {

constexpr WinshimStringResource kStrings[] = {
    {kStrModeKey, "~Mode"},
    {kStrDriverKey, "Driver"},
    {kStrColorTableSourceKey, "ColorTableSource"},
    {kStrFontKey, "Font"},
    {kStrColorKey, "Color"},
    {kStrFileValue, "FILE"},
    {kStrColorModeKey, "Color Mode"},
    {kStrTitle, "XPM Import"},
};

constexpr WinshimVersionString kVersionStrings[] = {
    {"CompanyName", "xpmfilter developers"},
    {"FileDescription", "XPM graphic import filter"},
    {"FileVersion", "8.5.3.0"},
    {"InternalName", "xpmfilter"},
    {"OriginalFilename", "libxpmfilter.so"},
    {"ProductName", "xpmfilter"},
    {"ProductVersion", "8.5.3.0"},
    {"FilterDefinitions", "XPM Format,0,.XPM"},
};

}  // namespace

const WinshimModuleResources& ModuleResources() {
    static const WinshimModuleResources resources = {
        kStrings, sizeof kStrings / sizeof kStrings[0],
        kVersionStrings, sizeof kVersionStrings / sizeof kVersionStrings[0],
        {8, 5, 3, 0},
    };
    return resources;
}

}  // namespace xpmfilter
