// A picture as 8-bit red, green, blue pixels, rows from the top, and a receiver of such rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xpmimport {

struct RgbImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;  // width * height * 3 bytes: R, G, B, rows from the top

    [[nodiscard]] const uint8_t* at(int32_t x, int32_t y) const {
        return pixels.data() +
               (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    }
    [[nodiscard]] uint8_t* at(int32_t x, int32_t y) {
        return pixels.data() +
               (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    }
};

// Takes a picture row by row, top first: begin once, then height rows of width * 3 bytes,
// then finish. Each call returns false with *error set when it cannot go on.
class RowSink {
  public:
    virtual ~RowSink() = default;
    [[nodiscard]] virtual bool begin(int32_t width, int32_t height, std::string* error) = 0;
    [[nodiscard]] virtual bool row(const uint8_t* rgb, std::string* error) = 0;
    [[nodiscard]] virtual bool finish(std::string* error) = 0;
};

}  // namespace xpmimport
