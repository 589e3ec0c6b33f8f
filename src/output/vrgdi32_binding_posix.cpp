// The production import table on POSIX: every operation bound to libvrgdi32 by name.
#include "output/vrgdi32_binding.h"

namespace xpmfilter {

const GraphicsLibrary& Vrgdi32Library() {
    static const GraphicsLibrary table = {
#define XPMFILTER_GDI_BY_NAME(name) .name = ::name,
        XPMFILTER_GDI_OPERATIONS(XPMFILTER_GDI_BY_NAME)
#undef XPMFILTER_GDI_BY_NAME
    };
    return table;
}

}  // namespace xpmfilter
