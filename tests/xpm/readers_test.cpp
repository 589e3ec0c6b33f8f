// The pieces of the decoder that its text-to-pixels table cannot reach or cannot see: the
// byte readers' limits, the header check, the values line, the progress percentage, colour
// names of several words, the colour-name table itself, and code lookup by name.
#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "xpm/color_definitions.h"
#include "xpm/color_key_index.h"
#include "xpm/header_values.h"
#include "xpm/tokenizer.h"
#include "xpm_test_support.h"

namespace xpmtest {
namespace {

using xpmfilter::WordSlot;

TEST(Readers, WhitespaceIsTabLineFeedReturnAndSpaceOnly) {
    for (int byte = -128; byte < 128; ++byte) {
        const int want = byte == '\t' || byte == '\n' || byte == '\r' || byte == ' ' ? 1 : 0;
        EXPECT_EQ(xpmfilter::IsWhitespace(static_cast<signed char>(byte)), want) << "byte " << byte;
    }
}

TEST(Readers, WordsUpToTheClosingQuote) {
    struct Case {
        std::string input;  // what follows the opening quote
        int32_t maxWords, count;
        std::vector<std::string> words;  // the first slots, each up to its zero
        size_t remaining;
    };
    const Case cases[] = {
        {"abc def\"rest", 7, 2, {"abc", "def"}, 4},
        {" \t  \t\"", 7, 0, {}, 0},
        {"  a  \"", 7, 1, {"a", ""}, 0},  // trailing whitespace leaves an empty word after the last
        {std::string(45, 'w') + " b\"", 7, 2, {std::string(39, 'w'), "b"}, 0},
        {"1 2 3 4 5 6 7 8 9\"tail", 7, 7, {"1", "2", "3", "4", "5", "6", "7"}, 4},
        {"1,2\f3\v4\xa0 {x}\"", 7, 2, {"1,2\f3\v4\xa0", "{x}"}, 0},
        {"ab cd", 7, 1, {"ab"}, 0},  // the unfinished "cd" is not counted
        {"a b c\"x", 0, 0, {}, 1},
        {"a b c d e f g h i j k l\"", 10, 10, {"a", "b"}, 0},
    };
    for (const Case& c : cases) {
        Reading r(c.input);
        WordSlot slots[12];
        std::memset(slots, 'Z', sizeof slots);  // to see which bytes get written
        EXPECT_EQ(xpmfilter::ReadWordsToQuote(r.stream, c.maxWords, slots), c.count) << c.input;
        for (size_t i = 0; i < c.words.size(); ++i)
            EXPECT_EQ(std::string(slots[i], strnlen(slots[i], sizeof slots[i])), c.words[i]) << c.input << ", slot " << i;
        EXPECT_EQ(std::string(slots[c.maxWords], sizeof slots[0]), std::string(sizeof slots[0], 'Z')) << c.input << ": past the slots";
        EXPECT_EQ(r.Remaining(), c.remaining) << c.input;
    }
}

TEST(Readers, CodeBytesAreRawAndShortOnlyAtTheEnd) {
    struct Case {
        std::string input;
        int32_t length;
        bool complete;
        std::string code;
    };
    const Case cases[] = {{"  c", 2, true, "  "}, {"\"ab", 3, true, "\"ab"}, {"abc", 0, true, ""}, {"ab", 3, false, "ab"}, {"", 1, false, ""}};
    for (int32_t chunk : {1, 2, 40}) {
        for (const Case& c : cases) {
            Reading r(c.input, chunk);
            char code[40];
            std::memset(code, 'Z', sizeof code);
            EXPECT_EQ(xpmfilter::ReadCodeBytes(r.stream, c.length, code), c.complete) << c.input << ", chunk " << chunk;
            EXPECT_EQ(std::string(code), c.code) << c.input << ", chunk " << chunk;
        }
    }
}

TEST(Readers, HeaderCheck) {
    struct Case {
        std::string input;
        int32_t result;
        size_t remaining;
    };
    const Case cases[] = {
        {"/* XPM */\nstatic", 0, 6}, {"/*\tXPM\t*/\t", 0, 0}, {"/* xPm */\r\n", 0, 1},
        {"/*XPM */\n", -1, 0}, {"/* XPM*/\n", -1, 0}, {"/*  XPM */\n", -1, 3},  // words run together, one empty
        {"\n/* XPM */\n", -1, 3}, {"\xEF\xBB\xBF/* XPM */\n", -1, 0}, {"/* XPM2 */\n", -1, 0},
        {"/* XPM */", -1, 0}, {"", -1, 0}, {"/*\vXPM */\n", -1, 0},
        {std::string(39, 'x') + " XPM */\n", -1, 0}, {std::string(40, 'x') + " XPM */\n", -1, 8},  // at most 40 bytes a word
    };
    for (const Case& c : cases) {
        Reading r(c.input);
        EXPECT_EQ(xpmfilter::CheckXpmHeader(r.stream), c.result) << c.input;
        EXPECT_EQ(r.Remaining(), c.remaining) << c.input;
    }
}

TEST(Readers, ValuesLine) {
    struct Case {
        std::string input;
        int32_t result;
        std::vector<int32_t> want;  // width, height, colours, characters per pixel, hot spot x, y, has one
    };
    const Case cases[] = {
        {"static char *x[] = {\n\"16 16 4 1\",", 0, {16, 16, 4, 1, 0, 0, 0}},
        {"\"16 16 4 1 3 5\"", 0, {16, 16, 4, 1, 3, 5, 1}},
        {"\"16 16 4 1 3 5 XPMEXT\"", 0, {16, 16, 4, 1, 0, 0, 0}},
        {"\"16 16 4 1 7\"", 0, {16, 16, 4, 1, 7, 0, 0}},
        {"\"16 16 4 1 7 \"", 0, {16, 16, 4, 1, 7, 0, 0}},
        {"\"  16\t\t16   4 \t1  \"", 0, {16, 16, 4, 1, 0, 0, 0}},
        {"\"16,16,4,1\"", 0, {16, 0, 0, 0, 0, 0, 0}},
        {"no quote at all", 0, {0, 0, 0, 0, 0, 0, 0}},
        {"\"1 1 1 40\"", 0, {1, 1, 1, 40, 0, 0, 0}},
        {"\"1 1 1 41\"", -1, {1, 1, 1, 41, 0, 0, 0}},
        {"\"+8 -3 2x 0x10\"", 0, {8, -3, 2, 0, 0, 0, 0}},
        // Out of range: held at the 64-bit limits, then cut to 32 bits, as atoi does here.
        {"\"99999999999 -99999999999 2147483648 4294967337\"", -1, {1215752191, -1215752191, -2147483647 - 1, 41, 0, 0, 0}},
        {"\"99999999999999999999 -99999999999999999999 -2147483649 1\"", 0, {-1, 0, 2147483647, 1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        Reading r(c.input);
        xpmfilter::XpmValues v{-9, -9, -9, -9, -9, -9, -9};
        EXPECT_EQ(xpmfilter::ReadValuesLine(r.stream, v), c.result) << c.input;
        EXPECT_EQ((std::vector<int32_t>{v.width, v.height, v.ncolors, v.charsPerPixel, v.xHot, v.yHot, v.hasHotspot}), c.want) << c.input;
    }
}

TEST(Readers, InputLengthAndProgressPercent) {
    Reading r("0123456789");
    char byte;
    ASSERT_EQ(xpmfilter::Gdi().StreamRead(r.stream, &byte, 1), 1);
    xpmfilter::MeasureInput(r.stream, r.setup);
    EXPECT_EQ(r.setup.inputSize, 10);
    EXPECT_EQ(r.Remaining(), 9u) << "the position is kept";
    // From here every seek answers `position`: -1 is a stream that cannot tell.
    static int32_t position;
    r.table.StreamSeek = [](StreamHandle, int32_t, int32_t) { return position; };
    position = -1;
    xpmfilter::MeasureInput(r.stream, r.setup);
    EXPECT_EQ(r.setup.inputSize, -1);
    const std::vector<std::vector<int32_t>> cases = {  // input size, position, percentage
        {0, 0, 100}, {0, 5, 100}, {200, 1, 0}, {200, 199, 99}, {200, 200, 100}, {60000000, 30000000, 50},
        {2147483647, 2147483647, 100}, {-1, 7, -700}, {300, -1, 0}};
    for (const auto& c : cases) {
        r.setup.inputSize = c[0];
        position = c[1];
        xpmfilter::UpdateProgressPercent(r.stream, r.setup);
        EXPECT_EQ(r.setup.progressPercent, c[2]) << "position " << c[1] << " of " << c[0];
    }
}

TEST(Readers, ColourKeyScanEndsWithTheInputNotTheCount) {
    Reading r("\"x m y\"");
    EXPECT_EQ(xpmfilter::HasColorKey(r.stream, {1, 1, 2000000000, 1, 0, 0, 0}), -1);
    EXPECT_EQ(xpmfilter::HasColorKey(r.stream, {1, 1, -5, 1, 0, 0, 0}), -1);
}

TEST(Readers, NamesOfSeveralWordsAreTriedCutAndJoined) {
    const std::string v39(39, 'v'), w39(39, 'w');
    struct Case {
        std::string definition, tableName;  // the one name the table knows
        bool found;
    };
    const Case cases[] = {
        {"x c foo", "foo ", true},  // the value and an empty word
        {"x c foo", "foo  ", true},
        {"x c foo", "foo   ", false},
        {"x c a b c d", "a b c d", false},  // four words are never joined
        {"x c " + v39 + " abc", v39 + " ", true},  // two words cut to 40 characters
        {"x c " + v39 + " abc", v39 + " a", false},
        {"x c aaaaa " + w39 + " zzzzzzzzzz", "aaaaa " + w39.substr(0, 34) + " zzzzzzzz", true},  // three cut to 49
        {"x c aaaaa " + w39 + " zzzzzzzzzz", "aaaaa " + w39.substr(0, 34) + " zzzzzzzzz", false},
    };
    for (const Case& c : cases) {
        Reading r("\"" + c.definition + "\"\n\"z c #000000\"\n\"y c #000000\"\n");  // keys at both parities
        const xpmfilter::NamedColor table[2] = {{"other", 1, 1, 1}, {c.tableName.c_str(), 10, 20, 30}};
        xpmfilter::ColorKeyEntry entries[2] = {};
        const int32_t got = xpmfilter::ReadColorDefinitions(r.setup, r.stream, {1, 1, 2, 1, 0, 0, 0}, entries, table, 2);
        EXPECT_EQ(got, c.found ? 0 : -1) << c.definition << " with the name \"" << c.tableName << "\"";
        const auto palette = r.fake.Find("SetPalette");
        if (c.found && !palette.empty()) {
            EXPECT_EQ((std::vector<int>{palette[0]->data[0], palette[0]->data[4], palette[0]->data[8]}), (std::vector<int>{10, 20, 30}));
        }
    }
}

// An independent oracle: the X11 colour database of this machine, when it has one.
TEST(Readers, ColourNamesAreTheSystemColourDatabase) {
    std::ifstream database("/usr/share/X11/rgb.txt");
    if (!database) GTEST_SKIP() << "no /usr/share/X11/rgb.txt on this machine";
    std::map<std::string, int> expected, ours;
    for (std::string line; std::getline(database, line);) {
        std::istringstream fields(line);
        int red, green, blue;
        std::string name;
        if (line.empty() || line[0] == '!' || !(fields >> red >> green >> blue) || !std::getline(fields >> std::ws, name)) continue;
        while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
        if (name != "DebianRed") expected[name] = red << 16 | green << 8 | blue;
    }
    for (const auto& entry : xpmfilter::NamedColorTable) ours[entry.name] = entry.red << 16 | entry.green << 8 | entry.blue;
    EXPECT_EQ(ours, expected);
    EXPECT_EQ(ours.size(), size_t{xpmfilter::kNamedColorCount}) << "no name twice";
}

// Codes whose packed first characters are all multiples of one number: under a hash that
// keeps the packed value (or a fixed function of it) they share a chain.
std::vector<std::string> Colliding(int n) {
    std::vector<std::string> codes;
    for (uint64_t i = 1; codes.size() < size_t(n); ++i) {
        std::string code;
        for (uint64_t packed = i * 1048583; packed != 0; packed >>= 8) code += static_cast<char>(packed & 0xFF);
        if (code.find('\0') == std::string::npos) codes.push_back(code);
    }
    return codes;
}

// Lookup of one code by name (the decoder only ever asks for the empty code this way): the
// first entry equal in 8 characters, its position kept to 8 bits, as the plain scan finds it.
TEST(Readers, CodeLookupByNameIsTheScansAnswer) {
    std::vector<std::string> codes = Colliding(3000);
    codes.insert(codes.begin() + 300, {"abcdefgh01", "abcdefgh02", "q", "", "q", "A"});
    std::vector<xpmfilter::ColorKeyEntry> table(codes.size());
    for (size_t i = 0; i < codes.size(); ++i) std::strncpy(table[i].code, codes[i].c_str(), sizeof table[i].code - 1);
    const std::vector<std::pair<std::string, int>> cases = {  // -1: not found
        {codes[299], 299 % 256}, {codes[3005], 3005 % 256}, {Colliding(3001)[3000], -1}, {"abcdefgh", 300 % 256},
        {"abcdefgh02", 300 % 256}, {"abcdefg", -1}, {"q", 302 % 256}, {"", 303 % 256}, {"a", -1}, {"A", 305 % 256}};
    for (int32_t count : {int32_t(codes.size()), 0}) {
        xpmfilter::ColorKeyIndex index(table.data(), count, 3, 1);
        for (const auto& [code, want] : cases) {
            uint8_t scanned = 0xEE, found = 0xEE;
            const int wanted = count == 0 ? -1 : want;
            EXPECT_EQ(xpmfilter::FindColorKey(code.c_str(), table.data(), count, &scanned), wanted < 0 ? -1 : 0) << code;
            EXPECT_EQ(index.Find(code.c_str(), &found), wanted < 0 ? -1 : 0) << code;
            EXPECT_EQ(scanned, wanted < 0 ? 0xEE : wanted) << code;
            EXPECT_EQ(found, wanted < 0 ? 0xEE : wanted) << code;
        }
    }
}

}  // namespace
}  // namespace xpmtest
