// libXpm's reading of an XPM file: the independent decoder the imports are compared with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xpmimport_test {

struct OracleImage {
    bool ok = false;
    std::string error;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<std::string> colors;  // each definition's "c" colour string, as written
    std::vector<uint32_t> indices;    // width * height definition indices, rows from the top
};

// XpmReadFileToXpmImage on path.
[[nodiscard]] OracleImage DecodeWithLibXpm(const std::string& path);

}  // namespace xpmimport_test
