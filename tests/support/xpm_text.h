// XPM text for tests and benchmarks: files written from a list of strings, and patterned
// pictures whose palette and pixel indices are known, so a reader's output can be checked.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace xpmtest {

// A code of `charsPerPixel` characters, different for each index below 64^charsPerPixel;
// letters, digits and "+-", never a quote or whitespace.
inline std::string PixelCode(int index, int charsPerPixel) {
    static const char kAlphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-";
    std::string code;
    for (int i = 0; i < charsPerPixel; ++i, index /= 64) code += kAlphabet[index % 64];
    return code;
}

// Each string in quotes, joined by ",\n" as in a C array.
inline std::string QuotedStrings(const std::vector<std::string>& strings) {
    std::string text;
    for (const std::string& s : strings) text += (text.empty() ? "\"" : ",\n\"") + s + "\"";
    return text;
}

// A whole file: the header, the array of strings, its end.
inline std::string XpmFile(const std::vector<std::string>& strings) {
    return "/* XPM */\nstatic char *picture[] = {\n" + QuotedStrings(strings) + "\n};\n";
}

struct PatternShape {
    int width = 1, height = 1, colors = 1, charsPerPixel = 1;
    uint32_t seed = 0;  // 0: pixel (x, y) is colour (7x + 13y) mod colors; else pseudo-random
};

// A picture of `colors` "#RRGGBB" definitions with distinct codes.
struct XpmPattern {
    std::vector<std::string> strings;  // the values line, the definitions, the rows
    std::vector<uint32_t> colors;      // 0xRRGGBB of each definition
    std::vector<uint8_t> indices;      // each pixel's definition (low 8 bits), row by row
    [[nodiscard]] std::string File() const { return XpmFile(strings); }
    [[nodiscard]] std::string Body() const { return QuotedStrings(strings); }  // no header
};

inline XpmPattern MakePattern(const PatternShape& shape) {
    XpmPattern p;
    p.strings.push_back(std::to_string(shape.width) + " " + std::to_string(shape.height) + " " +
                        std::to_string(shape.colors) + " " + std::to_string(shape.charsPerPixel));
    for (int i = 0; i < shape.colors; ++i) {
        char hex[8];
        p.colors.push_back((uint32_t(i) * 2654435761u) & 0xFFFFFF);
        std::snprintf(hex, sizeof hex, "%06X", unsigned(p.colors.back()));
        p.strings.push_back(PixelCode(i, shape.charsPerPixel) + " c #" + hex);
    }
    uint32_t random = shape.seed;
    for (int y = 0; y < shape.height; ++y) {
        std::string row;
        for (int x = 0; x < shape.width; ++x) {
            random = random * 1664525u + 1013904223u;
            const int i = shape.seed == 0 ? (7 * x + 13 * y) % shape.colors
                                          : int((random >> 8) % uint32_t(shape.colors));
            row += PixelCode(i, shape.charsPerPixel);
            p.indices.push_back(uint8_t(i));
        }
        p.strings.push_back(row);
    }
    return p;
}

}  // namespace xpmtest
