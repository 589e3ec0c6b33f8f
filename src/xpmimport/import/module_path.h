// Where xpmimport finds the filter module when --filter does not say.
#pragma once

#include <string>

namespace xpmimport {

// The module named by $XPMFILTER_MODULE when set; else the first that exists of
// <real dir of the executable>/<bin-to-module-dir>/libxpmfilter.so (the install layout, where
// the module has a directory of its own under the library directory),
// <dir>/../lib/libxpmfilter.so (the build layout), <dir>/libxpmfilter.so, and the configured
// install directory's module (for a copied executable). When none exists, the first is
// returned so that the loading error names it. On Windows: xpmfilter.dll in the directory
// of xpmimport.exe, unless $XPMFILTER_MODULE names one.
[[nodiscard]] std::string DefaultFilterPath();

}  // namespace xpmimport
