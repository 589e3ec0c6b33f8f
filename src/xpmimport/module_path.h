// Where xpmimport finds the filter module when --filter does not say.
#pragma once

#include <string>

namespace xpmimport {

// The module of the same build: <dir of the executable>/../lib/libxpmfilter.so (the build
// and install layout), else <dir of the executable>/libxpmfilter.so. When neither exists,
// the first is returned so that the loading error names it.
[[nodiscard]] std::string DefaultFilterPath();

}  // namespace xpmimport
