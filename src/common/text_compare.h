// Comparison of names and keywords without regard to ASCII letter case, the rule for every
// name the decoder reads (header words, colour keys, "none", colour names).
#pragma once

namespace xpmfilter {

[[nodiscard]] constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when both zero-terminated strings are equal once ASCII letters are lower-cased.
[[nodiscard]] constexpr bool EqualIgnoringCase(const char* a, const char* b) {
    for (; AsciiLower(*a) == AsciiLower(*b); ++a, ++b) {
        if (*a == '\0') return true;
    }
    return false;
}

}  // namespace xpmfilter
