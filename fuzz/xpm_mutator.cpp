// A structure-aware mutator for the import target: it edits an XPM as its quoted strings
// (the values line, the colour definitions, the rows) so that most inputs get past the
// header and the colour-key check, and falls back to byte-level mutation otherwise.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

std::vector<std::string> QuotedStrings(const uint8_t* data, size_t size) {
    std::vector<std::string> strings;
    const char* text = reinterpret_cast<const char*>(data);
    for (size_t i = 0; i < size; ++i) {
        if (text[i] != '"') continue;
        const size_t end = std::string_view(text, size).find('"', i + 1);
        if (end == std::string_view::npos) break;
        strings.emplace_back(text + i + 1, end - i - 1);
        i = end;
    }
    return strings;
}

const char* const kColours[] = {
    "None",   "#FFF",    "#FF8000", "#FFFF0000FFFF", "#",      "#GG0000", "white",  "navy blue",
    "gray50", "grey100", "Red",     "nonesuch",      "#12345", "%",       "s_none", ""};
const char* const kContexts[] = {"c", "m", "g", "g4", "s", "x", "C"};
const int32_t kNumbers[] = {0,   1,    2,     3,     7,     8,     16, 255,    256,
                            257, 4096, 32767, 32768, 65535, 65536, -1, -32768, 2147483647};

struct Xpm {
    std::vector<std::string> strings;
    std::mt19937 rng;

    size_t Pick(size_t count) { return count == 0 ? 0 : rng() % count; }
    int32_t Values(int i) {
        long v[4] = {0, 0, 0, 1};
        std::sscanf(strings[0].c_str(), "%ld %ld %ld %ld", &v[0], &v[1], &v[2], &v[3]);
        return static_cast<int32_t>(v[i]);
    }
    std::string Key(size_t colourLine) {
        const int32_t cpp = Values(3);
        const std::string& line = strings[1 + colourLine];
        return cpp > 0 && static_cast<size_t>(cpp) <= line.size() ? line.substr(0, cpp) : "";
    }

    void Mutate() {
        const size_t colours = std::min<size_t>(std::max(Values(2), 0), strings.size() - 1);
        switch (rng() % 6) {
            case 0: {  // one number of the values line
                long v[4] = {Values(0), Values(1), Values(2), Values(3)};
                v[Pick(4)] = rng() % 2 ? kNumbers[Pick(std::size(kNumbers))] : v[Pick(4)] + 1;
                strings[0] = std::to_string(v[0]) + " " + std::to_string(v[1]) + " " +
                             std::to_string(v[2]) + " " + std::to_string(v[3]);
                break;
            }
            case 1: {  // a colour definition: new context and colour after the key
                if (colours == 0) break;
                const size_t i = Pick(colours);
                strings[1 + i] = Key(i) + " " + kContexts[Pick(std::size(kContexts))] + " " +
                                 kColours[Pick(std::size(kColours))];
                break;
            }
            case 2: {  // a pixel of a row becomes another colour's key
                if (colours == 0 || strings.size() <= 1 + colours) break;
                std::string& row = strings[1 + colours + Pick(strings.size() - 1 - colours)];
                const std::string key = Key(Pick(colours));
                if (key.empty() || row.size() < key.size()) break;
                const size_t at = Pick(row.size() / key.size()) * key.size();
                row.replace(at, key.size(), key);
                break;
            }
            case 3: {  // a string twice
                const std::string copy = strings[Pick(strings.size())];
                strings.insert(strings.begin() + 1 + Pick(strings.size() - 1), copy);
                break;
            }
            case 4:  // a string less
                if (strings.size() > 1)
                    strings.erase(strings.begin() + 1 + Pick(strings.size() - 1));
                break;
            default: {  // bytes of one string
                std::string& s = strings[Pick(strings.size())];
                const size_t old = s.size();
                s.resize(old * 2 + 8);
                s.resize(LLVMFuzzerMutate(reinterpret_cast<uint8_t*>(s.data()), old, s.size()));
                break;
            }
        }
    }

    std::string Text() const {
        std::string text = "/* XPM */\nstatic char *fuzz[] = {\n";
        for (size_t i = 0; i < strings.size(); ++i)
            text += "\"" + strings[i] + (i + 1 < strings.size() ? "\",\n" : "\"};\n");
        return text;
    }
};

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned seed) {
    Xpm xpm{QuotedStrings(data, size), std::mt19937(seed)};
    // One input in eight, and any input without a values line, is mutated as plain bytes.
    if (xpm.strings.empty() || seed % 8 == 0) return LLVMFuzzerMutate(data, size, maxSize);
    const int rounds = 1 + static_cast<int>(seed % 3);
    for (int i = 0; i < rounds; ++i) xpm.Mutate();
    const std::string text = xpm.Text();
    if (text.size() > maxSize) return LLVMFuzzerMutate(data, size, maxSize);
    std::memcpy(data, text.data(), text.size());
    return text.size();
}
