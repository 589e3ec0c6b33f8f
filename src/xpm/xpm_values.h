// The parsed values line of an XPM image.
#pragma once

#include <cstdint>

namespace xpmfilter {

struct XpmValues {
    int32_t width;
    int32_t height;
    int32_t ncolors;
    int32_t charsPerPixel;
    int32_t xHot;
    int32_t yHot;
    int32_t hasHotspot;
};
static_assert(sizeof(XpmValues) == 28);

}  // namespace xpmfilter
