// Copies a NUL-terminated text into a fixed character field, cut to fit.
#pragma once

#include <cstddef>
#include <cstring>

namespace xpmfilter {

// A null text counts as empty; the field always ends up terminated.
template <size_t N>
void CopyText(char (&field)[N], const char* text) {
    size_t n = text == nullptr ? 0 : strnlen(text, N - 1);
    std::memmove(field, text == nullptr ? field : text, n);
    field[n] = '\0';
}

}  // namespace xpmfilter
