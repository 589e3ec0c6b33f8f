// The XPM decoder against the recording library. The main table takes XPM text from the
// values line on to the result code, the reports, the writer calls, the palette and the pixel
// indices; the others reach what that table cannot: band geometry, truncation and read
// chunking, the byte readers' limits, the header, the values line, progress, colour names of
// several words, the colour-name table itself and code lookup by name.
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "output/import_context.h"
#include "recording_library.h"
#include "xpm/color_definitions.h"
#include "xpm/color_key_index.h"
#include "xpm/header_values.h"
#include "xpm/image_decoder.h"
#include "xpm/tokenizer.h"
#include "xpm_text.h"
#if !defined(_WIN32)
#include "fault_hooks.h"
#endif

namespace xpmtest {
namespace {

using namespace std::string_literals;
using Script = std::function<void(RecordingLibrary&)>;

// A stream over some text through the recording library (reads of at most `chunk` bytes when
// given), and an import whose status sink calls the recording library. The stream keeps only
// the promises the filter may rely on: reads of any size, a position query, a seek to the end
// and a return to the position last queried; any other seek is refused and noted.
struct Reading {
    explicit Reading(std::string input, int32_t chunk = 0) {
        fake.input = std::move(input);
        stream = fake.Table().StreamOpen(nullptr, nullptr, 0);
        chunk_ = chunk;
        furthest_ = seeks_ = 0;
        queried_ = -1;
        refused_ = "";
        table.StreamRead = [](StreamHandle s, void* buffer, int32_t count) {
            furthest_ = std::max(furthest_, ::StreamSeek(s, 0, 1) + count);
            return ::StreamRead(s, buffer, chunk_ > 0 && count > chunk_ ? chunk_ : count);
        };
        table.StreamSeek = [](StreamHandle s, int32_t offset, int32_t origin) {
            ++seeks_;
            if ((offset != 0 || origin == 0) && (origin != 0 || offset != queried_)) {
                refused_ += std::to_string(offset) + "/" + std::to_string(origin) + " ";
                return -1;
            }
            const int32_t at = ::StreamSeek(s, offset, origin);
            if (origin == 1) queried_ = at;
            return at;
        };
        xpmfilter::BindGraphicsLibrary(&table);
        sink.statusProc = reinterpret_cast<uint64_t>(&RecordingLibrary::StatusProc);
        import.statusSink = &sink;
    }
    [[nodiscard]] size_t Remaining() const {
        return fake.input.size() - ::StreamSeek(stream, 0, 1);
    }

