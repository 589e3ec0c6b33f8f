// The built-in table of colour names that a colour definition may use instead of a "#"
// value, and its lookup. The table is constant data compiled into the module.
#pragma once

#include <cstdint>

namespace xpmfilter {

// One colour of a palette under construction: red, green, blue intensities 0 to 255.
struct RgbTriple {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};
static_assert(sizeof(RgbTriple) == 3);

struct NamedColor {
    const char* name;  // at most 22 characters
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

inline constexpr int32_t kNamedColorCount = 752;

// A table of colour names as it is handed on: its first entry and its entry count.
struct ColorNames {
    const NamedColor* table;
    int32_t count;
};

// Sorted by the lower-cased bytes of the names; no two names differ only in letter case.
// No terminating entry: users are handed kNamedColorCount with it.
extern const NamedColor NamedColorTable[kNamedColorCount];

// Scans table[0..count) from the first entry for a name equal to `name` without regard to
// ASCII case. Returns 0 and stores that entry's colour in rgb, or -1 (rgb untouched).
[[nodiscard]] int32_t LookupNamedColor(const NamedColor* table, int32_t count, const char* name,
                                       RgbTriple& rgb);

}  // namespace xpmfilter
