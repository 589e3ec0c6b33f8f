// The decoder from the values line on, against the recording library: XPM text in, the
// result code, the reports, the writer calls, the palette and the pixel indices out.
#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "xpm/header_values.h"
#include "xpm/image_decoder.h"
#include "xpm_test_support.h"

#if XPMFILTER_HAVE_LIBXPM
#include <X11/xpm.h>
#endif

namespace xpmtest {
namespace {

using namespace std::string_literals;

struct Decoded {
    int32_t result = 0;
    std::string ops;               // writer calls, without WriterGetError and the bands
    std::vector<int32_t> reports;  // codes of kind-3 status calls
    std::vector<int> palette;      // SetPalette's count, then each entry as 0xRRGGBB
    std::vector<uint8_t> pixels;   // every band's rows, first band first
    std::vector<Call> calls;
};

// Reads the values line of `text`, then decodes the rest with the input measured.
Decoded Decode(const std::string& text, int32_t chunk = 0, const std::function<void(RecordingLibrary&)>& script = {}) {
    Reading r(text, chunk);
    if (script) script(r.fake);
    xpmfilter::XpmValues values{};
    (void)xpmfilter::ReadValuesLine(r.stream, values);
    r.setup.inputSize = static_cast<int32_t>(text.size());
    r.fake.calls.clear();
    Decoded d{xpmfilter::DecodeXpmImage(r.setup, r.stream, values)};
    for (const Call& call : d.calls = r.fake.calls) {
        if (call.op == "Status" && call.args[1] == 3) d.reports.push_back(static_cast<int32_t>(call.args[2]));
        if (call.op == "BitmapWriteBand") d.pixels.insert(d.pixels.end(), call.data.begin(), call.data.end());
        if (call.op == "Status" || call.op == "WriterGetError" || call.op == "BitmapWriteBand") continue;
        d.ops += (d.ops.empty() ? "" : " ") + call.op;
        if (call.op != "SetPalette") continue;
        d.palette.push_back(static_cast<int>(call.args[1]));
        for (size_t at = 0; at < call.data.size(); at += sizeof(PaletteEntry)) {
            PaletteEntry e;
            std::memcpy(&e, call.data.data() + at, sizeof e);
            d.palette.push_back((e.red | e.green | e.blue) > 255 ? -1 : int(e.red << 16 | e.green << 8 | e.blue));
        }
    }
    return d;
}

// How far the writer calls got: none, the picture set up, the palette and the bitmap begun
// (the rows may follow), the bitmap ended.
const char* const kNone = "";
const char* const kHead = "SetFrame SetUnits SetWindow PictureStartDrawing";
const char* const kBody = "SetFrame SetUnits SetWindow PictureStartDrawing SetPalette BitmapBegin";
const char* const kDone = "SetFrame SetUnits SetWindow PictureStartDrawing SetPalette BitmapBegin BitmapEnd";

struct Case {
    std::string text;  // from the values line on
    int32_t result;
    std::vector<int32_t> reports;
    const char* ops;
    std::vector<int> palette;     // a prefix of Decoded::palette
    std::vector<uint8_t> pixels;  // a prefix of Decoded::pixels
};

// One definition with `cpp` characters per pixel (two more follow, whose keys fall at an even
// and an odd word count, so the colour-key scan passes whatever the first holds) and a
// one-pixel picture of its code. rgb -1: the colour cannot be read.
Case Def(const std::string& definition, int rgb, int cpp = 1) {
    const std::string text = "\"1 1 3 " + std::to_string(cpp) + "\",\n\"" + definition + "\",\n\"" + std::string(cpp, 'z') +
                             " c #000000\",\n\"" + std::string(cpp, 'y') + " c #000000\",\n\"" + definition.substr(0, cpp) + "\"";
    if (rgb < 0) return {text, -1, {-23}, kHead, {}, {}};
    return {text, 0, {}, kDone, {3, rgb, 0, 0}, {0}};
}

// n definitions of "aa" and a last one of "zz", and a row of both codes.
std::string Repeated(int n) {
    std::string text = "\"2 1 " + std::to_string(n) + " 2\",\n";
    for (int i = 1; i < n; ++i) text += "\"aa c #0000FF\",\n";
    return text + "\"zz c red\",\n\"aazz\"";
}

TEST(Decoder, TextToResultPaletteAndPixels) {
    std::string many = "\"4 1 300 2\",\n";  // 300 codes from "##", colours by position
    std::vector<int> manyPalette = {300};
    for (int i = 0; i < 300; ++i) {
        char line[40];
        std::snprintf(line, sizeof line, "\"%c%c c #%02X%02X%02X\",\n", '#' + i / 90, '#' + i % 90, i % 256, i * 7 % 256, i / 256);
        many += line;
        manyPalette.push_back((i % 256) << 16 | (i * 7 % 256) << 8 | i / 256);
    }
    many += "\"##%n%o&@\"";  // positions 0, 255, 256, 299
    const Case cases[] = {
        Def("a c #FF8000", 0xFF8000), Def("a c #09afAF", 0x09AFAF), Def("b c NoNe", 0),
        Def("x c dark slate gray", 0x2F4F4F), Def("x c dark slate gray s border", 0x2F4F4F),
        Def("x c light goldenrod yellow", 0xEEDD82),  // the shortest candidate that is a name wins
        Def("x c LightGoldenrodYellow", 0xFAFAD2), Def("x c white smoke", 0xFFFFFF), Def("x c ALICEBLUE", 0xF0F8FF),
        Def("x m white", 0), Def("x m white c red", 0xFF0000), Def("x C red", 0xFF0000),
        Def("x s c", 0), Def("x c", 0), Def("x s c red", 0),  // keys and values go in pairs
        Def("x m c c red", 0xFF0000), Def("x c s c red", -1),
        Def("  c blue", 0x0000FF, 2), Def("\t\tc blue", 0x0000FF, 2), Def("ab  c   #0000FF\t ", 0x0000FF, 2),
        Def("abcdefgh01 c red", 0xFF0000, 10), Def("c red", 0xFF0000, 0),
        // Six digits are always read, a non-hex byte (a zero one too) counting as -1 and each
        // component keeping its low 8 bits; 9 or 12 hex digits give the leading two of each.
        Def("x c #abc", 0xABBFEF), Def("x c #12345", 0x12344F), Def("x c #1234567", 0x123456),
        Def("x c #", 0xEFEFEF), Def("x c #/:@G`g", 0xEFEFEF), Def("x c #FFF000888", 0xFF0088),
        Def("x c #FFFF00008000", 0xFF0080), Def("x c #12345678901Z", 0x123456),
        Def("x c #12\0" "456"s, 0x12F456), Def("x c #\0" "ABCDE"s, 0xFABCDE), Def("x c #123456789\0" "ab"s, 0x123456),
        Def("x c nosuchcolour", -1), Def("x c gray101", -1),
        // The colour-key scan: a lower-case "c" at an even word count, running on across
        // strings; an empty string ends a pass; no pass at all for no colours.
        {"\"1 1 1 1\",\n\"a c #FFFFFF\"\n\"a\"", -1, {}, kHead, {}, {}},
        {"\"1 1 2 1\",\n\"a C #FFFFFF\",\n\"b C #000000\",\n\"a\"", -1, {}, kHead, {}, {}},
        {"\"1 1 1 1\",\n\"a b c\",\n\"a\"", 0, {}, kDone, {1, 0}, {0}},
        {"\"1 1 1 1\",\n\"a b cd\",\n\"a\"", 0, {}, kDone, {1, 0}, {0}},
        {"\"1 1 1 1\",\n\"ab cd\",\n\"a\"", -1, {}, kHead, {}, {}},
        {"\"1 1 1 1\",\n\"\" \"a c red\",\n\"a\"", -1, {}, kHead, {}, {}},
        {"\"1 1 3 1\",\n", -1, {}, kHead, {}, {}},
        {"\"2 1 0 1\",\n\"a c red\",\n\"aa\"", -1, {}, kHead, {}, {}},
        // Palettes: every definition in order; the count goes as 16 bits; indices keep 8 bits.
        {many, 0, {}, kDone, manyPalette, {0, 255, 0, 43}},
        {Repeated(65536), 0, {}, kDone, {0}, {0, 255}},
        {Repeated(65537), 0, {}, kDone, {1, 0x0000FF}, {0, 0}},
        {"\"5 1 5 1\",\n\"a c #FFFFFF\",\n\"b c red\",\n\"d c #0", -1, {}, kBody, {5, 0xFFFFFF, 0xFF0000, 0, 0, 0}, {}},
        // Pixel codes: the first definition equal in 8 characters, letter case counting, a zero
        // byte ending a code as it ends a string; whatever follows the codes is skipped.
        {"\"2 1 3 10\",\n\"abcdefgh01 c red\",\n\"abcdefgh02 c blue\",\n\"zzzzzzzzzz c green\",\n\"abcdefgh02abcdefgh01\"",
         0, {}, kDone, {}, {0, 0}},
        {"\"3 1 3 1\",\n\"a c red\",\n\"b c blue\",\n\"a c green\",\n\"aba\"", 0, {}, kDone, {}, {0, 1, 0, 0}},
        {"\"2 1 2 2\",\n\"   c blue\",\n\"xx c red\",\n\"xx  \"", 0, {}, kDone, {}, {1, 0, 0, 0}},
        {"\"2 1 2 1\",\n\"a c red\",\n\"A c blue\",\n\"Aa\"", 0, {}, kDone, {}, {1, 0}},
        {"\"2 2 2 1\",\n\"a c red\",\n\"b c blue\",\n\"abEXTRA\" /* comment */,\n// more\n\"ba\"", 0, {}, kDone, {},
         {0, 1, 0, 0, 1, 0, 0, 0}},
        {"\"3 2 2 0\",\n\"c red\",\n\"c blue\",\n\"whatever\",\n\"\"", 0, {}, kDone, {}, {0, 0, 0, 0, 0, 0, 0, 0}},
        {"\"4 1 3 2\",\n\"ab c red\",\n\"a\0 c blue\",\n\"\0\0 c green\",\n\"a\0ab\0x\0\0\""s, 0, {}, kDone, {}, {1, 0, 2, 2}},
        {"\"3 1 3 3\",\n\"abc c red\",\n\"ab\0 c blue\",\n\"\0bc c green\",\n\"ab\0abcab\0\""s, 0, {}, kDone, {}, {1, 0, 1}},
        {"\"3 1 2 1\",\n\"a c red\",\n\"b c blue\",\n\"bab", 0, {}, kDone, {}, {1, 0, 1}},
        {"\"2 1 2 1\",\n\"a c red\",\n\"b c blue\",\n\"a\0\""s, -1, {}, kBody, {}, {}},
        {"\"2 1 2 1\",\n\"a c red\",\n\"b c blue\",\n\"aq\"", -1, {}, kBody, {}, {}},
        {"\"3 2 2 1\",\n\"a c red\",\n\"b c blue\",\n\"ab\"", -1, {}, kBody, {}, {}},
        {"\"3 2 2 1\",\n\"a c red\",\n\"b c blue\",\n\"aba\",\n", -1, {}, kBody, {}, {}},
        {"\"3 100000 1 0\",\n\"c red\",\n\"\",\n\"\"\n", -1, {}, kBody, {}, {}},  // the rows end with the input
        // Sizes: a width that cannot be banded, a height below one band, no room for the codes;
        // code lengths the readers cannot hold are refused before anything is drawn.
        {"\"32769 1 1 1\",\n\" c red\",\n", 27, {27}, kBody, {}, {}},
        {"\"0 5 1 1\",\n\" c red\",\n", 27, {27}, kBody, {}, {}},
        {"\"-4 5 1 1\",\n\" c red\",\n", 27, {27}, kBody, {}, {}},
        {"\"100 -5 1 1\",\n\" c red\",\n", 27, {27}, kBody, {}, {}},
        {"\"100 -1000 1 1\",\n\" c red\",\n", 0, {}, kDone, {}, {}},
        {"\"32768 0 1 1\",\n\" c red\",\n", 0, {}, kDone, {}, {}},
        {"\"4 4 2000000000 1\",\n\" c red\",\n", 27, {27}, kNone, {}, {}},
        {"\"4 4 -3 1\",\n\" c red\",\n", 27, {27}, kNone, {}, {}},
        {"\"1 1 1 -1\",\n\"a c red\",\n\"a\"", -1, {}, kNone, {}, {}},
        {"\"1 1 1 40\",\n\"a c red\",\n\"a\"", -1, {}, kNone, {}, {}},
        {"\"1 1 1 41\",\n\"a c red\",\n\"a\"", -1, {}, kNone, {}, {}},
    };
    for (const Case& c : cases) {
        const Decoded d = Decode(c.text);
        const std::string name = c.text.substr(0, 60);
        EXPECT_EQ(d.result, c.result) << name;
        EXPECT_EQ(d.reports, c.reports) << name;
        EXPECT_EQ(d.ops, c.ops) << name;
        EXPECT_EQ(std::vector<int>(d.palette.begin(), d.palette.begin() + std::min(d.palette.size(), c.palette.size())), c.palette) << name;
        EXPECT_EQ(std::vector<uint8_t>(d.pixels.begin(), d.pixels.begin() + std::min(d.pixels.size(), c.pixels.size())), c.pixels) << name;
    }
}

// A picture of `colors` definitions with codes of `cpp` characters, unique, and its pixels.
struct Picture {
    std::string text;
    std::vector<uint8_t> rows;  // stride bytes a row, as the bands carry them
};
Picture Pattern(int width, int height, int colors, int cpp) {
    static const std::string kAlphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789#$%&*+-=.@";
    auto code = [&](int i) {
        std::string s;
        for (int k = 0; k < cpp; ++k, i /= int(kAlphabet.size())) s += kAlphabet[i % kAlphabet.size()];
        return s;
    };
    Picture p{"\"" + std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(colors) + " " + std::to_string(cpp) + "\",\n"};
    for (int i = 0; i < colors; ++i) p.text += "\"" + code(i) + " c #" + std::to_string(100000 + i) + "\",\n";
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

TEST(Decoder, CallsOfASmallPicture) {
    const Picture p = Pattern(3, 10, 4, 1);
    const Decoded d = Decode(p.text);
    ASSERT_EQ(d.result, 0);
    std::string want = "SetFrame SetUnits SetWindow PictureStartDrawing WriterGetError SetPalette BitmapBegin";
    for (int row = 0; row < 10; ++row) want += " Status WriterGetError";
    std::vector<std::string> ops;
    for (const Call& call : d.calls) ops.push_back(call.op);
    EXPECT_EQ(JoinOps(ops), want + " BitmapWriteBand BitmapEnd");
    const std::vector<std::vector<int64_t>> args = {{0, 0, 3, 10}, {1, 0x3FD0EEEEEEEEEEEE}, {0, 0, 3, 10}, {}, {1, 0, 0},
                                                    {0, 4}, {0, 10, 3, 0, 3, 10, 3, 10, -8, 0, 1, 3, 0}};
    for (size_t i = 0; i < args.size(); ++i) EXPECT_EQ(d.calls[i].args, args[i]) << d.calls[i].op;
    EXPECT_EQ(d.calls[27].args, (std::vector<int64_t>{0, 10, 3, 0, 3, 10, 3, 10, -8, 1}));
    EXPECT_EQ(d.pixels, p.rows);
    // Each row's progress is the share of the input read up to the row's closing quote.
    size_t at = 0;
    for (int line = 0; line < 5; ++line) at = p.text.find('\n', at) + 1;  // values, colours
    for (size_t row = 0; row < 10; ++row) {
        at = p.text.find('"', p.text.find('"', at) + 1) + 1;
        EXPECT_EQ(d.calls[7 + 2 * row].args[3], static_cast<int64_t>(at * 100 / p.text.size())) << "row " << row;
    }
}

TEST(Decoder, BandsOfAtMost32768Pixels) {
    struct Case {
        int width, height;
        std::vector<std::vector<int64_t>> bands;  // rows as 16 bits, top, bottom
    };
    const Case cases[] = {
        {100, 1000, {{327, 1000, 673}, {327, 673, 346}, {327, 346, 19}, {19, 19, 0}}},
        {100, 327, {{327, 327, 0}}},
        {100, 328, {{327, 328, 1}, {1, 1, 0}}},
        {32768, 2, {{1, 2, 1}, {1, 1, 0}}},
        {1, 40000, {{-32768, -25536, 7232}, {7232, 7232, 0}}},  // coordinates travel as 16 bits
    };
    for (const Case& c : cases) {
        const Picture p = Pattern(c.width, c.height, 3, 1);
        const Decoded d = Decode(p.text);
        const int64_t w = static_cast<int16_t>(c.width);
        std::vector<std::vector<int64_t>> got;
        for (const Call& call : d.calls)
            if (call.op == "BitmapWriteBand") got.push_back(call.args);
        std::vector<std::vector<int64_t>> want;
        for (const auto& b : c.bands) want.push_back({0, b[1], w, b[2], w, b[1], w, b[0], -8, 1});
        EXPECT_EQ(got, want) << c.width << "x" << c.height;
        EXPECT_TRUE(d.pixels == p.rows) << c.width << "x" << c.height;
    }
}

TEST(Decoder, ProgressCheckResultsEndTheRows) {
    // A stop at the third row is returned without a report; a writer error found at a row's
    // check is reported and the writer aborted.
    int progress = 0;
    const Picture p = Pattern(6, 10, 3, 1);
    const Decoded stopped = Decode(p.text, 0, [&](RecordingLibrary& fake) {
        fake.statusAnswer = [&](uint32_t kind, uint32_t, uint32_t, uint32_t) { return kind == 2 || ++progress == 3 ? 1 : 0; };
    });
    EXPECT_EQ(stopped.result, 61);
    EXPECT_EQ(progress, 3);
    EXPECT_EQ(stopped.reports, std::vector<int32_t>{});
    EXPECT_EQ(stopped.ops, kBody);
    const Decoded failed = Decode(p.text, 0, [](RecordingLibrary& fake) {
        fake.writerError = [](const std::string& op) { return std::pair<int16_t, int16_t>{op == "BitmapBegin" ? 302 : 0, 0}; };
    });
    EXPECT_EQ(failed.result, 14);
    EXPECT_EQ(failed.reports, std::vector<int32_t>{14});
    EXPECT_EQ(failed.ops, std::string(kBody) + " WriterAbort");
}

TEST(Decoder, EveryTruncationEndsCleanly) {
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

TEST(Decoder, PixelsDoNotDependOnHowReadsAreChunked) {
    // Direct tables for 1 and 2 characters, the paged one, hashed codes, rows of several read
    // blocks, more than 256 colours.
    const std::array<int, 4> cases[] = {{37, 23, 50, 3}, {300, 3, 60, 1}, {260, 260, 300, 2}, {11, 3, 9, 2}, {2000, 2, 700, 9}, {7, 5, 40, 39}};
    for (auto [width, height, colors, cpp] : cases) {
        const Picture p = Pattern(width, height, colors, cpp);
        for (int32_t chunk : {0, 1, 5, 4093}) {
            const Decoded d = Decode(p.text, chunk);
            EXPECT_EQ(d.result, 0) << width << "x" << height << " cpp " << cpp << " chunk " << chunk;
            EXPECT_TRUE(d.pixels == p.rows) << width << "x" << height << " cpp " << cpp << " chunk " << chunk;
        }
#if XPMFILTER_HAVE_LIBXPM
        // libXpm reads the same text; its indices follow the definitions' order as ours do.
        XpmImage oracle{};
        std::string text = "/* XPM */\nstatic char *x[] = {\n" + p.text;
        ASSERT_EQ(XpmCreateXpmImageFromBuffer(text.data(), &oracle, nullptr), XpmSuccess);
        for (unsigned y = 0; y < oracle.height; ++y)
            for (unsigned x = 0; x < oracle.width; ++x)
                ASSERT_EQ(p.rows[y * ((width + 3) / 4 * 4) + x], oracle.data[y * oracle.width + x] & 0xFF) << x << "," << y;
        XpmFreeXpmImage(&oracle);
#endif
    }
}

}  // namespace
}  // namespace xpmtest
