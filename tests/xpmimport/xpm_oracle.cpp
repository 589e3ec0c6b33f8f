// The libXpm oracle.
#include "xpm_oracle.h"

#include <X11/xpm.h>

namespace xpmimport_test {

OracleImage DecodeWithLibXpm(const std::string& path) {
    OracleImage oracle;
    XpmImage image = {};
    int status = XpmReadFileToXpmImage(path.c_str(), &image, nullptr);
    if (status != XpmSuccess) {
        oracle.error = std::string("libXpm: ") + XpmGetErrorString(status);
        return oracle;
    }
    oracle.ok = true;
    oracle.width = static_cast<int32_t>(image.width);
    oracle.height = static_cast<int32_t>(image.height);
    for (unsigned i = 0; i < image.ncolors; ++i) {
        const char* color = image.colorTable[i].c_color;
        oracle.colors.emplace_back(color != nullptr ? color : "");
    }
    oracle.indices.assign(image.data, image.data + static_cast<size_t>(image.width) * image.height);
    XpmFreeXpmImage(&image);
    return oracle;
}

}  // namespace xpmimport_test
