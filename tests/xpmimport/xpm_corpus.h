// XPM text made from a recipe, and the picture the filter should make of a file, worked out
// without it: libXpm reads the file and the X colour database (rgb.txt) names the colours.
//
// Where this filter and libXpm/X disagree on purpose, the expected picture follows the filter
// or the generator keeps out of the way:
//  - "None" is black (the picture is opaque) and definition k shows colour k mod 256 (a pixel
//    is one byte): ExpectedPicture applies both.
//  - A spaced name gives the colour of its shortest leading words that are a name ("white
//    smoke" is white), and "DebianRed", Debian's addition to rgb.txt, is no colour: the
//    generator uses neither.
//  - The colour-key check counts the words of all definitions as one run, so a file with very
//    few definitions of several words can be refused; named recipes have several definitions.
//  - Hex colours other than six digits, and codes alike in their first 8 characters, are read
//    differently; the generator writes neither.
#pragma once

#include <X11/xpm.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "xpmimport/render/rgb_image.h"

namespace xpmimport_test {

// /usr/share/X11/rgb.txt in file order: names and their red, green, blue bytes.
[[nodiscard]] inline const std::vector<std::pair<std::string, std::string>>& X11Colors() {
    static const auto colors = [] {
        std::vector<std::pair<std::string, std::string>> loaded;
        std::ifstream in("/usr/share/X11/rgb.txt");
        int r = 0, g = 0, b = 0, at = 0;
        for (std::string line; std::getline(in, line);) {
            if (std::sscanf(line.c_str(), "%d %d %d %n", &r, &g, &b, &at) != 3) continue;
            line.erase(line.find_last_not_of(" \t\r") + 1);
            loaded.emplace_back(line.substr(static_cast<size_t>(at)),
                                std::string{char(r), char(g), char(b)});
        }
        if (loaded.empty())
            throw std::runtime_error("/usr/share/X11/rgb.txt is needed (Debian x11-common)");
        return loaded;
    }();
    return colors;
}
[[nodiscard]] inline const std::string* X11Color(const std::string& name) {
    for (const auto& [known, rgb] : X11Colors()) {
        if (strcasecmp(known.c_str(), name.c_str()) == 0) return &rgb;
    }
    return nullptr;
}

enum class Style { kHex, kNamed, kMixed };

struct XpmRecipe {
    const char* label;
    int32_t width, height, charsPerPixel, colors;
    Style style;
    uint32_t seed;  // of the colours and the pixels
    // "None", other keys beside "c", a hot spot, comments, tabs, CRLF line ends.
    bool dressed = false;
};

// The recipe's XPM text: codes of any printable character but the quote (spaces too), told
// apart by their first characters; the first pixels walk through every colour, the rest are
// random.
[[nodiscard]] inline std::string MakeXpm(const XpmRecipe& recipe) {
    std::mt19937 random(recipe.seed);
    std::vector<std::string> names;  // see the top of this file
    for (const auto& [name, rgb] : X11Colors()) {
        auto nameUpTo = [&](size_t end) {
            return end != std::string::npos && X11Color(name.substr(0, end)) != nullptr;
        };
        const size_t first = name.find(' ');
        if (!nameUpTo(first) && !nameUpTo(name.find(' ', first + 1)) && name != "DebianRed")
            names.push_back(name);
    }
    const std::string nl = recipe.dressed ? "\r\n" : "\n", to = "\"," + nl;
    std::string text = "/* XPM */" + nl + "static char *picture[] = {" + nl + "\"" +
                       std::to_string(recipe.width) + " " + std::to_string(recipe.height) + " " +
                       std::to_string(recipe.colors) + " " + std::to_string(recipe.charsPerPixel) +
                       (recipe.dressed ? " 3 5" : "") + to;
    std::vector<std::string> codes(static_cast<size_t>(recipe.colors));
    for (int32_t i = 0; i < recipe.colors; ++i) {
        for (int32_t n = 0, left = i; n < recipe.charsPerPixel; ++n, left /= 94)
            codes[i] += char(' ' + left % 94 + (left % 94 >= 2));
        char hex[8];
        std::snprintf(hex, sizeof hex, random() % 2 ? "#%06X" : "#%06x",
                      static_cast<unsigned>(random() % 0x1000000));
        bool named = recipe.style == Style::kNamed || (recipe.style == Style::kMixed && i % 2 == 1);
        std::string color = recipe.dressed && i == 0 ? "None"
                            : named                  ? names[random() % names.size()]
                                                     : hex;
        text +=
            "\"" + codes[i] +
            (recipe.dressed ? "\tm white c " + color + " s s" + std::to_string(i) : " c " + color) +
            to;
    }
    for (int32_t y = 0, at = 0; y < recipe.height; ++y) {
        text +=
            recipe.dressed && y % 7 == 3 ? "/* row " + std::to_string(y) + " */" + nl + "\"" : "\"";
        for (int32_t x = 0; x < recipe.width; ++x, ++at)
            text += codes[at < recipe.colors ? at : random() % recipe.colors];
        text += y + 1 < recipe.height ? to : "\"" + nl;
    }
    return text + "};" + nl;
}

// The picture the filter should make of the file at path, as libXpm reads it; the reason in
// *error when libXpm or X cannot give one.
[[nodiscard]] inline xpmimport::RgbImage ExpectedPicture(const std::string& path,
                                                         std::string* error) {
    xpmimport::RgbImage expected;
    XpmImage image = {};
    if (int status = XpmReadFileToXpmImage(path.c_str(), &image, nullptr); status != XpmSuccess) {
        *error = std::string("libXpm: ") + XpmGetErrorString(status);
        return expected;
    }
    std::vector<std::string> palette;
    for (unsigned i = 0; i < image.ncolors; ++i) {
        const std::string color =
            image.colorTable[i].c_color != nullptr ? image.colorTable[i].c_color : "";
        const std::string* named = X11Color(color);
        unsigned r = 0, g = 0, b = 0;
        if (color.size() == 7 && std::sscanf(color.c_str(), "#%2x%2x%2x", &r, &g, &b) == 3)
            palette.push_back({char(r), char(g), char(b)});
        else if (named != nullptr || strcasecmp(color.c_str(), "none") == 0)
            palette.push_back(named != nullptr ? *named : std::string(3, '\0'));
        else
            *error = "X has no colour \"" + color + "\"";
    }
    expected.width = static_cast<int32_t>(image.width);
    expected.height = static_cast<int32_t>(image.height);
    for (size_t i = 0; error->empty() && i < size_t{image.width} * image.height; ++i) {
        expected.pixels.insert(expected.pixels.end(), palette[image.data[i] % 256].begin(),
                               palette[image.data[i] % 256].end());
    }
    XpmFreeXpmImage(&image);
    return expected;
}

// "" when the images are equal; else the sizes or the first differing pixel.
[[nodiscard]] inline std::string Difference(const xpmimport::RgbImage& got,
                                            const xpmimport::RgbImage& want) {
    auto size = [](const xpmimport::RgbImage& image) {
        return std::to_string(image.width) + " x " + std::to_string(image.height);
    };
    if (size(got) != size(want)) return "size " + size(got) + ", want " + size(want);
    const size_t at = static_cast<size_t>(
        std::mismatch(got.pixels.begin(), got.pixels.end(), want.pixels.begin()).first -
        got.pixels.begin());
    if (at == got.pixels.size()) return "";
    return "pixel " + std::to_string(at / 3) + ": byte " + std::to_string(got.pixels[at]) +
           ", want " + std::to_string(want.pixels[at]);
}

}  // namespace xpmimport_test
