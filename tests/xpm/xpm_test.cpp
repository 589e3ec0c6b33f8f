// The XPM decoder against the recording library. The main table takes XPM text from the
// values line on to the result code, the reports, the writer calls, the palette and the pixel
// indices; the others reach what that table cannot: band geometry, truncation and read
// chunking, the byte readers' limits, the header, the values line, progress, colour names of
// several words, the colour-name table itself and code lookup by name.
#include <array>
#include <cctype>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "output/import_context.h"
#include "recording_library.h"
#include "xpm/color_definitions.h"
#include "xpm/color_key_index.h"
#include "xpm/header_values.h"
#include "xpm/image_decoder.h"
#include "xpm/tokenizer.h"

namespace xpmtest {
namespace {

using namespace std::string_literals;

// A stream over some text through the recording library (reads of at most `chunk` bytes when
// given), and an import whose status sink calls the recording library.
struct Reading {
    explicit Reading(std::string input, int32_t chunk = 0) {
        fake.input = std::move(input);
        stream = fake.Table().StreamOpen(nullptr, nullptr, 0);
        chunk_ = chunk;
        table.StreamRead = [](StreamHandle s, void* buffer, int32_t count) {
            return ::StreamRead(s, buffer, chunk_ > 0 && count > chunk_ ? chunk_ : count);
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
    static inline int32_t chunk_ = 0;
};

struct Decoded {
    int32_t result = 0;
    std::string ops;               // writer calls, without WriterGetError and the bands
    std::vector<int32_t> reports;  // codes of kind-3 status calls
    std::vector<int> palette;      // SetPalette's count, then each entry as 0xRRGGBB
    std::vector<uint8_t> pixels;   // every band's rows, first band first
    std::vector<Call> calls;
};

// Reads the values line of `text`, then decodes the rest with the input measured.
Decoded Decode(const std::string& text, int32_t chunk = 0,
               const std::function<void(RecordingLibrary&)>& script = {}) {
    Reading r(text, chunk);
    if (script) script(r.fake);
    xpmfilter::XpmValues values{};
    (void)xpmfilter::ReadValuesLine(r.stream, values);
    r.import.inputSize = static_cast<int32_t>(text.size());
    r.fake.calls.clear();
    Decoded d{xpmfilter::DecodeXpmImage(r.import, r.stream, values)};
    for (const Call& call : d.calls = r.fake.calls) {
        if (call.op == "Status" && call.args[1] == 3)
            d.reports.push_back(static_cast<int32_t>(call.args[2]));
        if (call.op == "BitmapWriteBand")
            d.pixels.insert(d.pixels.end(), call.data.begin(), call.data.end());
        if (call.op == "Status" || call.op == "WriterGetError" || call.op == "BitmapWriteBand")
            continue;
        d.ops += (d.ops.empty() ? "" : " ") + call.op;
        if (call.op == "SetPalette") d.palette.push_back(static_cast<int>(call.args[1]));
        // Each entry is three 32-bit fields, red first, each byte of them in the first byte.
        for (size_t at = 0; call.op == "SetPalette" && at < call.data.size();
             at += sizeof(PaletteEntry))
            d.palette.push_back(call.data[at] << 16 | call.data[at + 4] << 8 | call.data[at + 8]);
    }
    return d;
}

// A picture of `colors` definitions with unique codes of `cpp` characters: its text, and the
// palette and band rows (stride bytes a row) that it must give.
struct Picture {
    std::string text;
    std::vector<int> palette;
    std::vector<uint8_t> rows;
};
Picture Pattern(int width, int height, int colors, int cpp) {
    static const std::string kAlphabet =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789#$%&*+-=.@";
    auto code = [&](int i) {
        std::string s;
        for (int k = 0; k < cpp; ++k, i /= int(kAlphabet.size()))
            s += kAlphabet[i % kAlphabet.size()];
        return s;
    };
    Picture p{"\"" + std::to_string(width) + " " + std::to_string(height) + " " +
                  std::to_string(colors) + " " + std::to_string(cpp) + "\",\n",
              {colors}};
    for (int i = 0; i < colors; ++i) {
        char rgb[8];
        std::snprintf(rgb, sizeof rgb, "%06X", p.palette.emplace_back(i * 0x030507 & 0xFFFFFF));
        p.text += "\"" + code(i) + " c #" + rgb + "\",\n";
    }
    const int stride = (width + 3) / 4 * 4;
    p.rows.assign(size_t(stride) * height, 0);
    for (int y = 0; y < height; ++y) {
        p.text += "\"";
        for (int x = 0; x < width; ++x) {
            const int i = (x * 7 + y * 13) % colors;
            p.text += code(i);
            p.rows[size_t(y) * stride + x] = static_cast<uint8_t>(i);
        }
        p.text += y + 1 < height ? "\",\n/* row */\n" : "\"\n};\n";
    }
    return p;
}

// How far the writer calls got: none (""), the picture set up, the palette and the bitmap begun
// (the rows may follow), the bitmap ended.
const char* const kHead = "SetFrame SetUnits SetWindow PictureStartDrawing";
const char* const kBody = "SetFrame SetUnits SetWindow PictureStartDrawing SetPalette BitmapBegin";
const char* const kDone =
    "SetFrame SetUnits SetWindow PictureStartDrawing SetPalette BitmapBegin BitmapEnd";

struct Case {
    std::string text;  // from the values line on
    int32_t result;
    std::vector<int32_t> reports;
    std::string ops;
    std::vector<int> palette;     // a prefix of Decoded::palette
    std::vector<uint8_t> pixels;  // a prefix of Decoded::pixels
    std::function<void(RecordingLibrary&)> script = {};
};

// One definition with `cpp` characters per pixel (two more follow, whose keys fall at an even
// and an odd word count, so the colour-key scan passes whatever the first holds) and a
// one-pixel picture of its code. rgb -1: the colour cannot be read.
Case Def(const std::string& definition, int rgb, int cpp = 1) {
    const std::string text = "\"1 1 3 " + std::to_string(cpp) + "\",\n\"" + definition + "\",\n\"" +
                             std::string(cpp, 'z') + " c #000000\",\n\"" + std::string(cpp, 'y') +
                             " c #000000\",\n\"" + definition.substr(0, cpp) + "\"";
    if (rgb < 0) return {text, -1, {-23}, kHead, {}, {}};
    return {text, 0, {}, kDone, {3, rgb, 0, 0}, {0}};
}

// n definitions of "aa" and a last one of "zz", and a row of both codes.
std::string Repeated(int n) {
    std::string text = "\"2 1 " + std::to_string(n) + " 2\",\n";
    for (int i = 1; i < n; ++i) text += "\"aa c #0000FF\",\n";
    return text + "\"zz c red\",\n\"aazz\"";
}

TEST(Xpm, TextToResultPaletteAndPixels) {
    const Case cases[] = {
        Def("a c #FF8000", 0xFF8000),
        Def("a c #09afAF", 0x09AFAF),
        Def("b c NoNe", 0),
        Def("x c dark slate gray", 0x2F4F4F),
        Def("x c dark slate gray s border", 0x2F4F4F),
        Def("x c light goldenrod yellow", 0xEEDD82),  // the shortest candidate that is a name wins
        Def("x c LightGoldenrodYellow", 0xFAFAD2),
        Def("x c white smoke", 0xFFFFFF),
        Def("x c ALICEBLUE", 0xF0F8FF),
        Def("x m white", 0),
        Def("x m white c red", 0xFF0000),
        Def("x C red", 0xFF0000),
        Def("x s c", 0),
        Def("x c", 0),
        Def("x s c red", 0),  // keys and values go in pairs
        Def("x m c c red", 0xFF0000),
        Def("x c s c red", -1),
        Def("  c blue", 0x0000FF, 2),
        Def("\t\tc blue", 0x0000FF, 2),
        Def("ab  c   #0000FF\t ", 0x0000FF, 2),
        Def("abcdefgh01 c red", 0xFF0000, 10),
        Def("c red", 0xFF0000, 0),
        // Six digits are always read, a non-hex byte (a zero one too) counting as -1 and each
        // component keeping its low 8 bits; 9 or 12 hex digits give the leading two of each.
        Def("x c #abc", 0xABBFEF),
        Def("x c #12345", 0x12344F),
        Def("x c #1234567", 0x123456),
        Def("x c #", 0xEFEFEF),
        Def("x c #/:@G`g", 0xEFEFEF),
        Def("x c #FFF000888", 0xFF0088),
        Def("x c #FFFF00008000", 0xFF0080),
        Def("x c #12345678901Z", 0x123456),
        Def("x c #12\0"
            "456"s,
            0x12F456),
        Def("x c #\0"
            "ABCDE"s,
            0xFABCDE),
        Def("x c #123456789\0"
            "ab"s,
            0x123456),
        Def("x c nosuchcolour", -1),
        Def("x c gray101", -1),
        // The colour-key scan: a lower-case "c" at an even word count, running on across
        // strings; an empty string ends a pass; no pass at all for no colours.
        {"\"1 1 1 1\",\n\"a c #FFFFFF\"\n\"a\"", -1, {}, kHead, {}, {}},
        {"\"1 1 2 1\",\n\"a C #FFFFFF\",\n\"b C #000000\",\n\"a\"", -1, {}, kHead, {}, {}},
        {"\"1 1 1 1\",\n\"a b c\",\n\"a\"", 0, {}, kDone, {1, 0}, {0}},
        {"\"1 1 1 1\",\n\"a b cd\",\n\"a\"", 0, {}, kDone, {1, 0}, {0}},
        {"\"1 1 1 1\",\n\"ab cd\",\n\"a\"", -1, {}, kHead, {}, {}},
        {"\"1 1 1 1\",\n\"\" \"a c red\",\n\"a\"", -1, {}, kHead, {}, {}},
        {"\"1 1 2 0\",\n\"\",\n\"c red\",\n\"\"", 0, {}, kDone, {2, 0, 0xFF0000}, {0}},
        {"\"1 1 3 1\",\n", -1, {}, kHead, {}, {}},
        {"\"2 1 0 1\",\n\"a c red\",\n\"aa\"", -1, {}, kHead, {}, {}},
        // Palettes: the count goes as 16 bits and indices keep 8 bits; missing definitions are
        // black.
        {Repeated(65536), 0, {}, kDone, {0}, {0, 255}},
        {Repeated(65537), 0, {}, kDone, {1, 0x0000FF}, {0, 0}},
        {"\"5 1 5 1\",\n\"a c #FFFFFF\",\n\"b c red\",\n\"d c #0",
         -1,
         {},
         kBody,
         {5, 0xFFFFFF, 0xFF0000, 0, 0, 0},
         {}},
        // Pixel codes: the first definition equal in 8 characters, letter case counting, a zero
        // byte ending a code as it ends a string; whatever follows the codes is skipped.
        {"\"2 1 3 10\",\n\"abcdefgh01 c red\",\n\"abcdefgh02 c blue\",\n\"zzzzzzzzzz c "
         "green\",\n\"abcdefgh02abcdefgh01\"",
         0,
         {},
         kDone,
         {},
         {0, 0}},
        {"\"3 1 3 1\",\n\"a c red\",\n\"b c blue\",\n\"a c green\",\n\"aba\"",
         0,
         {},
         kDone,
         {},
         {0, 1, 0, 0}},
        {"\"2 1 2 2\",\n\"   c blue\",\n\"xx c red\",\n\"xx  \"", 0, {}, kDone, {}, {1, 0, 0, 0}},
        {"\"2 1 2 1\",\n\"a c red\",\n\"A c blue\",\n\"Aa\"", 0, {}, kDone, {}, {1, 0}},
        {"\"2 2 2 1\",\n\"a c red\",\n\"b c blue\",\n\"abEXTRA\" /* comment */,\n// more\n\"ba\"",
         0,
         {},
         kDone,
         {},
         {0, 1, 0, 0, 1, 0, 0, 0}},
        {"\"3 2 2 0\",\n\"c red\",\n\"c blue\",\n\"whatever\",\n\"\"",
         0,
         {},
         kDone,
         {},
         {0, 0, 0, 0, 0, 0, 0, 0}},
        {"\"4 1 3 2\",\n\"ab c red\",\n\"a\0 c blue\",\n\"\0\0 c green\",\n\"a\0ab\0x\0\0\""s,
         0,
         {},
         kDone,
         {},
         {1, 0, 2, 2}},
        {"\"3 1 3 3\",\n\"abc c red\",\n\"ab\0 c blue\",\n\"\0bc c green\",\n\"ab\0abcab\0\""s,
         0,
         {},
         kDone,
         {},
         {1, 0, 1}},
        {"\"3 1 2 1\",\n\"a c red\",\n\"b c blue\",\n\"bab", 0, {}, kDone, {}, {1, 0, 1}},
        {"\"2 1 2 1\",\n\"a c red\",\n\"b c blue\",\n\"a\0\""s, -1, {}, kBody, {}, {}},
        {"\"2 1 2 1\",\n\"a c red\",\n\"b c blue\",\n\"aq\"", -1, {}, kBody, {}, {}},
        {"\"3 2 2 1\",\n\"a c red\",\n\"b c blue\",\n\"ab\"", -1, {}, kBody, {}, {}},
        {"\"3 2 2 1\",\n\"a c red\",\n\"b c blue\",\n\"aba\",\n", -1, {}, kBody, {}, {}},
        {"\"3 100000 1 0\",\n\"c red\",\n\"\",\n\"\"\n", -1, {}, kBody, {}, {}},  // the rows end
                                                                                  // with the input
        // A stop at a row's check is returned unreported; a writer error is reported, the writer
        // aborted.
        {Pattern(6, 10, 3, 1).text,
         61,
         {},
         kBody,
         {},
         {},
         [](RecordingLibrary& f) {
             f.statusAnswer = [n = 0](uint32_t kind, uint32_t, uint32_t, uint32_t) mutable {
                 return kind == 2 || ++n == 3 ? 1 : 0;
             };
         }},
        {Pattern(6, 10, 3, 1).text,
         14,
         {14},
         std::string(kBody) + " WriterAbort",
         {},
         {},
         [](RecordingLibrary& f) {
             f.writerError = [](const std::string& op) {
                 return std::pair<int16_t, int16_t>(op == "BitmapBegin" ? 302 : 0, 0);
             };
         }},
        // Sizes: a width that cannot be banded, a height below one band, no room for the codes.
        {"\"32769 1 1 1\",\n\" c red\",\n", 27, {27}, kBody, {}, {}},
        {"\"0 5 1 1\",\n\" c red\",\n", 27, {27}, kBody, {}, {}},
        {"\"100 -5 1 1\",\n\" c red\",\n", 27, {27}, kBody, {}, {}},
        {"\"100 -1000 1 1\",\n\" c red\",\n", 0, {}, kDone, {}, {}},
        {"\"32768 0 1 1\",\n\" c red\",\n", 0, {}, kDone, {}, {}},
        {"\"4 4 2000000000 1\",\n\" c red\",\n", 27, {27}, "", {}, {}},
        {"\"4 4 -3 1\",\n\" c red\",\n", 27, {27}, "", {}, {}},
    };
    for (const Case& c : cases) {
        const Decoded d = Decode(c.text, 0, c.script);
        const std::string name = c.text.substr(0, 60);
        EXPECT_EQ(d.result, c.result) << name;
        EXPECT_EQ(d.reports, c.reports) << name;
        EXPECT_EQ(d.ops, c.ops) << name;
        EXPECT_EQ(
            std::vector<int>(d.palette.begin(),
                             d.palette.begin() + std::min(d.palette.size(), c.palette.size())),
            c.palette)
            << name;
        EXPECT_EQ(
            std::vector<uint8_t>(d.pixels.begin(),
                                 d.pixels.begin() + std::min(d.pixels.size(), c.pixels.size())),
            c.pixels)
            << name;
    }
}

TEST(Xpm, CallsOfASmallPicture) {
    const Picture p = Pattern(3, 10, 4, 1);
    const Decoded d = Decode(p.text);
    ASSERT_EQ(d.result, 0);
    std::string want =
        "SetFrame SetUnits SetWindow PictureStartDrawing WriterGetError SetPalette BitmapBegin";
    for (int row = 0; row < 10; ++row) want += " Status WriterGetError";
    std::vector<std::string> ops;
    for (const Call& call : d.calls) ops.push_back(call.op);
    EXPECT_EQ(JoinOps(ops), want + " BitmapWriteBand BitmapEnd");
    const std::vector<std::vector<int64_t>> args = {{0, 0, 3, 10},
                                                    {1, 0x3FD0EEEEEEEEEEEE},
                                                    {0, 0, 3, 10},
                                                    {},
                                                    {1, 0, 0},
                                                    {0, 4},
                                                    {0, 10, 3, 0, 3, 10, 3, 10, -8, 0, 1, 3, 0}};
    for (size_t i = 0; i < args.size(); ++i) EXPECT_EQ(d.calls[i].args, args[i]) << d.calls[i].op;
    EXPECT_EQ(d.calls[27].args, (std::vector<int64_t>{0, 10, 3, 0, 3, 10, 3, 10, -8, 1}));
    EXPECT_EQ(d.pixels, p.rows);
    // Each row's progress is the share of the input read up to the row's closing quote.
    size_t at = 0;
    for (int line = 0; line < 5; ++line) at = p.text.find('\n', at) + 1;  // values, colours
    for (size_t row = 0; row < 10; ++row) {
        at = p.text.find('"', p.text.find('"', at) + 1) + 1;
        EXPECT_EQ(d.calls[7 + 2 * row].args[3], static_cast<int64_t>(at * 100 / p.text.size()))
            << "row " << row;
    }
}

TEST(Xpm, EveryTruncationEndsCleanly) {
    const Picture p = Pattern(5, 3, 4, 2);
    for (size_t cut = p.text.find('\n') + 1; cut <= p.text.size(); ++cut) {
        const Decoded d = Decode(p.text.substr(0, cut));
        const bool whole = cut >= p.text.rfind('"');  // the last row's last code is in
        EXPECT_EQ(d.result, whole ? 0 : -1) << "cut at " << cut;
        EXPECT_EQ(d.ops.ends_with("BitmapEnd"), whole) << "cut at " << cut;
        if (whole) {
            EXPECT_EQ(d.pixels, p.rows) << "cut at " << cut;
        }
    }
}

TEST(Xpm, PicturesDoNotDependOnHowReadsAreChunked) {
    struct Case {
        int width, height, colors, cpp;
        std::vector<std::vector<int64_t>> bands =
            {};  // rows as 16 bits, top, bottom; {}: not looked at
    };
    // Direct tables for 1 and 2 characters, the paged one, hashed codes, rows of several read
    // blocks, more than 256 colours; bands of at most 32768 pixels, the first at the top.
    const Case cases[] = {
        {37, 23, 50, 3},
        {300, 3, 60, 1},
        {260, 260, 300, 2},
        {11, 3, 9, 2},
        {2000, 2, 700, 9},
        {7, 5, 40, 39},
        {100, 1000, 3, 1, {{327, 1000, 673}, {327, 673, 346}, {327, 346, 19}, {19, 19, 0}}},
        {100, 328, 3, 1, {{327, 328, 1}, {1, 1, 0}}},
        {32768, 2, 3, 1, {{1, 2, 1}, {1, 1, 0}}},
        {1,
         40000,
         3,
         1,
         {{-32768, -25536, 7232}, {7232, 7232, 0}}},  // coordinates travel as 16 bits
    };
    for (const auto& [width, height, colors, cpp, bands] : cases) {
        const Picture p = Pattern(width, height, colors, cpp);
        const std::string name =
            std::to_string(width) + "x" + std::to_string(height) + " cpp " + std::to_string(cpp);
        for (int32_t chunk : {0, 1, 5, 4093}) {
            const Decoded d = Decode(p.text, chunk);
            EXPECT_EQ(d.result, 0) << name << ", chunk " << chunk;
            EXPECT_TRUE(d.pixels == p.rows) << name << ", chunk " << chunk;
            EXPECT_EQ(d.palette, p.palette) << name << ", chunk " << chunk;
            std::vector<std::vector<int64_t>> got;
            for (const Call& call : d.calls) {
                if (call.op != "BitmapWriteBand") continue;
                got.push_back({call.args[7], call.args[1], call.args[3]});
                EXPECT_EQ((std::vector<int64_t>{call.args[0], call.args[2], call.args[4],
                                                call.args[5], call.args[6]}),
                          (std::vector<int64_t>{0, int16_t(width), int16_t(width), call.args[1],
                                                int16_t(width)}))
                    << name;
            }
            EXPECT_TRUE(bands.empty() || got == bands) << name << ", chunk " << chunk;
        }
    }
}

TEST(Xpm, WhitespaceIsTabLineFeedReturnAndSpaceOnly) {
    for (int byte = -128; byte < 128; ++byte) {
        const int want = byte == '\t' || byte == '\n' || byte == '\r' || byte == ' ' ? 1 : 0;
        EXPECT_EQ(xpmfilter::IsWhitespace(static_cast<signed char>(byte)), want) << "byte " << byte;
    }
}

TEST(Xpm, WordsUpToTheClosingQuote) {
    // What follows the opening quote, slots, words stored, the first slots up to their zero, bytes
    // left.
    const std::tuple<std::string, int32_t, int32_t, std::vector<std::string>, size_t> cases[] = {
        {"abc def\"rest", 7, 2, {"abc", "def"}, 4},
        {" \t  \t\"", 7, 0, {}, 0},
        {"  a  \"", 7, 1, {"a", ""}, 0},  // trailing whitespace leaves an empty word after the last
        {std::string(45, 'w') + " b\"", 7, 2, {std::string(39, 'w'), "b"}, 0},
        {"1 2 3 4 5 6 7 8 9\"tail", 7, 7, {"1", "2", "3", "4", "5", "6", "7"}, 4},
        {"1,2\f3\v4\xa0 {x}\"", 7, 2, {"1,2\f3\v4\xa0", "{x}"}, 0},
        {"ab cd", 7, 1, {"ab"}, 0},
        {"a b c\"x", 0, 0, {}, 1},  // an unfinished word is not counted
        {"a b c d e f g h i j k l\"", 10, 10, {"a", "b"}, 0},
    };
    for (const auto& [input, maxWords, count, words, remaining] : cases) {
        Reading r(input);
        xpmfilter::WordSlot slots[12];
        std::memset(slots, 'Z', sizeof slots);  // to see which bytes get written
        EXPECT_EQ(xpmfilter::ReadWordsToQuote(r.stream, maxWords, slots), count) << input;
        for (size_t i = 0; i < words.size(); ++i)
            EXPECT_EQ(std::string(slots[i], strnlen(slots[i], sizeof slots[i])), words[i])
                << input << ", slot " << i;
        EXPECT_EQ(std::string(slots[maxWords], sizeof slots[0]), std::string(sizeof slots[0], 'Z'))
            << input << ": past the slots";
        EXPECT_EQ(r.Remaining(), remaining) << input;
    }
}

TEST(Xpm, HeaderCheck) {
    const std::tuple<std::string, int32_t, size_t> cases[] = {
        // input, result, bytes left
        {"/* XPM */\nstatic", 0, 6},
        {"/*\tXPM\t*/\t", 0, 0},
        {"/* xPm */\r\n", 0, 1},
        {"/*XPM */\n", -1, 0},
        {"/* XPM*/\n", -1, 0},
        {"/*  XPM */\n", -1, 3},  // words run together, one empty
        {"\n/* XPM */\n", -1, 3},
        {"\xEF\xBB\xBF/* XPM */\n", -1, 0},
        {"/* XPM2 */\n", -1, 0},
        {"/* XPM */", -1, 0},
        {"", -1, 0},
        {"/*\vXPM */\n", -1, 0},
        {std::string(39, 'x') + " XPM */\n", -1, 0},
        {std::string(40, 'x') + " XPM */\n", -1, 8},  // at most 40 bytes a word
    };
    for (const auto& [input, result, remaining] : cases) {
        Reading r(input);
        EXPECT_EQ(xpmfilter::CheckXpmHeader(r.stream), result) << input;
        EXPECT_EQ(r.Remaining(), remaining) << input;
    }
    char word[40];  // a word of 40 bytes, and one cut short by the end, is -1 itself
    for (const std::string& input : {std::string(40, 'x'), std::string("XP")}) {
        Reading r(input);
        EXPECT_EQ(xpmfilter::ReadHeaderWord(r.stream, word), -1) << input;
    }
}

TEST(Xpm, CodeBytesAreRawZeroEndedAndShortOnlyAtTheEnd) {
    const std::tuple<std::string, int32_t, bool> cases[] = {
        {"  c", 2, true}, {"\"ab", 3, true}, {"abc", 0, true}, {"ab", 3, false}};
    for (const auto& [input, length, complete] : cases) {
        for (int32_t chunk : {1, 40}) {
            Reading r(input, chunk);
            char code[40];
            std::memset(code, 'Z', sizeof code);
            EXPECT_EQ(xpmfilter::ReadCodeBytes(r.stream, length, code), complete)
                << input << ", chunk " << chunk;
            EXPECT_EQ(std::string(code), input.substr(0, length)) << input << ", chunk " << chunk;
        }
    }
}

TEST(Xpm, ValuesLine) {
    // Width, height, colours, characters per pixel, hot spot x, y, whether there is one.
    const std::tuple<std::string, int32_t, std::vector<int32_t>> cases[] = {
        {"static char *x[] = {\n\"16 16 4 1\",", 0, {16, 16, 4, 1, 0, 0, 0}},
        {"\"16 16 4 1 3 5\"", 0, {16, 16, 4, 1, 3, 5, 1}},
        {"\"16 16 4 1 3 5 XPMEXT\"", 0, {16, 16, 4, 1, 0, 0, 0}},
        {"\"16 16 4 1 7\"", 0, {16, 16, 4, 1, 7, 0, 0}},
        {"\"16,16,4,1\"", 0, {16, 0, 0, 0, 0, 0, 0}},
        {"no quote at all", 0, {0, 0, 0, 0, 0, 0, 0}},
        {"\"1 1 1 40\"", 0, {1, 1, 1, 40, 0, 0, 0}},
        {"\"1 1 1 41\"", -1, {1, 1, 1, 41, 0, 0, 0}},
        {"\"+8 -3 2x 0x10\"", 0, {8, -3, 2, 0, 0, 0, 0}},
        // Out of range: held at the 64-bit limits, then cut to 32 bits, as atoi does here.
        {"\"99999999999 -99999999999 2147483648 4294967337\"",
         -1,
         {1215752191, -1215752191, -2147483647 - 1, 41, 0, 0, 0}},
        {"\"99999999999999999999 -99999999999999999999 -2147483649 1\"",
         0,
         {-1, 0, 2147483647, 1, 0, 0, 0}},
    };
    for (const auto& [input, result, want] : cases) {
        Reading r(input);
        xpmfilter::XpmValues v{-9, -9, -9, -9, -9, -9, -9};
        EXPECT_EQ(xpmfilter::ReadValuesLine(r.stream, v), result) << input;
        EXPECT_EQ((std::vector<int32_t>{v.width, v.height, v.ncolors, v.charsPerPixel, v.xHot,
                                        v.yHot, v.hasHotspot}),
                  want)
            << input;
    }
}

TEST(Xpm, InputLengthAndProgressPercent) {
    Reading r("0123456789");
    char byte;
    ASSERT_EQ(xpmfilter::Gdi().StreamRead(r.stream, &byte, 1), 1);
    xpmfilter::MeasureInput(r.stream, r.import);
    EXPECT_EQ(r.import.inputSize, 10);
    EXPECT_EQ(r.Remaining(), 9u) << "the position is kept";
    // From here every seek answers `position`: -1 is a stream that cannot tell.
    static int32_t position;
    r.table.StreamSeek = [](StreamHandle, int32_t, int32_t) { return position; };
    position = -1;
    xpmfilter::MeasureInput(r.stream, r.import);
    EXPECT_EQ(r.import.inputSize, -1);
    const std::vector<std::vector<int32_t>> cases = {// input size, position, percentage
                                                     {0, 0, 100},
                                                     {0, 5, 100},
                                                     {200, 1, 0},
                                                     {200, 199, 99},
                                                     {200, 200, 100},
                                                     {60000000, 30000000, 50},
                                                     {2147483647, 2147483647, 100},
                                                     {-1, 7, -700},
                                                     {300, -1, 0}};
    for (const auto& c : cases) {
        r.import.inputSize = c[0];
        position = c[1];
        xpmfilter::UpdateProgressPercent(r.stream, r.import);
        EXPECT_EQ(r.import.progressPercent, c[2]) << "position " << c[1] << " of " << c[0];
    }
}

// Colour definitions read with a table of names of our own, and the colour-key scan on a huge
// count: it ends with the input.
TEST(Xpm, NamesOfSeveralWordsAreTriedCutAndJoined) {
    const std::string v39(39, 'v'), w39(39, 'w');
    const std::tuple<std::string, std::string, bool> cases[] = {
        // definition, the one other name known, found
        {"x c foo", "foo ", true},
        {"x c foo", "foo  ", true},
        {"x c foo", "foo   ", false},              // empty words joined too
        {"x c a b c d", "a b c d", false},         // four words are never joined
        {"x c " + v39 + " abc", v39 + " ", true},  // two words cut to 40 characters
        {"x c " + v39 + " abc", v39 + " a", false},
        {"x c aaaaa " + w39 + " zzzzzzzzzz", "aaaaa " + w39.substr(0, 34) + " zzzzzzzz",
         true},  // three cut to 49
        {"x c aaaaa " + w39 + " zzzzzzzzzz", "aaaaa " + w39.substr(0, 34) + " zzzzzzzzz", false},
    };
    for (const auto& [definition, name, found] : cases) {
        Reading r("\"" + definition +
                  "\"\n\"z c #000000\"\n\"y c #000000\"\n");  // keys at both parities
        const xpmfilter::NamedColor table[2] = {{"other", 1, 1, 1}, {name.c_str(), 10, 20, 30}};
        xpmfilter::ColorKeyEntry entries[2] = {};
        const int32_t got = xpmfilter::ReadColorDefinitions(
            r.import, r.stream, {1, 1, 2, 1, 0, 0, 0}, entries, table, 2);
        EXPECT_EQ(got, found ? 0 : -1) << definition << " with the name \"" << name << "\"";
        EXPECT_EQ(entries[1].value, found ? 1 : 0) << "an entry holds its position";
    }
    Reading r("\"x m y\"");
    EXPECT_EQ(xpmfilter::HasColorKey(r.stream, {1, 1, 2000000000, 1, 0, 0, 0}), -1);
    EXPECT_EQ(xpmfilter::HasColorKey(r.stream, {1, 1, -5, 1, 0, 0, 0}), -1);
}

// An independent oracle: the X11 colour database of this machine, when it has one.
TEST(Xpm, ColourNamesAreTheSystemColourDatabase) {
    std::ifstream database("/usr/share/X11/rgb.txt");
    if (!database) GTEST_SKIP() << "no /usr/share/X11/rgb.txt on this machine";
    std::map<std::string, int> expected, ours;
    for (std::string line; std::getline(database, line);) {
        std::istringstream fields(line);
        int red, green, blue;
        std::string name;
        if (line.empty() || line[0] == '!' || !(fields >> red >> green >> blue) ||
            !std::getline(fields >> std::ws, name))
            continue;
        while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())))
            name.pop_back();
        if (name != "DebianRed") expected[name] = red << 16 | green << 8 | blue;
    }
    for (const auto& entry : xpmfilter::NamedColorTable)
        ours[entry.name] = entry.red << 16 | entry.green << 8 | entry.blue;
    EXPECT_EQ(ours, expected);
    EXPECT_EQ(ours.size(), size_t{xpmfilter::kNamedColorCount}) << "no name twice";
}

// Lookup of one code by name (the decoder only ever asks for the empty code this way, and
// the plain scan is only the fallback when no index can be had): the first entry equal in 8
// characters, its position kept to 8 bits.
TEST(Xpm, CodeLookupByNameIsTheScansAnswer) {
    std::vector<std::string> codes = {"abcdefgh01", "abcdefgh02", "q", "", "q", "A"};
    for (int i = 0; i < 300; ++i) codes.push_back({'#', char('0' + i / 64), char('0' + i % 64)});
    std::vector<xpmfilter::ColorKeyEntry> table(codes.size());
    for (size_t i = 0; i < codes.size(); ++i)
        std::strncpy(table[i].code, codes[i].c_str(), sizeof table[i].code - 1);
    const std::vector<std::pair<std::string, int>> cases = {
        // -1: not found
        {"abcdefgh", 0}, {"abcdefgh02", 0}, {"abcdefg", -1},
        {"q", 2},        {"", 3},           {"a", -1},
        {"A", 5},        {codes[255], 255}, {codes[305], 305 % 256},
        {"#00", 6},      {"#00x", -1}};
    for (int32_t count : {int32_t(codes.size()), 0}) {
        xpmfilter::ColorKeyIndex index(table.data(), count, count == 0 ? 1 : 3,
                                       1);  // hashed; an empty direct table
        for (const auto& [code, want] : cases) {
            uint8_t scanned = 0xEE, found = 0xEE;
            const int wanted = count == 0 ? -1 : want;
            EXPECT_EQ(xpmfilter::FindColorKey(code.c_str(), table.data(), count, &scanned),
                      wanted < 0 ? -1 : 0)
                << code;
            EXPECT_EQ(index.Find(code.c_str(), &found), wanted < 0 ? -1 : 0) << code;
            EXPECT_EQ(scanned, wanted < 0 ? 0xEE : wanted) << code;
            EXPECT_EQ(found, wanted < 0 ? 0xEE : wanted) << code;
        }
    }
}

}  // namespace
}  // namespace xpmtest
