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
    // A resource text is at most 259 characters, so the key fits in 260 + 6 characters;
    // the word is cut so that the key always fits the result.
    char cutWord[sizeof(ResourceString::text) - 16] = {};
    for (size_t i = 0; i + 1 < sizeof cutWord && word.text[i] != '\0'; ++i)
        cutWord[i] = word.text[i];
    ResourceString key{};
    wsprintfA(key.text, "%s[%03d]", cutWord, index);
    return key;
}

}  // namespace xpmfilter
