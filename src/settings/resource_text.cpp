// Loads string resources of the module instance and forms profile table keys.
#include "settings/resource_text.h"

#include "resources/module_instance.h"

namespace xpmfilter {

ResourceString ResourceText(UINT id) {
    // Zeroed first, so a missing string leaves it empty.
    ResourceString result{};
    LoadStringA(ModuleInstance(), id, result.text, sizeof result.text);
    return result;
}

ResourceString TableKey(const ResourceString& word, int index) {
    // A resource text has at most 259 characters and an int in brackets 13, so the word is cut
    // to 243: the key and its NUL always fit the result.
    ResourceString key{};
    wsprintfA(key.text, "%.243s[%03d]", word.text, index);
    return key;
}

}  // namespace xpmfilter
