// The size of an XPM picture without importing it, through the filter's GetFileInfo.
#pragma once

#include <cstdint>
#include <string>

#include "xpmimport/import/filter_module.h"
#include "xpmimport/import/input_prologue.h"

namespace xpmimport {

struct InfoOutcome {
    bool ok = false;
    int32_t width = 0;
    int32_t height = 0;
    int32_t colors = 0;   // as the values line declares them
    int32_t code = 0;     // GetFileInfo's result when it failed, else 0
    std::string cause;    // in words, when !ok (with the code when verbose)
    std::string warning;  // colours the picture declares but cannot keep, or empty
};

// input: a path, or "-" for standard input (read through the read routine). A path that
// cannot be opened or is a directory fails with the system's words before the filter is
// asked (the filter would only say that no size could be read), and so does an input that
// does not begin as XPM text (the filter's size query reads the values line of any text).
[[nodiscard]] InfoOutcome QueryFileInfo(const FilterExports& filter, const std::string& input,
                                        bool verbose = false);

}  // namespace xpmimport
