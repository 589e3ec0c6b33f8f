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

#include <X11/xpm.h>
#include <strings.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <utility>

namespace xpmimport_test {
namespace {

}  // namespace

const std::vector<std::pair<std::string, Rgb>>& X11Colors() {
    static const auto colors = [] {
        std::vector<std::pair<std::string, Rgb>> loaded;
        std::ifstream in("/usr/share/X11/rgb.txt");
        std::string line, name;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            int r = 0, g = 0, b = 0;
            if (line.empty() || line[0] == '!' || !(fields >> r >> g >> b)) continue;
            std::getline(fields >> std::ws, name);
            while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
            if (!name.empty()) loaded.push_back({name, {uint8_t(r), uint8_t(g), uint8_t(b)}});
        }
        return loaded;
    }();
    return colors;
}

namespace {

[[nodiscard]] std::optional<Rgb> Hex6(const std::string& text) {
    unsigned r = 0, g = 0, b = 0;
    int used = 0;
    if (text.size() != 7 || std::sscanf(text.c_str(), "#%2x%2x%2x%n", &r, &g, &b, &used) != 3 || used != 7) {
        return std::nullopt;
    }
    return Rgb{uint8_t(r), uint8_t(g), uint8_t(b)};
}

// The colour this filter gives a colour string; nullopt when it cannot read it (-23).
[[nodiscard]] std::optional<Rgb> ColorInFilter(const std::string& color) {
    if (strcasecmp(color.c_str(), "none") == 0) return Rgb{0, 0, 0};  // difference 1
    if (!color.empty() && color[0] == '#') return Hex6(color);
    // Difference 3: the shortest run of leading words that is a name.
    std::istringstream words(color);
    std::string word, candidate;
    for (int count = 0; count < 3 && words >> word; ++count) {
        candidate += (candidate.empty() ? "" : " ") + word;
        if (strcasecmp(candidate.c_str(), "debianred") == 0) return std::nullopt;  // difference 4
        if (auto found = ColorInX(candidate)) return found;
    }
    return std::nullopt;
}

}  // namespace

std::optional<Rgb> ColorInX(const std::string& color) {
    if (!color.empty() && color[0] == '#') return Hex6(color);
    for (const auto& [name, rgb] : X11Colors()) {
        if (strcasecmp(name.c_str(), color.c_str()) == 0) return rgb;
    }
    return std::nullopt;
}

OracleImage DecodeWithLibXpm(const std::string& path) {
    OracleImage oracle;
    XpmImage image = {};
    if (int status = XpmReadFileToXpmImage(path.c_str(), &image, nullptr); status != XpmSuccess) {
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
    for (uint32_t index : oracle.indices) expected.pixels.push_back(palette[index % 256]);  // difference 2
    return expected;
}

std::string DescribeDifferences(const xpmimport::RgbImage& image, const ExpectedPicture& expected) {
    if (image.width != expected.width || image.height != expected.height) {
        return "size: got " + std::to_string(image.width) + " x " + std::to_string(image.height) + ", want " +
               std::to_string(expected.width) + " x " + std::to_string(expected.height);
    }
    std::ostringstream text;
    size_t differing = 0;
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            const Rgb got = PixelOf(image, x, y);
            const Rgb& want = expected.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)];
            if (got == want || ++differing > 3) continue;
            text << "pixel (" << x << ", " << y << "): got (" << int{got.r} << ", " << int{got.g} << ", " << int{got.b}
                 << "), want (" << int{want.r} << ", " << int{want.g} << ", " << int{want.b} << "); ";
        }
    }
    return differing == 0 ? "" : text.str() + std::to_string(differing) + " pixels differ";
}

}  // namespace xpmimport_test
