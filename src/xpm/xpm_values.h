// The parsed values line of an XPM image.
#pragma once

#include <cstdint>

namespace xpmfilter {

struct XpmValues {
    int32_t width;
    int32_t height;
    int32_t ncolors;
    int32_t charsPerPixel;
    // A hot spot or an extension marker may follow; nothing here uses them.
};
static_assert(sizeof(XpmValues) == 16);

}  // namespace xpmfilter
