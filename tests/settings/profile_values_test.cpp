// Parsing of profile colour and font values, token by token.
#include <gtest/gtest.h>

#include <string>

#include "settings/profile_values.h"

namespace xpmfilter {
namespace {

TEST(ProfileValues, ColorValuesSplitLikeStrtok) {
    struct Case {
        const char* value;
        int red, green, blue;
        const char* name;
    };
    const Case cases[] = {
        {"255, 128, 0, \"orange\"", 255, 128, 0, "orange"},
        {"(255, 0, 0), \"red\"", 255, 0, 0, "red"},
        {"255,0,0,\"red\"", 255, 0, 0, ""},  // the filler swallows the name
        {"255,0,0, \"red\"", 255, 0, 0, "red"},
        {"300, 256, 511, \"wrap\"", 44, 0, 255, "wrap"},
        {"-1, +2, -256, \"signs\"", 255, 2, 0, "signs"},
        {"12abc, 7x, 9), \"tail\"", 12, 7, 9, "tail"},
        {"x, y, z, \"letters\"", 0, 0, 0, "letters"},
        {"1, 2, 3, \"abcdefghijklmnopqrstuvwxyz\"", 1, 2, 3, "abcdefghijklmnop"},
        {"1, 2, 3, \"unterminated", 1, 2, 3, "unterminated"},
        {"1, 2, 3", 1, 2, 3, ""},
        {"1, 2, 3,", 1, 2, 3, ""},
        {"1, 2", 1, 2, 0, ""},
        {"7", 7, 0, 0, ""},
        {"", 0, 0, 0, ""},
        {" ,(,", 0, 0, 0, ""},
        {"1, 2, 3, \"\"", 1, 2, 3, ""},
        {"1 2 3 x\"name\"", 1, 2, 3, "name"},
        {"99999999999999999999, 0, 0, \"big\"", 255, 0, 0, "big"},  // 10^20 - 1, low byte
        // Beyond 64 bits atoi holds the value at the limit before the low byte is taken.
        {"18446744073709551616, 9223372036854775808, 1", 255, 255, 1, ""},
        {"-99999999999999999999, -9223372036854775809, 2", 0, 0, 2, ""},
    };
    for (const Case& c : cases) {
        ProfileColorValue got = ParseProfileColor(c.value);
        EXPECT_EQ(got.rgb.red, c.red) << "value [" << c.value << "]: red";
        EXPECT_EQ(got.rgb.green, c.green) << "value [" << c.value << "]: green";
        EXPECT_EQ(got.rgb.blue, c.blue) << "value [" << c.value << "]: blue";
        EXPECT_STREQ(got.name, c.name) << "value [" << c.value << "]: name";
    }
}

TEST(ProfileValues, FontValuesAsTheProfileReturnsThem) {
    struct Case {
        const char* value;  // enclosing quotes already removed by the profile function
        const char* name;
        const char* face;
    };
    const std::string long70(70, 'n');
    const std::string long64(64, 'n');
    const std::string longValue = long70 + "\", \"" + long70;
    const Case cases[] = {
        {"first\", \"second", "first", "second"},
        {"Arial\", \"Helvetica Bold", "Arial", "Helvetica Bold"},
        {"\"quoted\", \"face", "", "face"},  // a first token opening with a quote has no name
        {"plain", "plai", ""},
        {"a\",\"b", "a", ""},  // no filler between comma and quote: the face is the filler
        {"x\", \"", "x", ""},
        {"x\"", "x", ""},
        {"", "", ""},
        {",,,", "", ""},
        {",lead\", \"face", "lead", "face"},
        {longValue.c_str(), long64.c_str(), long64.c_str()},
    };
    for (const Case& c : cases) {
        ProfileFontValue got = ParseProfileFont(c.value);
        EXPECT_STREQ(got.name, c.name) << "value [" << c.value << "]: name";
        EXPECT_STREQ(got.face, c.face) << "value [" << c.value << "]: face";
    }
}

}  // namespace
}  // namespace xpmfilter
