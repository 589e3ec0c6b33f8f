// The size of an XPM picture without importing it, through the filter's GetFileInfo.
#pragma once

#include <cstdint>
#include <string>

#include "xpmimport/filter_module.h"

namespace xpmimport {

struct InfoOutcome {
    bool ok = false;
    int32_t width = 0;
    int32_t height = 0;
    int32_t code = 0;   // GetFileInfo's result when it failed, else 0
    std::string cause;  // in words, when !ok
};

// input: a path, or "-" for standard input (read through the read routine). A path that
// cannot be opened or is a directory fails with the system's words before the filter is
// asked (the filter would only say that no size could be read).
[[nodiscard]] InfoOutcome QueryFileInfo(const FilterExports& filter, const std::string& input);

}  // namespace xpmimport