    RecordingLibrary fake;
    xpmfilter::GraphicsLibrary table = fake.Table();  // bound; a test may change its entries
    StreamHandle stream = nullptr;
    StatusSink sink{};
    xpmfilter::ImportContext import{};
    static inline int32_t chunk_ = 0, furthest_ = 0, seeks_ = 0, queried_ = -1;
    static inline std::string refused_;
};

// What a decode gave.
struct Outcome {
    int32_t result = 0;
    std::vector<int32_t> reports = {};  // codes of kind-3 status calls
    std::string ops = "";               // writer calls, without WriterGetError and the bands
    std::vector<int> palette = {};      // SetPalette's count, then each entry as 0xRRGGBB
    std::vector<int> pixels = {};       // every band's rows, first band first
    bool operator==(const Outcome&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << "result " << o.result << ", reports " << testing::PrintToString(o.reports)
               << ", calls [" << o.ops << "], palette " << testing::PrintToString(o.palette)
               << ", pixels " << testing::PrintToString(o.pixels);
}

// Reads the values line of `text`, then decodes the rest with the input measured; the calls of
// the decode go to *calls when given.
Outcome Decode(const std::string& text, int32_t chunk = 0, const Script& script = {},
               std::vector<Call>* calls = nullptr) {
    Reading r(text, chunk);
    if (script) script(r.fake);
    xpmfilter::XpmValues values{};
    (void)xpmfilter::ReadValuesLine(r.stream, values);
    r.import.inputSize = static_cast<int32_t>(text.size());
    r.fake.calls.clear();
    Outcome got{xpmfilter::DecodeXpmImage(r.import, r.stream, values)};
    const int32_t size = int32_t(text.size()), consumed = size - int32_t(r.Remaining());
    EXPECT_EQ(Reading::refused_, "") << "seeks the stream did not promise";
    EXPECT_TRUE(got.result != 0 || std::min(Reading::furthest_, size) <= consumed)
        << "a decode asked for " << Reading::furthest_ << " bytes and consumed " << consumed;
    for (const Call& call : r.fake.calls) {
        if (call.op == "Status" && call.args[1] == 3)
            got.reports.push_back(static_cast<int32_t>(call.args[2]));
        if (call.op == "BitmapWriteBand")
            got.pixels.insert(got.pixels.end(), call.data.begin(), call.data.end());
        if (call.op == "Status" || call.op == "WriterGetError" || call.op == "BitmapWriteBand")
            continue;
        got.ops += (got.ops.empty() ? "" : " ") + call.op;
        if (call.op == "SetPalette") got.palette.push_back(static_cast<int>(call.args[1]));
        // Each entry is three 32-bit fields, red first, each byte of them in the first byte.
        for (size_t at = 0; call.op == "SetPalette" && at < call.data.size();
             at += sizeof(PaletteEntry))
            got.palette.push_back(call.data[at] << 16 | call.data[at + 4] << 8 | call.data[at + 8]);
    }
    if (calls != nullptr) *calls = r.fake.calls;
    return got;
}

// What a pattern must give: its palette, and its rows padded to whole 32-bit words.
std::vector<int> Palette(const XpmPattern& p) {
    std::vector<int> palette{int(p.colors.size())};
    palette.insert(palette.end(), p.colors.begin(), p.colors.end());
    return palette;
}
std::vector<int> Rows(const XpmPattern& p, int width) {
    std::vector<int> rows;
    for (size_t at = 0; at < p.indices.size(); at += width) {
        rows.insert(rows.end(), p.indices.begin() + at, p.indices.begin() + at + width);
        rows.resize((rows.size() + 3) / 4 * 4);
    }
    return rows;
}

// How far the writer calls got: none (""), the picture set up, the palette and the bitmap begun
// (the rows may follow), the bitmap ended.
const char* const kHead = "SetFrame SetUnits SetWindow PictureStartDrawing";
const std::string kBody = kHead + " SetPalette BitmapBegin"s;
const std::string kDone = kBody + " BitmapEnd";

// One definition with `cpp` characters per pixel (two more follow, whose keys fall at an even
// and an odd word count, so the colour-key scan passes whatever the first holds) and a
// one-pixel picture of its code; and what that gives when the colour is rgb, or unreadable.
std::string Def(const std::string& definition, int cpp = 1) {
    return "\"1 1 3 " + std::to_string(cpp) + "\",\n\"" + definition + "\",\n\"" +
           std::string(cpp, 'z') + " c #000000\",\n\"" + std::string(cpp, 'y') +
           " c #000000\",\n\"" + definition.substr(0, cpp) + "\"";
}
Outcome Colour(int rgb) {
    return {.ops = kDone, .palette = {3, rgb, 0, 0}, .pixels = {0, 0, 0, 0}};
}
Outcome Pixels(std::vector<int> pixels) {
    return {.ops = kDone, .pixels = pixels};
}
const Outcome kUnreadable{.result = -1, .reports = {-23}, .ops = kHead};
const Outcome kNoKey{.result = -1, .ops = kHead};      // the colour-key scan found none
const Outcome kNoRoom{.result = 27, .reports = {27}};  // no memory for the definitions
const auto Strings = QuotedStrings;

// n definitions of "aa" and a last one of "zz", and a row of both codes.
std::string Repeated(int n) {
    std::string text = "\"2 1 " + std::to_string(n) + " 2\",\n";
    for (int i = 1; i < n; ++i) text += "\"aa c #0000FF\",\n";
    return text + "\"zz c red\",\n\"aazz\"";
}

TEST(Xpm, TextToResultPaletteAndPixels) {
    struct Case {
        const char* name;
        std::string text;  // from the values line on
        Outcome want;      // of its palette and pixels, the first entries of what the decode gave
        Script script = {};
    };
    // clang-format off
    const Case cases[] = {
        {"hex digits in either case", Def("a c #09afAF"), Colour(0x09AFAF)},
        {"none in any case is black", Def("b c NoNe"), Colour(0)},
        {"a name in any case", Def("x c ALICEBLUE"), Colour(0xF0F8FF)},
        {"a name of three words", Def("x c dark slate gray"), Colour(0x2F4F4F)},
        {"the first two words that are a name", Def("x c light goldenrod yellow"),
         Colour(0xEEDD82)},
        {"the first word that is a name", Def("x c white smoke"), Colour(0xFFFFFF)},
        {"words past the tenth are not read", Def("x m 1 m 2 m 3 m 4 c light goldenrod"),
         kUnreadable},
        {"no c key: black", Def("x m white"), Colour(0)},
        {"the key in upper case", Def("x C red"), Colour(0xFF0000)},
        {"c without a value: black", Def("x c"), Colour(0)},
        {"keys and values go in pairs: c as a value is none", Def("x s c red"), Colour(0)},
        {"keys and values go in pairs: c after a value c", Def("x m c c red"), Colour(0xFF0000)},
        {"a value that is no colour", Def("x c s c red"), kUnreadable},
        {"no code at 0 characters per pixel", Def("c red", 0), Colour(0xFF0000)},
        // Six digits are always read, a non-hex byte (a zero one too) counting as -1 and each
        // component keeping its low 8 bits; 9 or 12 hex digits give the leading two of each.
        {"three hex digits", Def("x c #abc"), Colour(0xABBFEF)},
        {"the bytes beside each hex range", Def("x c #/:@G`g"), Colour(0xEFEFEF)},
        {"nine hex digits", Def("x c #FFF000888"), Colour(0xFF0088)},
        {"twelve hex digits", Def("x c #FFFF00008000"), Colour(0xFF0080)},
        {"twelve characters, not all hex", Def("x c #12345678901Z"), Colour(0x123456)},
        {"thirteen hex digits", Def("x c #123456789ABCD"), Colour(0x123456)},
        {"a zero byte among six digits", Def("x c #12\0"s + "456"), Colour(0x12F456)},
        {"a zero byte among twelve characters", Def("x c #123456789\0"s + "ab"), Colour(0x123456)},
        {"zero bytes among characters up to the word's end",
         Def("x c #123456789ABC" + std::string(11, '\0') + std::string(16, 'z')), Colour(0x123456)},
        // The colour-key scan: a lower-case "c" at an even word count, running on across
        // strings; an empty string ends a pass; no pass at all for no colours. (A "c" at an
        // odd count, an unknown name, an unknown or missing pixel code and the sizes that
        // cannot be banded are xpmimport's bad inputs, end to end.)
        {"C is no key to the scan", Strings({"1 1 2 1", "a C #FFFFFF", "b C #000000", "a"}),
         kNoKey},
        {"c at an even word count is a key", Strings({"1 1 1 1", "a b c", "a"}),
         {.ops = kDone, .palette = {1, 0}, .pixels = {0}}},
        {"an empty string ends a pass", "\"1 1 1 1\",\n\"\" \"a c red\",\n\"a\"", kNoKey},
        {"the next pass goes on after an empty string", Strings({"1 1 2 0", "", "c red", ""}),
         {.ops = kDone, .palette = {2, 0, 0xFF0000}, .pixels = {0}}},
        {"the input ends before a key", "\"1 1 3 1\",\n", kNoKey},
        {"no colours, no pass", Strings({"2 1 0 1", "a c red", "aa"}), kNoKey},
        // Palettes: the count goes as 16 bits and indices keep 8 bits; missing definitions are
        // black.
        {"65536 colours: a palette of 0, index 65535 is 255", Repeated(65536),
         {.ops = kDone, .palette = {0}, .pixels = {0, 255}}},
        {"definitions missing at the end are black",
         "\"5 1 5 1\",\n\"a c #FFFFFF\",\n\"b c red\",\n\"d c #0",
         {.result = -1, .ops = kBody, .palette = {5, 0xFFFFFF, 0xFF0000, 0, 0, 0}}},
        // Pixel codes: the first definition equal in 8 characters, letter case counting, a zero
        // byte ending a code as it ends a string; whatever follows the codes is skipped.
        {"codes alike in 8 characters are one",
         Strings({"2 1 3 10", "abcdefgh10 c red", "abcdefgh20 c blue", "zzzzzzzzzz c green",
                  "abcdefgh20abcdefgh10"}),
         Pixels({0, 0})},
        {"the first of two equal codes",
         Strings({"3 1 3 1", "a c red", "b c blue", "a c green", "aba"}), Pixels({0, 1, 0, 0})},
        {"a pixel code of spaces", Strings({"2 1 2 2", "   c blue", "xx c red", "xx  "}),
         Pixels({1, 0, 0, 0})},
        {"letter case counts in codes", Strings({"2 1 2 1", "a c red", "A c blue", "Aa"}),
         Pixels({1, 0})},
        {"the rest of a row and comments between rows are skipped",
         "\"2 2 2 1\",\n\"a c red\",\n\"b c blue\",\n\"abEXTRA\" /* comment */,\n// more\n\"ba\"",
         Pixels({0, 1, 0, 0, 1, 0, 0, 0})},
        {"rows at 0 characters per pixel are the empty code",
         Strings({"3 2 2 0", "c red", "c blue", "whatever", ""}), Pixels({0, 0, 0, 0, 0, 0, 0, 0})},
        {"a zero byte ends a code of 2",
         Strings({"4 1 3 2", "ab c red", "a\0 c blue"s, "\0\0 c green"s, "a\0ab\0x\0\0"s}),
         Pixels({1, 0, 2, 2})},
        {"a zero byte ends a code of 3; the high bit of the byte before it counts",
         Strings({"4 1 5 3", "abc c red", "ab\0 c blue"s, "\0bc c green"s, "a\0\0 c red"s,
                  "\xe1\0\0 c red"s, "ab\0abcab\0\xe1\0\0"s}),
         Pixels({1, 0, 1, 4})},
        {"a code of 3 that no definition has",
         Strings({"2 1 2 3", "abc c red", "abd c blue", "abcabe"}), {.result = -1, .ops = kBody}},
        {"the last row's closing quote may be missing",
         "\"3 1 2 1\",\n\"a c red\",\n\"b c blue\",\n\"bab", Pixels({1, 0, 1})},
        // A writer error at a row's check is reported, the writer aborted (a stop there is
        // returned unreported: the driver's table).
        {"a writer error", MakePattern({6, 10, 3, 1}).Body(),
         {.result = 14, .reports = {14}, .ops = kBody + " WriterAbort"},
         [](RecordingLibrary& f) {
             f.writerError = [](const std::string& op) {
                 return std::pair<int16_t, int16_t>(op == "BitmapBegin" ? 302 : 0, 0);
             };
         }},
        // Sizes: a negative height of several bands gives none, no room for the codes.
        {"a negative height of several bands", Strings({"100 -1000 1 1", " c red"}), Pixels({})},
        {"width 32768 and no rows", Strings({"32768 0 1 1", " c red"}), Pixels({})},
        {"too many colours to hold", Strings({"4 4 2000000000 1", " c red"}), kNoRoom},
        {"a negative colour count", Strings({"4 4 -3 1", " c red"}), kNoRoom},
    };
    // clang-format on
    for (const Case& c : cases) {
        Outcome got = Decode(c.text, 0, c.script);
        got.palette.resize(std::min(got.palette.size(), c.want.palette.size()));
        got.pixels.resize(std::min(got.pixels.size(), c.want.pixels.size()));
        EXPECT_EQ(got, c.want) << c.name << ", from "
                               << testing::PrintToString(c.text.substr(0, 60));
    }
}

TEST(Xpm, CallsOfASmallPicture) {
    const XpmPattern p = MakePattern({.width = 3, .height = 10, .colors = 4});
    const std::string text = p.Body();
    std::vector<Call> calls;
    ASSERT_EQ(Decode(text, 0, {}, &calls).result, 0);
    std::string want =
        "SetFrame SetUnits SetWindow PictureStartDrawing WriterGetError SetPalette BitmapBegin";
    for (int row = 0; row < 10; ++row) want += " Status WriterGetError";
    EXPECT_EQ(JoinOps(calls), want + " BitmapWriteBand BitmapEnd");
    // SetFrame, SetUnits (1, 0.26458 mm as bits), SetWindow, PictureStartDrawing, WriterGetError,
    // SetPalette and BitmapBegin.
    // clang-format off
    const std::vector<std::vector<int64_t>> args = {
        {0, 0, 3, 10}, {1, 0x3FD0EEEEEEEEEEEE}, {0, 0, 3, 10}, {}, {1, 0, 0}, {0, 4},
        {0, 10, 3, 0, 3, 10, 3, 10, -8, 0, 1, 3, 0}};
    // clang-format on
    for (size_t i = 0; i < args.size(); ++i) EXPECT_EQ(calls[i].args, args[i]) << calls[i].op;
    // Each row's progress is the share of the input read up to the row's closing quote.
    size_t at = 0;
    for (int line = 0; line < 5; ++line) at = text.find('\n', at) + 1;  // values, colours
    for (size_t row = 0; row < 10; ++row) {
        at = text.find('"', text.find('"', at) + 1) + 1;
        EXPECT_EQ(calls[7 + 2 * row].args[3], static_cast<int64_t>(at * 100 / text.size()))
            << "row " << row;
    }
}

TEST(Xpm, EveryTruncationEndsCleanly) {
    const XpmPattern p = MakePattern({.width = 5, .height = 3, .colors = 4, .charsPerPixel = 2});
    const std::string text = p.Body();
    for (size_t cut = text.find('\n') + 1; cut <= text.size(); ++cut) {
        const Outcome got = Decode(text.substr(0, cut));
        const bool whole = cut >= text.rfind('"');  // the last row's last code is in
        EXPECT_EQ(got.result, whole ? 0 : -1) << "cut at " << cut;
        EXPECT_EQ(got.ops.ends_with("BitmapEnd"), whole) << "cut at " << cut;
        EXPECT_TRUE(!whole || got.pixels == Rows(p, 5)) << "cut at " << cut << ": pixels differ";
    }
}

TEST(Xpm, PicturesDoNotDependOnHowReadsAreChunked) {
    struct Case {
        PatternShape picture;
        std::vector<std::vector<int64_t>> bands = {};  // rows as 16 bits, top, bottom; {}: any
    };
    // The paged table for 2 characters, hashed codes of more than 8 and of 39 characters, rows
    // of several read blocks, more than 256 colours; bands of at most 32768 pixels, the first at
    // the top, and coordinates as 16 bits (1 character: a direct table).
    const Case cases[] = {
        {{260, 260, 300, 2}},
        {{2000, 2, 700, 9}},
        {{7, 5, 40, 39}},
        {{100, 1000, 3, 1}, {{327, 1000, 673}, {327, 673, 346}, {327, 346, 19}, {19, 19, 0}}},
        {{100, 328, 3, 1}, {{327, 328, 1}, {1, 1, 0}}},
        {{32768, 2, 3, 1}, {{1, 2, 1}, {1, 1, 0}}},
        {{1, 40000, 3, 1}, {{-32768, -25536, 7232}, {7232, 7232, 0}}},
    };
    for (const auto& [picture, bands] : cases) {
        const XpmPattern p = MakePattern(picture);
        const int16_t width = int16_t(picture.width);
        for (int32_t chunk : {0, 1, 5, 4093}) {
            const std::string name =
                testing::PrintToString(p.strings[0]) + ", reads of " + std::to_string(chunk);
            std::vector<Call> calls;
            const Outcome got = Decode(p.Body(), chunk, {}, &calls);
            EXPECT_EQ(got.result, 0) << name;
            EXPECT_EQ(Reading::seeks_, 2 + picture.height)
                << name << ": a query and a return around the key scan, a query a row";
            EXPECT_TRUE(got.pixels == Rows(p, picture.width)) << name << ": pixels differ";
            EXPECT_EQ(got.palette, Palette(p)) << name;
            std::vector<std::vector<int64_t>> gotBands;
            for (const Call& call : calls) {
                if (call.op != "BitmapWriteBand") continue;
                gotBands.push_back({call.args[7], call.args[1], call.args[3]});
                const std::vector<int64_t> place{call.args[0], call.args[2], call.args[4],
                                                 call.args[5], call.args[6], call.args[8],
                                                 call.args[9]};
                EXPECT_EQ(place,
                          (std::vector<int64_t>{0, width, width, call.args[1], width, -8, 1}))
                    << name << ": x1 x2 x3 y3, the band's width, indexed pixels and 1";
            }
            EXPECT_TRUE(bands.empty() || gotBands == bands)
                << name << ": bands " << testing::PrintToString(gotBands) << ", want "
                << testing::PrintToString(bands);
        }
    }
}

TEST(Xpm, WordsUpToTheClosingQuote) {
    struct Case {
        const char* name;
        std::string in;                  // what follows the opening quote
        int32_t slots = 7, count;        // the room given, the words stored
        std::vector<std::string> words;  // the first slots, each up to its zero
        size_t left = 0;                 // bytes left unread
    };
    // clang-format off
    const Case cases[] = {
        {.name = "two words", .in = "ab cd\"rest", .count = 2, .words = {"ab", "cd"}, .left = 4},
        {.name = "whitespace only", .in = " \t  \t\"", .count = 0, .words = {}},
        {.name = "trailing whitespace leaves an empty word after the last", .in = "  a  \"",
         .count = 1, .words = {"a", ""}},
        // The last word the room takes: a byte past the cut would land in the next slot.
        {.name = "a long word is cut", .in = std::string(45, 'w') + " b\"", .slots = 1, .count = 1,
         .words = {std::string(39, 'w')}},
        {.name = "words past the room are dropped", .in = "1 2 3 4 5 6 7 8 9\"tail", .count = 7,
         .words = {"1", "2", "3", "4", "5", "6", "7"}, .left = 4},
        {.name = "whitespace is tab, line feed, return and space only",
         .in = "1,2\f3\v4\xa0 {x}\"", .count = 2, .words = {"1,2\f3\v4\xa0", "{x}"}},
        {.name = "an unfinished word is not counted", .in = "ab cd", .count = 1, .words = {"ab"}},
        {.name = "no room", .in = "a b c\"x", .slots = 0, .count = 0, .words = {}, .left = 1},
        {.name = "the room given", .in = "a b c d e f g h i j k l\"", .slots = 10, .count = 10},
    };
    // clang-format on
    for (const Case& c : cases) {
        Reading r(c.in);
        xpmfilter::WordSlot slots[12];
        std::memset(slots, 'Z', sizeof slots);  // to see which bytes get written
        EXPECT_EQ(xpmfilter::ReadWordsToQuote(r.stream, c.slots, slots), c.count) << c.name;
        std::vector<std::string> got;
        for (size_t i = 0; i < c.words.size(); ++i)
            got.emplace_back(slots[i], strnlen(slots[i], 40));
        EXPECT_EQ(got, c.words) << c.name;
        EXPECT_EQ(std::string(slots[c.slots], 40), std::string(40, 'Z'))
            << c.name << ": written past the slots";
        EXPECT_EQ(r.Remaining(), c.left) << c.name << ": bytes left";
    }
}

// (No input, a byte-order mark and XPM2 are xpmimport's bad inputs, end to end.)
TEST(Xpm, HeaderCheck) {
    struct Case {
        const char* name;
        std::string in;
        int32_t want = -1;
        size_t left = 0;  // bytes left unread
    };
    // clang-format off
    const Case cases[] = {
        {.name = "the header", .in = "/* XPM */\nstatic", .want = 0, .left = 6},
        {.name = "tabs", .in = "/*\tXPM\t*/\t", .want = 0},
        {.name = "any case", .in = "/* xPm */\r\n", .want = 0, .left = 1},
        {.name = "no space after /*", .in = "/*XPM */\n"},
        {.name = "no space before */", .in = "/* XPM*/\n"},
        {.name = "two spaces: an empty word", .in = "/*  XPM */\n", .left = 3},
        {.name = "a line before", .in = "\n/* XPM */\n", .left = 3},
        {.name = "nothing after */", .in = "/* XPM */"},
        {.name = "a vertical tab is no whitespace", .in = "/*\vXPM */\n"},
        {.name = "a word of 39 bytes", .in = std::string(39, 'x') + " XPM */\n"},
        {.name = "at most 40 bytes a word", .in = std::string(40, 'x') + " XPM */\n", .left = 8},
    };
    // clang-format on
    for (const Case& c : cases) {
        Reading r(c.in);
        EXPECT_EQ(xpmfilter::CheckXpmHeader(r.stream), c.want) << c.name;
        EXPECT_EQ(r.Remaining(), c.left) << c.name << ": bytes left";
    }
}

// The values line's numbers as they stand (the driver judges them, but for the -1 that marks
// codes too long to hold), and its hot spot: six words give one, five only its column, and an
// extension marker none.
TEST(Xpm, ValuesLine) {
    struct Case {
        const char* name;
        std::string in;
        std::vector<int32_t> want;  // width, height, colours, chars per pixel, x, y, hot spot
        int32_t result = 0;
    };
    // clang-format off
    const Case cases[] = {
        {.name = "the first quoted string", .in = "x\n\"1 2 3 4\"\"7\"",
         .want = {1, 2, 3, 4, 0, 0, 0}},
        {.name = "a hot spot", .in = "\"16 16 4 1 3 5\"", .want = {16, 16, 4, 1, 3, 5, 1}},
        {.name = "an extension marker: no hot spot", .in = "\"16 16 4 1 3 5 XPMEXT\"",
         .want = {16, 16, 4, 1, 0, 0, 0}},
        {.name = "half a hot spot", .in = "\"16 16 4 1 7\"", .want = {16, 16, 4, 1, 7, 0, 0}},
        {.name = "commas are no whitespace", .in = "\"1,2,3,4\"", .want = {1, 0, 0, 0, 0, 0, 0}},
        {.name = "no quote at all", .in = "no quote at all", .want = {0, 0, 0, 0, 0, 0, 0}},
        {.name = "40 chars per pixel", .in = "\"1 1 1 40\"", .want = {1, 1, 1, 40, 0, 0, 0}},
        {.name = "41 chars per pixel", .in = "\"1 1 1 41\"", .want = {1, 1, 1, 41, 0, 0, 0},
         .result = -1},
        {.name = "numbers as atoi reads them", .in = "\"+8 -3 2x 0x10\"",
         .want = {8, -3, 2, 0, 0, 0, 0}},
        // Out of range: held at the 64-bit limits, then cut to 32 bits, as atoi does here.
        {.name = "beyond 32 bits", .in = "\"99999999999 -99999999999 2147483648 4294967337\"",
         .want = {1215752191, -1215752191, -2147483647 - 1, 41, 0, 0, 0}, .result = -1},
        {.name = "beyond 64 bits",
         .in = "\"99999999999999999999 -99999999999999999999 -2147483649 1\"",
         .want = {-1, 0, 2147483647, 1, 0, 0, 0}},
    };
    // clang-format on
    for (const Case& c : cases) {
        Reading r(c.in);
        xpmfilter::XpmValues v{-9, -9, -9, -9, -9, -9, -9};
        EXPECT_EQ(xpmfilter::ReadValuesLine(r.stream, v), c.result) << c.name << ", from " << c.in;
        const std::vector<int32_t> got{v.width, v.height, v.ncolors,   v.charsPerPixel,
                                       v.xHot,  v.yHot,   v.hasHotspot};
        EXPECT_EQ(got, c.want) << c.name << ", from " << c.in;
        EXPECT_EQ(r.Remaining(), c.in.ends_with("\"7\"") ? 3u : 0u) << c.name << ": bytes left";
    }
}

TEST(Xpm, InputLengthAndProgressPercent) {
    Reading r("0123456789");
    char byte;
    ASSERT_EQ(xpmfilter::Gdi().StreamRead(r.stream, &byte, 1), 1);
    xpmfilter::MeasureInput(r.stream, r.import);
    EXPECT_EQ(r.import.inputSize, 10);
    EXPECT_EQ(r.Remaining(), 9u) << "the position is kept";
    // From here every seek answers `position` (-1 is a stream that cannot tell) but one to the
    // end, which finds 10 bytes.
    static int32_t position;
    r.table.StreamSeek = [](StreamHandle, int32_t, int32_t origin) {
        return origin == 2 ? 10 : position;
    };
    position = -1;
    xpmfilter::MeasureInput(r.stream, r.import);
    EXPECT_EQ(r.import.inputSize, -1);
    struct Case {
        int32_t size, position, percent;
    };
    // clang-format off
    const Case cases[] = {
        // An empty input is done; a share is cut down, reckoned in 64 bits, and negative for
        // a size that could not be told.
        {.size = 0, .position = 0, .percent = 100}, {.size = 200, .position = 199, .percent = 99},
        {.size = 60000000, .position = 30000000, .percent = 50},
        {.size = -1, .position = 7, .percent = -700},
    };
    // clang-format on
    for (const Case& c : cases) {
        r.import.inputSize = c.size;
        position = c.position;
        xpmfilter::UpdateProgressPercent(r.stream, r.import);
        EXPECT_EQ(r.import.progressPercent, c.percent)
            << "position " << c.position << " of " << c.size;
    }
}

// Colour definitions read with a table of names of our own.
TEST(Xpm, NamesOfSeveralWordsAreTriedCutAndJoined) {
    // A name is cut to 40 characters over two words, to 49 over three.
    const std::string v39(39, 'v'), three = "aaaaa " + std::string(39, 'w') + " zzzzzzzzzz",
                                    cut49 = "aaaaa " + std::string(34, 'w') + " zzzzzzzz";
    struct Case {
        const char* name;
        std::string words, known;  // after "x c "; the one other name known
        bool found;
    };
    // clang-format off
    const Case cases[] = {
        {.name = "a trailing empty word joined", .words = "foo", .known = "foo ", .found = true},
        {.name = "two empty words joined", .words = "foo", .known = "foo  ", .found = true},
        {.name = "three empty words are not", .words = "foo", .known = "foo   ", .found = false},
        {.name = "four words never join", .words = "a b c d", .known = "a b c d", .found = false},
        {.name = "two words cut to 40", .words = v39 + " abc", .known = v39 + " ", .found = true},
        {.name = "not cut to 41", .words = v39 + " abc", .known = v39 + " a", .found = false},
        {.name = "three words cut to 49", .words = three, .known = cut49, .found = true},
        {.name = "three words not cut to 50", .words = three, .known = cut49 + "z", .found = false},
    };
    // clang-format on
    for (const Case& c : cases) {
        // Two more definitions, so that keys fall at both parities.
        Reading r("\"x c " + c.words + "\"\n\"z c #000000\"\n\"y c #000000\"\n");
        const xpmfilter::NamedColor table[2] = {{"other", 1, 1, 1}, {c.known.c_str(), 10, 20, 30}};
        xpmfilter::ColorKeyEntry entries[2] = {};
        const int32_t got =
            xpmfilter::ReadColorDefinitions(r.import, r.stream, {1, 1, 2, 1}, entries, table, 2);
        EXPECT_EQ(got, c.found ? 0 : -1) << c.name;
        EXPECT_EQ(entries[1].value, c.found ? 1 : 0) << c.name << ": an entry holds its position";
    }
}

#if !defined(_WIN32)
// Every allocation of a decode failed in turn: the picture comes out whole (the code index falls
// back to the plain scan; a palette that gets no memory is reported and left out) or the decode
// reports 27. The writer calls allocate nothing here, so the numbering is the decoder's own.
TEST(Xpm, EachFailedAllocationGivesThePictureOr27) {
    static std::vector<uint8_t> bands;
    static int reports27, palettes;
    xpmfilter::GraphicsLibrary table = RecordingLibrary().Table();
    const auto nothing = [](auto...) {};
    table.SetFrame = table.SetWindow = nothing;
    table.SetUnits = nothing;
    table.PictureStartDrawing = table.BitmapEnd = table.WriterAbort = nothing;
    table.BitmapBegin = nothing;
    table.WriterGetError = [](WriterHandle, int32_t, uint32_t* flag, int16_t*) { *flag = 0; };
    table.SetPalette = [](auto...) { ++palettes; };
    table.BitmapWriteBand = [](auto, auto, const BitmapSize* size, auto, auto,
                               const uint8_t* rows) {
        bands.insert(bands.end(), rows, rows + (size->width + 3) / 4 * 4 * size->rows);
    };
    const VrStatusProc count27 = [](uint64_t, uint32_t kind, uint32_t code, uint32_t, uint32_t,
                                    uint32_t, const uint64_t*) {
        if (kind == 3 && code == 27) ++reports27;
        return 0;
    };
    StatusSink sink{.statusProc = reinterpret_cast<uint64_t>(count27)};
    xpmfilter::BindGraphicsLibrary(&table);
    // No code, one character (a direct table), two (paged), three (hashed), and three with the
    // last pixel's code undefined, which no index, nor the plain scan without one, may decode.
    for (const auto& [shape, undefined] : {std::pair{PatternShape{9, 3, 1, 0}, false},
                                           {PatternShape{9, 3, 60, 1}, false},
                                           {PatternShape{9, 3, 200, 2}, false},
                                           {PatternShape{9, 3, 70, 3}, false},
                                           {PatternShape{9, 3, 70, 3}, true}}) {
        XpmPattern p = MakePattern(shape);
        if (undefined) p.strings.back().replace(3 * 8, 3, "~~~");
        const std::string text = p.Body();
        // No pixels are wanted from a picture with an undefined code.
        const std::vector<int> want = undefined ? std::vector<int>{} : Rows(p, shape.width);
        for (uint64_t n = 0;; ++n) {
            const char* at = text.data();
            const StreamSource source{uintptr_t(&at), uint32_t(text.size())};
            bands.clear();
            bands.reserve(want.size());
            reports27 = palettes = 0;
            StreamHandle stream = ::StreamOpen(nullptr, &source, 0);
            xpmfilter::XpmValues values{};
            (void)xpmfilter::ReadValuesLine(stream, values);
            xpmfilter::ImportContext import{.statusSink = &sink};
            int32_t result = -99;
            const bool reached = xpmfault::FailDuring(xpmfault::Kind::kAllocation, n, [&] {
                result = xpmfilter::DecodeXpmImage(import, stream, values);
            });
            ::StreamClose(stream);
            const std::string name = p.strings[0] + ", allocation " + std::to_string(n);
            EXPECT_TRUE(result == 27 || result == (want.empty() ? -1 : 0))
                << name << ": result " << result;
            EXPECT_TRUE(result != 0 || std::vector<int>(bands.begin(), bands.end()) == want)
                << name << ": the pixels differ";
            EXPECT_EQ(reports27, result == 27 || palettes == 0 ? 1 : 0)
                << name << ": result " << result << ", a palette sent " << palettes << " times";
            if (!reached) break;
        }
    }
    xpmfilter::BindGraphicsLibrary(nullptr);
}
#endif

// The plain scan, which decodes the rows when no index can be had: the first entry equal in 8
// characters, its position kept to 8 bits.
TEST(Xpm, CodeScanFindsTheFirstEntryEqualIn8Characters) {
    std::vector<std::string> codes = {"abcdefgh10", "abcdefgh20", "q", "", "q", "A"};
    for (int i = 0; i < 300; ++i) codes.push_back({'#', char('0' + i / 64), char('0' + i % 64)});
    std::vector<xpmfilter::ColorKeyEntry> table(codes.size());
    for (size_t i = 0; i < codes.size(); ++i)
        std::strncpy(table[i].code, codes[i].c_str(), sizeof table[i].code - 1);
    struct Case {
        std::string code;
        int want;  // the position, -1: not found
    };
    // clang-format off
    const Case cases[] = {
        {.code = "abcdefgh20", .want = 0}, {.code = "abcdefg", .want = -1},
        {.code = "q", .want = 2}, {.code = "A", .want = 5}, {.code = codes[305], .want = 305 % 256},
    };
    // clang-format on
    for (const Case& c : cases) {
        uint8_t found = 0xEE;
        EXPECT_EQ(
            xpmfilter::FindColorKey(c.code.c_str(), table.data(), int32_t(codes.size()), &found),
            c.want < 0 ? -1 : 0)
            << c.code;
        EXPECT_EQ(found, c.want < 0 ? 0xEE : c.want) << c.code << ": the position";
    }
    uint8_t found = 0xEE;
    EXPECT_EQ(xpmfilter::FindColorKey("abcdefgh10", table.data(), 0, &found), -1) << "no entries";
}

}  // namespace
}  // namespace xpmtest
