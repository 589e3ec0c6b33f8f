// A picture as 8-bit red, green, blue pixels, rows from the top.
#pragma once

#include <cstdint>
#include <vector>

namespace xpmimport {

struct RgbImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;  // width * height * 3 bytes: R, G, B, rows from the top

    [[nodiscard]] const uint8_t* at(int32_t x, int32_t y) const {
        return pixels.data() + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    }
    [[nodiscard]] uint8_t* at(int32_t x, int32_t y) {
        return pixels.data() + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    }
};

}  // namespace xpmimport
