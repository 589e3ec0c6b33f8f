// Expected pictures. The intended differences from libXpm and X, each with its reason:
//
//  1. "None" is black. The picture is an opaque 8-bit bitmap; transparency is not kept.
//  2. A pixel of colour definition k shows the colour of definition k mod 256: every pixel
//     is stored as one byte, and the bitmap's colour table holds the first 256 colours.
//  3. A colour name of several words gives the colour of the shortest leading words that
//     are a name: the definition is split into words and the candidates "w1", "w1 w2",
//     "w1 w2 w3" are tried in that order. So "white smoke" is white and
//     "light goldenrod yellow" is light goldenrod (the joined forms, "WhiteSmoke", keep
//     their own colours).
//  4. "DebianRed" is not a colour: the built-in table is the classic X database without
//     Debian's one addition, so a file using it is refused (-23).
//  5. A file is refused (-1) when the colour-key check meets no "c" at an even word count:
//     it counts the words of the definitions as one run, so with very few definitions a
//     colour of several words can hide every key (two definitions, the first "sky blue").
//     libXpm reads each definition on its own.
//
// The generated corpus avoids 3 and 4 (xpm_corpus.cpp leaves those names out) and 5 (its
// named pictures have several definitions), and mostly avoids 1 and 2 (few recipes have
// more than 256 colours); module_import_test.cpp asserts each of them separately.
#include "expected_picture.h"

#include <cctype>
#include <sstream>

namespace xpmimport_test {
namespace {

[[nodiscard]] std::string Lower(const std::string& text) {
    std::string lower;
    for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

constexpr size_t kColorsInBitmap = 256;  // difference 2

[[nodiscard]] std::optional<Rgb> NameInFilterTable(const std::string& name) {
    if (Lower(name) == "debianred") return std::nullopt;  // difference 4
    return ColorDatabase::System().lookup(name);
}

}  // namespace

std::optional<Rgb> ColorInX(const std::string& color) {
    if (!color.empty() && color[0] == '#') return ParseHex6(color);
    return ColorDatabase::System().lookup(color);
}

std::optional<Rgb> ColorInFilter(const std::string& color) {
    if (Lower(color) == "none") return Rgb{0, 0, 0};  // difference 1
    if (!color.empty() && color[0] == '#') return ParseHex6(color);
    // Difference 3: the shortest run of leading words that is a name.
    std::istringstream words(color);
    std::string word, candidate;
    for (int count = 0; count < 3 && words >> word; ++count) {
        candidate += (candidate.empty() ? "" : " ") + word;
        if (auto found = NameInFilterTable(candidate)) return found;
    }
    return std::nullopt;
}

ExpectedPicture ExpectedFromOracle(const OracleImage& oracle) {
    ExpectedPicture expected;
    if (!oracle.ok) {
        expected.why = oracle.error;
        return expected;
    }
    std::vector<Rgb> palette;
    for (const std::string& color : oracle.colors) {
        auto rgb = ColorInFilter(color);
        if (!rgb) {
            expected.why = "colour \"" + color + "\" cannot be read";
            return expected;
        }
        palette.push_back(*rgb);
    }
    expected.importable = true;
    expected.width = oracle.width;
    expected.height = oracle.height;
    expected.pixels.reserve(oracle.indices.size());
    for (uint32_t index : oracle.indices) expected.pixels.push_back(palette[index % kColorsInBitmap]);  // difference 2
    return expected;
}

std::string DescribeDifferences(const xpmimport::RgbImage& image, const ExpectedPicture& expected) {
    if (image.width != expected.width || image.height != expected.height) {
        return "size: got " + std::to_string(image.width) + " x " + std::to_string(image.height) + ", want " +
               std::to_string(expected.width) + " x " + std::to_string(expected.height);
    }
    std::string text;
    size_t differing = 0;
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            const uint8_t* got = image.at(x, y);
            const Rgb& want = expected.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)];
            if (got[0] == want.r && got[1] == want.g && got[2] == want.b) continue;
            if (++differing <= 3) {
                std::ostringstream line;
                line << "pixel (" << x << ", " << y << "): got (" << int{got[0]} << ", " << int{got[1]} << ", "
                     << int{got[2]} << "), want (" << int{want.r} << ", " << int{want.g} << ", " << int{want.b} << "); ";
                text += line.str();
            }
        }
    }
    if (differing == 0) return "";
    return text + std::to_string(differing) + " pixels differ";
}

}  // namespace xpmimport_test
