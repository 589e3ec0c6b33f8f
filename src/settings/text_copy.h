// Copies a NUL-terminated text into a fixed character field, cut to fit.
#pragma once

#include <cstddef>
#include <cstring>

namespace xpmfilter {

template <size_t N>
void CopyText(char (&field)[N], const char* text) {
    size_t n = strnlen(text, N - 1);
    std::memmove(field, text, n);
    field[n] = '\0';
}

}  // namespace xpmfilter
