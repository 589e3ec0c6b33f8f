// XPM pictures made from readable recipes: size, characters per pixel, number and kind of
// colours, and a seed for the pixels. The same recipe always gives the same text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xpmimport_test {

enum class ColorStyle {
    kHex,    // "#RRGGBB", mixed letter case
    kNamed,  // rgb.txt names the filter reads as X does (spaced names included)
    kMixed,  // both, alternating
};

struct XpmRecipe {
    std::string label;
    int32_t width = 1;
    int32_t height = 1;
    int32_t charsPerPixel = 1;
    int32_t colorCount = 2;
    ColorStyle style = ColorStyle::kHex;
    uint32_t seed = 1;
};

// The XPM text of the recipe: one definition per colour ("<code> c <colour>") and one
// string per row; the first pixels walk through every colour, the rest are random.
[[nodiscard]] std::string MakeXpm(const XpmRecipe& recipe);

// An XPM text from explicit parts: colour lines as written after the code ("c #FF0000",
// "c None"), rows of colour indices. Codes are made as for MakeXpm.
[[nodiscard]] std::string MakeXpmFromParts(int32_t charsPerPixel, const std::vector<std::string>& colorLines,
                                           const std::vector<std::vector<uint32_t>>& rows);

}  // namespace xpmimport_test
