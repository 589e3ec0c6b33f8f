// Parsing of the profile's table values: a colour "r, g, b, \"name\"" and a font
// "first\", \"second" (as the profile function returns it, enclosing quotes removed).
#pragma once

#include <cstdint>

#include "settings/profile_settings.h"

namespace xpmfilter {

// One parsed colour entry.
struct ProfileColorValue {
    ProfileColor rgb;
    char name[17];
};

// One parsed font entry.
struct ProfileFontValue {
    char name[65];
    char face[65];
};

// Splits value into red, green, blue, a discarded filler and the name, each token found as
// strtok finds it with its own delimiters. Numbers convert as atoi does and keep their low 8
// bits; the name keeps 16 characters. A missing component leaves it and those after it 0 and
// the name empty; a missing filler or name leaves the name empty.
[[nodiscard]] ProfileColorValue ParseProfileColor(const char* value);

// The first token (up to a comma) without its last character is the name, empty when it
// begins with a double quote; after a discarded token, the next token (delimiters comma and
// double quote) is the face. Each keeps 64 characters; missing tokens leave them empty.
[[nodiscard]] ProfileFontValue ParseProfileFont(const char* value);

}  // namespace xpmfilter
