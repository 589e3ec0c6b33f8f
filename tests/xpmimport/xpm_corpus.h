// XPM pictures made from readable recipes: size, characters per pixel, number and kind of
// colours, and a seed for the pixels. The same recipe always gives the same text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xpmimport_test {

enum class ColorStyle {
    kHex,    // "#RRGGBB", mixed letter case
    kNamed,  // names from rgb.txt, spaced multi-word names included
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

// The colour strings a recipe uses, one per definition, in order.
[[nodiscard]] std::vector<std::string> RecipeColors(const XpmRecipe& recipe);

// The XPM text of the recipe: the "/* XPM */" header, a C declaration, the values string,
// one definition per colour ("<code> c <colour>") and one string per row, pixels chosen at
// random from all colours (every colour appears when there are enough pixels).
[[nodiscard]] std::string MakeXpm(const XpmRecipe& recipe);

// An XPM text from explicit parts: colour lines as written after the code ("c #FF0000",
// "c None", "m white c red"), rows of colour indices. Codes are made as for MakeXpm.
[[nodiscard]] std::string MakeXpmFromParts(int32_t charsPerPixel, const std::vector<std::string>& colorLines,
                                           const std::vector<std::vector<uint32_t>>& rows);

// The names the corpus draws named colours from: every rgb.txt name that the filter's
// table gives the same colour as X does (see the intended differences in
// module_import_test.cpp: spaced names that begin with a shorter name, and "DebianRed",
// are left out).
[[nodiscard]] const std::vector<std::string>& CorpusColorNames();

// Spaced rgb.txt names whose first word or first two words are themselves a name.
[[nodiscard]] bool BeginsWithShorterName(const std::string& name);

// The pixel code of colour `index` for the given characters per pixel (distinct for every
// index below 90^charsPerPixel; never a quote, backslash, slash, star or space).
[[nodiscard]] std::string PixelCode(uint32_t index, int32_t charsPerPixel);

}  // namespace xpmimport_test
