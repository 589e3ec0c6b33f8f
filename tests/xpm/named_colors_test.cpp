// The built-in colour-name table: size, order, lookup of telling names, and agreement with
// the system's X11 colour database where one is installed.
#include "xpm/named_colors.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace xpmtest {
namespace {

using xpmfilter::kNamedColorCount;
using xpmfilter::NamedColorTable;
using xpmfilter::RgbTriple;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct Rgb {
    int red, green, blue;
    bool operator==(const Rgb&) const = default;
};
Rgb ColorOf(const xpmfilter::NamedColor& entry) { return {entry.red, entry.green, entry.blue}; }
std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.red << ", " << c.green << ", " << c.blue << ")";
}

// The colour of a name, or (-1, -1, -1) when the table does not have it.
Rgb Lookup(const std::string& name) {
    RgbTriple rgb{};
    if (xpmfilter::LookupNamedColor(NamedColorTable, kNamedColorCount, name.c_str(), rgb) != 0)
        return {-1, -1, -1};
    return {rgb.red, rgb.green, rgb.blue};
}

TEST(NamedColors, Has752EntriesSortedByLowerCasedBytesWithoutCaseTwins) {
    EXPECT_EQ(sizeof NamedColorTable / sizeof NamedColorTable[0], 752u);
    EXPECT_STREQ(NamedColorTable[0].name, "alice blue");
    EXPECT_STREQ(NamedColorTable[1].name, "AliceBlue");
    EXPECT_STREQ(NamedColorTable[kNamedColorCount - 1].name, "YellowGreen");
    for (int i = 1; i < kNamedColorCount; ++i) {
        ASSERT_NE(NamedColorTable[i].name, nullptr) << "entry " << i;
        EXPECT_LE(std::strlen(NamedColorTable[i].name), 22u) << NamedColorTable[i].name;
        std::string previous = Lower(NamedColorTable[i - 1].name);
        std::string current = Lower(NamedColorTable[i].name);
        EXPECT_LT(previous, current) << "entries " << i - 1 << " and " << i << ": \"" << previous
                                     << "\" is not before \"" << current << "\"";
    }
}

TEST(NamedColors, TellingValues) {
    const Rgb none{-1, -1, -1};
    const std::vector<std::pair<std::string, Rgb>> cases = {
        {"black", {0, 0, 0}},          {"white", {255, 255, 255}},   {"gray", {190, 190, 190}},
        {"grey", {190, 190, 190}},     {"green", {0, 255, 0}},       {"maroon", {176, 48, 96}},
        {"purple", {160, 32, 240}},    {"navy", {0, 0, 128}},        {"navy blue", {0, 0, 128}},
        {"orange", {255, 165, 0}},     {"red1", {255, 0, 0}},        {"red4", {139, 0, 0}},
        {"light goldenrod", {238, 221, 130}},     {"light goldenrod yellow", {250, 250, 210}},
        {"gray1", {3, 3, 3}},          {"gray100", {255, 255, 255}}, {"gray50", {127, 127, 127}},
        {"Grey50", {127, 127, 127}},   {"gray90", {229, 229, 229}},  {"SkyBlue", {135, 206, 235}},
        {"SkyBlue1", {135, 206, 255}}, {"ALICEBLUE", {240, 248, 255}}, {"aliceblue", {240, 248, 255}},
        {"AliceBlue", {240, 248, 255}}, {"Alice Blue", {240, 248, 255}},
        {"gray101", none},   {"none", none},        {"crimson", none}, {"RebeccaPurple", none},
        {"web gray", none},  {"DebianRed", none},   {"alice  blue", none}, {"", none},
    };
    for (const auto& [name, want] : cases) {
        Rgb got = Lookup(name);
        EXPECT_EQ(got, want) << "\"" << name << "\": got " << got << ", want " << want;
    }
}

// An independent oracle: the X11 colour database of this machine, when it has one. With the
// count above it pins every name and value, the grey levels and the joined twins of spaced names.
TEST(NamedColors, EqualsTheSystemColourDatabase) {
    std::ifstream database("/usr/share/X11/rgb.txt");
    if (!database) GTEST_SKIP() << "no /usr/share/X11/rgb.txt on this machine";
    std::map<std::string, Rgb> expected;
    std::string line;
    while (std::getline(database, line)) {
        if (line.empty() || line[0] == '!') continue;
        std::istringstream fields(line);
        Rgb rgb{};
        fields >> rgb.red >> rgb.green >> rgb.blue;
        std::string name;
        std::getline(fields >> std::ws, name);
        while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())))
            name.pop_back();
        if (name == "DebianRed") continue;
        expected[name] = rgb;
    }
    EXPECT_EQ(expected.size(), 752u);
    std::map<std::string, Rgb> ours;
    for (const xpmfilter::NamedColor& entry : NamedColorTable) ours[entry.name] = ColorOf(entry);
    for (const auto& [name, rgb] : expected) {
        auto found = ours.find(name);
        if (found == ours.end()) {
            ADD_FAILURE() << "\"" << name << "\" is missing";
            continue;
        }
        EXPECT_EQ(found->second, rgb) << name << ": got " << found->second << ", want " << rgb;
    }
}

}  // namespace
}  // namespace xpmtest
