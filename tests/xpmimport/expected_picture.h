// The picture an import should give for an XPM file, worked out independently: libXpm reads
// the file, the X11 colour database (rgb.txt) names the colours, and the intended
// differences between this filter and libXpm/X are applied in one place (expected_picture.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "xpmimport/rgb_image.h"

namespace xpmimport_test {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

[[nodiscard]] inline Rgb PixelOf(const xpmimport::RgbImage& image, int32_t x, int32_t y) {
    const uint8_t* p = image.at(x, y);
    return {p[0], p[1], p[2]};
}

// The names and colours of /usr/share/X11/rgb.txt in file order, read once; empty when it
// is missing.
[[nodiscard]] const std::vector<std::pair<std::string, Rgb>>& X11Colors();

// The colour X gives a colour string (hex "#RRGGBB" or a whole rgb.txt name, any case);
// nullopt for "None" and for strings X does not know.
[[nodiscard]] std::optional<Rgb> ColorInX(const std::string& color);

// libXpm's reading of an XPM file (XpmReadFileToXpmImage).
struct OracleImage {
    bool ok = false;
    std::string error;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<std::string> colors;  // each definition's "c" colour string, as written
    std::vector<uint32_t> indices;    // width * height definition indices, rows from the top
};
[[nodiscard]] OracleImage DecodeWithLibXpm(const std::string& path);

struct ExpectedPicture {
    bool importable = false;  // false: the filter refuses the file (colour it cannot read)
    std::string why;          // when not importable
    int32_t width = 0;
    int32_t height = 0;
    std::vector<Rgb> pixels;  // rows from the top
};

// The picture the filter should make from the file libXpm read as `oracle`.
[[nodiscard]] ExpectedPicture ExpectedFromOracle(const OracleImage& oracle);

// "" when image equals expected; otherwise the size difference, or the first few differing
// pixels as "pixel (x, y): got (r, g, b), want (r, g, b)" and how many differ.
[[nodiscard]] std::string DescribeDifferences(const xpmimport::RgbImage& image, const ExpectedPicture& expected);

}  // namespace xpmimport_test
