// Colour definitions: codes, keys, hex and named colours, the colour-key scan, the palette.
#include "xpm/color_definitions.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/scratch_memory.h"
#include "xpm_test_support.h"

namespace xpmtest {
namespace {

using namespace std::string_literals;

using xpmfilter::ColorKeyEntry;
using xpmfilter::NamedColor;
using xpmfilter::RgbTriple;

struct Rgb {
    int red, green, blue;
    bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.red << ", " << c.green << ", " << c.blue << ")";
}

struct DefinitionsRun {
    int32_t result = 0;
    std::vector<std::string> codes;
    std::vector<int32_t> values;
    std::vector<Rgb> palette;  // as SetPalette received it; empty when it was not called
    int64_t paletteCount = -1;
    std::vector<int64_t> reports;  // codes of kind-3 status calls
};

DefinitionsRun RunDefinitions(const std::string& input, int32_t ncolors, int32_t charsPerPixel,
                              const NamedColor* table = xpmfilter::NamedColorTable,
                              int32_t tableCount = xpmfilter::kNamedColorCount) {
    RecordingLibrary fake;
    fake.input = input;
    TestSetup setup;
    TestStream stream(fake);
    xpmfilter::XpmValues values{1, 1, ncolors, charsPerPixel, 0, 0, 0};
    xpmfilter::ScratchArray<ColorKeyEntry> entries(static_cast<size_t>(ncolors));
    DefinitionsRun run;
    run.result = xpmfilter::ReadColorDefinitions(*setup, stream, values, entries.get(), table, tableCount);
    for (int32_t i = 0; i < ncolors; ++i) {
        run.codes.emplace_back(entries[i].code);
        run.values.push_back(entries[i].value);
    }
    for (const Call* call : fake.Find("SetPalette")) {
        run.paletteCount = call->args[1];
        for (size_t at = 0; at + 12 <= call->data.size(); at += 12) {
            const uint8_t* e = call->data.data() + at;
            run.palette.push_back({e[0], e[4], e[8]});
            for (int pad : {1, 2, 3, 5, 6, 7, 9, 10, 11})
                EXPECT_EQ(e[pad], 0) << "palette entry " << at / 12 << " byte " << pad;
        }
    }
    for (const Call* call : fake.Find("Status"))
        if (call->args[1] == 3) run.reports.push_back(static_cast<int32_t>(call->args[2]));
    return run;
}

// A definition followed by two more whose keys fall at an even and an odd word count, so the
// colour-key scan succeeds whatever the first one holds.
std::string WithKeyedFollower(const std::string& definition) {
    return "\"" + definition + "\",\n\"z c #000000\",\n\"y c #000000\",\n";
}

TEST(ColorDefinitions, OneDefinition) {
    struct Case {
        std::string definition;
        int32_t charsPerPixel;
        int32_t result;
        std::string code;
        Rgb rgb;
    };
    const std::vector<Case> cases = {
        {"a c #FF8000", 1, 0, "a", {255, 128, 0}},
        {"a c #ff8000", 1, 0, "a", {255, 128, 0}},
        {"b c None", 1, 0, "b", {0, 0, 0}},
        {"b c NONE", 1, 0, "b", {0, 0, 0}},
        {"x c dark slate gray", 1, 0, "x", {47, 79, 79}},
        {"x c dark slate gray s border", 1, 0, "x", {47, 79, 79}},
        {"x c light goldenrod yellow", 1, 0, "x", {238, 221, 130}},
        {"x c LightGoldenrodYellow", 1, 0, "x", {250, 250, 210}},
        {"x c white smoke", 1, 0, "x", {255, 255, 255}},
        {"x c WhiteSmoke", 1, 0, "x", {245, 245, 245}},
        {"x c Alice Blue", 1, 0, "x", {240, 248, 255}},
        {"x c ALICEBLUE", 1, 0, "x", {240, 248, 255}},
        {"x m white", 1, 0, "x", {0, 0, 0}},
        {"x m white c red", 1, 0, "x", {255, 0, 0}},
        {"x C red", 1, 0, "x", {255, 0, 0}},
        {"x s c", 1, 0, "x", {0, 0, 0}},            // pairs are (s, c): no "c" key
        {"x c", 1, 0, "x", {0, 0, 0}},              // an odd last word is no pair
        {"x s c red", 1, 0, "x", {0, 0, 0}},
        {"x m c c red", 1, 0, "x", {255, 0, 0}},    // pairs (m, c) and (c, red)
        {"x c s c red", 1, -1, "x", {0, 0, 0}},     // the value of the first "c" is "s"
        {"  c blue", 2, 0, "  ", {0, 0, 255}},
        {"\t\tc blue", 2, 0, "\t\t", {0, 0, 255}},
        {"ab  c   #0000FF\t ", 2, 0, "ab", {0, 0, 255}},
        {"abcdefgh01 c red", 10, 0, "abcdefgh01", {255, 0, 0}},
        {"c red", 0, 0, "", {255, 0, 0}},
        {"x c #abc", 1, 0, "x", {171, 191, 239}},
        {"x c #FFFF00008000", 1, 0, "x", {255, 0, 128}},
        {"x c #FFF000888", 1, 0, "x", {255, 0, 136}},
        {"x c #12345", 1, 0, "x", {0x12, 0x34, 79}},       // 5 * 16 - 1
        {"x c #1234567", 1, 0, "x", {0x12, 0x34, 0x56}},
        {"x c #GG0000", 1, 0, "x", {239, 0, 0}},
        {"x c #12345678901Z", 1, 0, "x", {0x12, 0x34, 0x56}},  // 12 but not all hex
        {"x c #", 1, 0, "x", {239, 239, 239}},
        // A zero byte inside the word is one more non-hex character; reading goes on after it.
        {"x c #12\0" "456"s, 1, 0, "x", {0x12, 244, 0x56}},  // -16 + 4
        {"x c #\0" "ABCDE"s, 1, 0, "x", {250, 0xBC, 0xDE}},   // -16 + 10
        {"x c #123456789\0" "ab"s, 1, 0, "x", {0x12, 0x34, 0x56}},  // 12 characters, not all hex
        {"x c nosuchcolour", 1, -1, "x", {0, 0, 0}},
        {"x c gray101", 1, -1, "x", {0, 0, 0}},
    };
    for (const Case& c : cases) {
        DefinitionsRun run = RunDefinitions(WithKeyedFollower(c.definition), 2, c.charsPerPixel);
        const std::string name = "\"" + c.definition + "\" (cpp " +
                                 std::to_string(c.charsPerPixel) + ")";
        EXPECT_EQ(run.result, c.result) << name << ": got " << run.result << ", want " << c.result;
        EXPECT_EQ(run.codes[0], c.code) << name << ": got code \"" << run.codes[0] << "\"";
        EXPECT_EQ(run.values[0], 0) << name;
        if (c.result != 0) {
            EXPECT_EQ(run.reports, std::vector<int64_t>{-23}) << name << ": one report of -23";
            EXPECT_TRUE(run.palette.empty()) << name << ": no palette after a failure";
            continue;
        }
        EXPECT_TRUE(run.reports.empty()) << name << ": nothing reported";
        ASSERT_EQ(run.palette.size(), 2u) << name;
        EXPECT_EQ(run.palette[0], c.rgb) << name << ": got " << run.palette[0] << ", want "
                                         << c.rgb;
    }
}

TEST(ColorDefinitions, SeveralWordNamesTryCandidatesAsCutAndJoined) {
    const std::string v39(39, 'v');
    const std::string w39(39, 'w');
    struct Case {
        std::string definition;
        std::string tableName;  // the one name the table knows
        bool found;
    };
    const std::vector<Case> cases = {
        {"x c foo", "foo ", true},             // second candidate: the value and an empty word
        {"x c foo", "foo  ", true},            // third: two empty words
        {"x c foo", "foo   ", false},
        {"x c a b c", "a b c", true},
        {"x c a b c d", "a b c d", false},     // four words are never joined
        {"x c " + v39 + " abc", v39 + " ", true},  // two words cut to 40 characters
        {"x c " + v39 + " abc", v39 + " abc", false},
        {"x c aaaaa " + w39 + " zzzzzzzzzz",       // three words cut to 49 characters
         "aaaaa " + w39.substr(0, 34) + " zzzzzzzz", true},
    };
    for (const Case& c : cases) {
        const NamedColor table[2] = {{"other", 1, 1, 1}, {c.tableName.c_str(), 10, 20, 30}};
        DefinitionsRun run = RunDefinitions(WithKeyedFollower(c.definition), 2, 1, table, 2);
        int32_t want = c.found ? 0 : -1;
        EXPECT_EQ(run.result, want) << "\"" << c.definition << "\" with name \"" << c.tableName
                                    << "\": got " << run.result << ", want " << want;
        if (c.found && !run.palette.empty()) {
            EXPECT_EQ(run.palette[0], (Rgb{10, 20, 30}));
        }
    }
}

TEST(ColorDefinitions, PaletteHoldsEveryDefinitionInOrder) {
    std::string input;
    for (int i = 0; i < 300; ++i) {
        char definition[40];
        std::snprintf(definition, sizeof definition, "\"%02x c #%02X%02X%02X\",\n", i % 256,
                      i % 256, (i * 7) % 256, i / 256);
        input += definition;
    }
    DefinitionsRun run = RunDefinitions(input, 300, 2);
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.paletteCount, 300);
    ASSERT_EQ(run.palette.size(), 300u);
    for (int i = 0; i < 300; ++i) {
        Rgb want{i % 256, (i * 7) % 256, i / 256};
        EXPECT_EQ(run.palette[i], want) << "entry " << i << ": got " << run.palette[i];
        EXPECT_EQ(run.values[i], i) << "entry " << i;
    }
}

TEST(ColorDefinitions, InputEndingAmongDefinitionsLeavesEmptyBlackEntries) {
    DefinitionsRun run = RunDefinitions("\"a c #FFFFFF\",\n\"b c #FF0000\",\n\"d c #0", 5, 1);
    ASSERT_EQ(run.result, 0);
    ASSERT_EQ(run.palette.size(), 5u);
    const std::vector<std::string> codes = {"a", "b", "d", "", ""};
    const std::vector<Rgb> colors = {{255, 255, 255}, {255, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    // The first definition read at end of input is written; later ones are never touched
    // and keep the zero fill, which is the same empty code and black.
    const std::vector<int32_t> values = {0, 1, 2, 3, 0};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(run.codes[i], codes[i]) << "entry " << i;
        EXPECT_EQ(run.values[i], values[i]) << "entry " << i;
        EXPECT_EQ(run.palette[i], colors[i]) << "entry " << i << ": got " << run.palette[i];
    }
}

TEST(ColorDefinitions, PaletteCountIsTheLowSixteenBits) {
    std::string input;
    for (int i = 0; i < 65537; ++i) input += "\"" + std::string(1, 'a' + i % 26) + " c #0000FF\"\n";
    DefinitionsRun run = RunDefinitions(input, 65537, 1);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.paletteCount, 1);
    EXPECT_EQ(run.palette.size(), 1u);
}

TEST(ColorDefinitions, ColorKeyScan) {
    struct Case {
        std::string input;
        int32_t ncolors;
        int32_t result;
    };
    const std::vector<Case> cases = {
        {"\"a c #FFFFFF\",\n\"b c #000000\",\n", 2, 0},
        {"\"a c #FFFFFF\",\n\"b c #000000\",\n", 1, 0},  // one pass runs into the next string
        {"\"a c #FFFFFF\"\n", 1, -1},                    // the key is at an odd count
        {"\"  c blue\"", 1, 0},                          // a code of spaces: the key at 0
        {"\"a C #FFFFFF\",\n\"b C #000000\",\n", 2, -1},   // only a lower-case c counts
        {"\"a b c\"", 1, 0},
        {"\"a b cd\"", 1, 0},                            // a word beginning with c
        {"\"ab cd\"", 1, -1},
        {"\"\" \"a c red\"", 1, -1},                     // an empty string ends the pass
        {"\"\" \"c red\"", 2, 0},
        {"\"a m red\"\n\"b m blue\"\n", 2, -1},
        {"", 3, -1},
        {"\"a c red\" \"b c blue\"", 0, -1},             // no pass at all
        {"\"a c red\" \"b c blue\"", -5, -1},
        {"\"x m y\"", 2000000000, -1},                   // ends with the input, not the count
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        fake.input = c.input;
        TestStream stream(fake);
        xpmfilter::XpmValues values{1, 1, c.ncolors, 1, 0, 0, 0};
        int32_t got = xpmfilter::HasColorKey(stream, values);
        EXPECT_EQ(got, c.result) << c.input << " (ncolors " << c.ncolors << "): got " << got
                                 << ", want " << c.result;
        if (got == 0) {
            EXPECT_EQ(stream.Remaining(), c.input.size()) << c.input << ": position not restored";
        }
    }
}

TEST(ColorDefinitions, FailedKeyScanReportsNothingAndSendsNoPalette) {
    DefinitionsRun run = RunDefinitions("\"a m red\"\n\"b m blue\"\n", 2, 1);
    EXPECT_EQ(run.result, -1);
    EXPECT_TRUE(run.reports.empty());
    EXPECT_EQ(run.paletteCount, -1);
}

TEST(ColorDefinitions, SendPaletteRefusesANegativeCount) {
    RecordingLibrary fake;
    TestSetup setup;
    const RgbTriple rgb[2] = {{1, 2, 3}, {4, 5, 6}};
    EXPECT_EQ(xpmfilter::SendPalette(*setup, 0, -25536, rgb), 27);
    EXPECT_EQ(fake.Count("SetPalette"), 0u);
    auto status = fake.Find("Status");
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0]->args[1], 3);
    EXPECT_EQ(status[0]->args[2], 27);

    EXPECT_EQ(xpmfilter::SendPalette(*setup, 7, 2, rgb), 0);
    auto palette = fake.Find("SetPalette");
    ASSERT_EQ(palette.size(), 1u);
    EXPECT_EQ(palette[0]->args, (std::vector<int64_t>{7, 2}));
    const std::vector<uint8_t> want = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0, 6, 0, 0, 0};
    EXPECT_EQ(palette[0]->data, want);
}

TEST(ColorDefinitions, HexDigits) {
    const std::string digits = "0123456789abcdef", upper = "0123456789ABCDEF";
    for (int byte = 0; byte < 256; ++byte) {
        const char ch = static_cast<char>(byte);
        const size_t at = byte == 0 ? std::string::npos : std::min(digits.find(ch), upper.find(ch));
        const int want = at == std::string::npos ? -1 : static_cast<int>(at);
        EXPECT_EQ(xpmfilter::HexDigitValue(ch), want) << "byte " << byte;
    }
}

}  // namespace
}  // namespace xpmtest
