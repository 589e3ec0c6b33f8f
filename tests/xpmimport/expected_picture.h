// The picture an import should give for an XPM file, worked out from libXpm's reading of
// it, and the comparison of a rendered picture with it. The intended differences between
// this filter and libXpm/X are applied here, in one place (expected_picture.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "color_database.h"
#include "xpm_oracle.h"
#include "xpmimport/rgb_image.h"

namespace xpmimport_test {

struct ExpectedPicture {
    bool importable = false;  // false: the filter refuses the file (colour it cannot read)
    std::string why;          // when not importable
    int32_t width = 0;
    int32_t height = 0;
    std::vector<Rgb> pixels;  // rows from the top
};

// The colour X gives a colour string (hex "#RRGGBB" or an rgb.txt name, whole); nullopt
// for "None" and for strings X does not know.
[[nodiscard]] std::optional<Rgb> ColorInX(const std::string& color);

// The colour this filter gives a colour string, with the intended differences applied;
// nullopt when the filter cannot read it (the import then fails with -23).
[[nodiscard]] std::optional<Rgb> ColorInFilter(const std::string& color);

// The picture the filter should make from the file libXpm read as `oracle`.
[[nodiscard]] ExpectedPicture ExpectedFromOracle(const OracleImage& oracle);

// "" when image equals expected; otherwise the size difference, or the first few differing
// pixels as "pixel (x, y): got (r, g, b), want (r, g, b)" and how many differ.
[[nodiscard]] std::string DescribeDifferences(const xpmimport::RgbImage& image, const ExpectedPicture& expected);

}  // namespace xpmimport_test
