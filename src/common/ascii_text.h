// Comparison without regard to ASCII letter case, the rule for every name read here: XPM
// header words, colour keys and names, profile sections and keys, resource names, output
// format names. Never the C library's tolower, whose answer depends on the locale. Header-only
// and free of any other part, so that every target may include it (CMake target
// xf_ascii_text).
#pragma once

#include <string_view>

namespace ascii {

[[nodiscard]] constexpr char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Zero-terminated strings, compared up to the first difference; a null string equals none.
[[nodiscard]] constexpr bool EqualIgnoringCase(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return false;
    for (; Lower(*a) == Lower(*b); ++a, ++b) {
        if (*a == '\0') return true;
    }
    return false;
}

[[nodiscard]] constexpr bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

}  // namespace ascii
