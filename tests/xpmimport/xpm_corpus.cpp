// Generating XPM text from recipes.
#include "xpm_corpus.h"

#include <cstdio>

#include "color_database.h"

namespace xpmimport_test {
namespace {

// A small explicit generator, so that a recipe gives the same picture everywhere.
class SplitMix {
  public:
    explicit SplitMix(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t limit) { return static_cast<uint32_t>(next() % limit); }

  private:
    uint64_t state_;
};

const std::string& CodeAlphabet() {
    static const std::string alphabet = [] {
        std::string chars;
        for (char c = '!'; c <= '~'; ++c) {
            if (c != '"' && c != '\\' && c != '/' && c != '*') chars += c;
        }
        return chars;
    }();
    return alphabet;
}

[[nodiscard]] std::string HexColor(SplitMix& random) {
    char text[8];
    uint32_t value = static_cast<uint32_t>(random.next() & 0xFFFFFF);
    std::snprintf(text, sizeof text, (random.next() & 1) != 0 ? "#%06X" : "#%06x", value);
    return text;
}

}  // namespace

std::string PixelCode(uint32_t index, int32_t charsPerPixel) {
    const std::string& alphabet = CodeAlphabet();
    std::string code(static_cast<size_t>(charsPerPixel), alphabet[0]);
    for (int32_t i = charsPerPixel - 1; i >= 0; --i) {
        code[static_cast<size_t>(i)] = alphabet[index % alphabet.size()];
        index /= static_cast<uint32_t>(alphabet.size());
    }
    return code;
}

bool BeginsWithShorterName(const std::string& name) {
    const ColorDatabase& database = ColorDatabase::System();
    size_t first = name.find(' ');
    if (first == std::string::npos) return false;
    if (database.lookup(name.substr(0, first))) return true;
    size_t second = name.find(' ', first + 1);
    return second != std::string::npos && database.lookup(name.substr(0, second)).has_value();
}

const std::vector<std::string>& CorpusColorNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> usable;
        for (const NamedRgb& entry : ColorDatabase::System().entries()) {
            if (entry.name == "DebianRed" || BeginsWithShorterName(entry.name)) continue;
            usable.push_back(entry.name);
        }
        return usable;
    }();
    return names;
}

std::vector<std::string> RecipeColors(const XpmRecipe& recipe) {
    SplitMix random(recipe.seed * 7919u + 17u);
    const std::vector<std::string>& names = CorpusColorNames();
    std::vector<std::string> colors;
    for (int32_t i = 0; i < recipe.colorCount; ++i) {
        bool named = recipe.style == ColorStyle::kNamed || (recipe.style == ColorStyle::kMixed && i % 2 == 1);
        if (named && !names.empty()) {
            colors.push_back(names[random.below(static_cast<uint32_t>(names.size()))]);
        } else {
            colors.push_back(HexColor(random));
        }
    }
    return colors;
}

// Appends the whole XPM text; pixelAt(x, y) gives each pixel's colour index.
template <typename PixelAt>
void AppendXpm(std::string& text, int32_t charsPerPixel, const std::vector<std::string>& colorLines, size_t width,
               size_t height, PixelAt pixelAt) {
    text += "/* XPM */\nstatic char *picture[] = {\n/* width height ncolors chars_per_pixel */\n";
    text += "\"" + std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(colorLines.size()) +
            " " + std::to_string(charsPerPixel) + "\",\n/* colors */\n";
    for (size_t i = 0; i < colorLines.size(); ++i) {
        text += "\"" + PixelCode(static_cast<uint32_t>(i), charsPerPixel) + " " + colorLines[i] + "\",\n";
    }
    text += "/* pixels */\n";
    std::vector<std::string> codes;
    for (size_t i = 0; i < colorLines.size(); ++i) codes.push_back(PixelCode(static_cast<uint32_t>(i), charsPerPixel));
    for (size_t y = 0; y < height; ++y) {
        text += '"';
        for (size_t x = 0; x < width; ++x) text += codes[pixelAt(x, y)];
        text += y + 1 < height ? "\",\n" : "\"\n";
    }
    text += "};\n";
}

std::string MakeXpmFromParts(int32_t charsPerPixel, const std::vector<std::string>& colorLines,
                             const std::vector<std::vector<uint32_t>>& rows) {
    std::string text;
    size_t width = rows.empty() ? 0 : rows[0].size();
    AppendXpm(text, charsPerPixel, colorLines, width, rows.size(), [&](size_t x, size_t y) { return rows[y][x]; });
    return text;
}

std::string MakeXpm(const XpmRecipe& recipe) {
    std::vector<std::string> colors = RecipeColors(recipe);
    std::vector<std::string> lines;
    for (const std::string& color : colors) lines.push_back("c " + color);
    SplitMix random(recipe.seed);
    const size_t width = static_cast<size_t>(recipe.width);
    const uint32_t count = static_cast<uint32_t>(colors.size());
    std::string text;
    text.reserve(width * static_cast<size_t>(recipe.height) * static_cast<size_t>(recipe.charsPerPixel) + 4096);
    // The first pixels walk through every colour once; the rest are random.
    AppendXpm(text, recipe.charsPerPixel, lines, width, static_cast<size_t>(recipe.height), [&](size_t x, size_t y) {
        size_t position = y * width + x;
        return position < count ? static_cast<uint32_t>(position) : random.below(count);
    });
    return text;
}

}  // namespace xpmimport_test
