// Reading rgb.txt.
#include "color_database.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace xpmimport_test {
namespace {

[[nodiscard]] bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

[[nodiscard]] int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

const ColorDatabase& ColorDatabase::System() {
    static const ColorDatabase database = [] {
        ColorDatabase loaded;
        std::ifstream in("/usr/share/X11/rgb.txt");
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '!') continue;
            std::istringstream fields(line);
            int r = 0, g = 0, b = 0;
            if (!(fields >> r >> g >> b)) continue;
            std::string name;
            std::getline(fields >> std::ws, name);
            while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
            if (name.empty()) continue;
            loaded.entries_.push_back({name, {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)}});
        }
        return loaded;
    }();
    return database;
}

std::optional<Rgb> ColorDatabase::lookup(std::string_view name) const {
    for (const NamedRgb& entry : entries_) {
        if (SameIgnoringCase(entry.name, name)) return entry.rgb;
    }
    return std::nullopt;
}

std::optional<Rgb> ParseHex6(std::string_view text) {
    if (text.size() != 7 || text[0] != '#') return std::nullopt;
    int v[6];
    for (int i = 0; i < 6; ++i) {
        v[i] = HexValue(text[static_cast<size_t>(i) + 1]);
        if (v[i] < 0) return std::nullopt;
    }
    return Rgb{static_cast<uint8_t>(v[0] * 16 + v[1]), static_cast<uint8_t>(v[2] * 16 + v[3]),
               static_cast<uint8_t>(v[4] * 16 + v[5])};
}

}  // namespace xpmimport_test
