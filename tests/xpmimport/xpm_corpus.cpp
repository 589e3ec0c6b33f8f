// Generating XPM text from recipes.
#include "xpm_corpus.h"

#include <cstdio>

#include "expected_picture.h"

namespace xpmimport_test {
namespace {

// A small explicit generator (SplitMix64), so that a recipe gives the same picture everywhere.
class SplitMix {
  public:
    explicit SplitMix(uint64_t seed) : state_(seed) {}
    uint32_t below(uint32_t limit) {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<uint32_t>((z ^ (z >> 31)) % limit);
    }

  private:
    uint64_t state_;
};

// Distinct for every index below 90^charsPerPixel; never a quote, backslash, slash, star or space.
[[nodiscard]] std::string PixelCode(uint32_t index, int32_t charsPerPixel) {
    static const std::string alphabet = [] {
        std::string chars;
        for (char c = '!'; c <= '~'; ++c) {
            if (c != '"' && c != '\\' && c != '/' && c != '*') chars += c;
        }
        return chars;
    }();
    std::string code(static_cast<size_t>(charsPerPixel), alphabet[0]);
    for (int32_t i = charsPerPixel - 1; i >= 0; --i, index /= static_cast<uint32_t>(alphabet.size())) {
        code[static_cast<size_t>(i)] = alphabet[index % alphabet.size()];
    }
    return code;
}

// Every rgb.txt name the filter gives the colour X gives: not "DebianRed", and no spaced
// name whose first word or first two words are themselves a name (intended differences 3, 4).
[[nodiscard]] const std::vector<std::string>& CorpusColorNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> usable;
        for (const auto& [name, rgb] : X11Colors()) {
            size_t first = name.find(' '), second = first == std::string::npos ? first : name.find(' ', first + 1);
            bool shorterName = (first != std::string::npos && ColorInX(name.substr(0, first))) ||
                               (second != std::string::npos && ColorInX(name.substr(0, second)));
            if (name != "DebianRed" && !shorterName) usable.push_back(name);
        }
        return usable;
    }();
    return names;
}

// Appends the whole XPM text; pixelAt(x, y) gives each pixel's colour index.
template <typename PixelAt>
std::string XpmText(int32_t charsPerPixel, const std::vector<std::string>& colorLines, size_t width, size_t height,
                    PixelAt pixelAt) {
    std::string text = "/* XPM */\nstatic char *picture[] = {\n/* width height ncolors chars_per_pixel */\n";
    text.reserve(width * height * static_cast<size_t>(charsPerPixel) + 4096);
    text += "\"" + std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(colorLines.size()) +
            " " + std::to_string(charsPerPixel) + "\",\n/* colors */\n";
    std::vector<std::string> codes;
    for (size_t i = 0; i < colorLines.size(); ++i) {
        codes.push_back(PixelCode(static_cast<uint32_t>(i), charsPerPixel));
        text += "\"" + codes.back() + " " + colorLines[i] + "\",\n";
    }
    text += "/* pixels */\n";
    for (size_t y = 0; y < height; ++y) {
        text += '"';
        for (size_t x = 0; x < width; ++x) text += codes[pixelAt(x, y)];
        text += y + 1 < height ? "\",\n" : "\"\n";
    }
    return text + "};\n";
}

}  // namespace

std::string MakeXpmFromParts(int32_t charsPerPixel, const std::vector<std::string>& colorLines,
                             const std::vector<std::vector<uint32_t>>& rows) {
    size_t width = rows.empty() ? 0 : rows[0].size();
    return XpmText(charsPerPixel, colorLines, width, rows.size(), [&](size_t x, size_t y) { return rows[y][x]; });
}

std::string MakeXpm(const XpmRecipe& recipe) {
    SplitMix colorRandom(recipe.seed * 7919u + 17u);
    const std::vector<std::string>& names = CorpusColorNames();
    std::vector<std::string> lines;
    for (int32_t i = 0; i < recipe.colorCount; ++i) {
        bool named = recipe.style == ColorStyle::kNamed || (recipe.style == ColorStyle::kMixed && i % 2 == 1);
        if (named && !names.empty()) {
            lines.push_back("c " + names[colorRandom.below(static_cast<uint32_t>(names.size()))]);
        } else {
            char hex[8];
            uint32_t value = colorRandom.below(0x1000000);
            std::snprintf(hex, sizeof hex, colorRandom.below(2) != 0 ? "#%06X" : "#%06x", value);
            lines.push_back(std::string("c ") + hex);
        }
    }
    SplitMix random(recipe.seed);
    const size_t width = static_cast<size_t>(recipe.width);
    const uint32_t count = static_cast<uint32_t>(lines.size());
    return XpmText(recipe.charsPerPixel, lines, width, static_cast<size_t>(recipe.height), [&](size_t x, size_t y) {
        size_t position = y * width + x;
        return position < count ? static_cast<uint32_t>(position) : random.below(count);
    });
}

}  // namespace xpmimport_test
