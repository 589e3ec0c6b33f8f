// The module's string resources as the settings code uses them: profile key names and the
// values they are compared with. Fixed buffers, so nothing here allocates or throws.
#pragma once

#include "winshim/winshim.h"

namespace xpmfilter {

// A short NUL-terminated text held by value.
struct ResourceString {
    char text[260];
    [[nodiscard]] const char* c_str() const { return text; }
};

// The string resource `id` of the module instance; empty when the module has none.
[[nodiscard]] ResourceString ResourceText(UINT id);

// The table key "word[nnn]": the word, the index as three digits, in square brackets.
[[nodiscard]] ResourceString TableKey(const ResourceString& word, int index);

}  // namespace xpmfilter
