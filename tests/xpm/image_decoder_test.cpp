// The decode driver against the recording fake: the order and arguments of the library calls,
// band geometry, pixel mapping, progress and stop handling, truncated input, read chunking,
// and the pixels of libXpm as an independent oracle where it is available.
#include "xpm/image_decoder.h"

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "xpm/header_values.h"
#include "xpm_test_support.h"

#if XPMFILTER_HAVE_LIBXPM
#include <X11/xpm.h>
#endif

namespace xpmtest {
namespace {

using namespace std::string_literals;

// An image to write as XPM text: one code and colour per definition, one definition
// position per pixel, rows top first.
struct Image {
    int width = 0;
    int height = 0;
    int charsPerPixel = 1;
    std::vector<std::string> codes;
    std::vector<std::string> colors;
    std::vector<int> pixels;
};

// The text from the values line on, as the decode driver's caller leaves it to be read.
std::string XpmText(const Image& image, const std::string& betweenRows = ",\n") {
    std::string text = "\"" + std::to_string(image.width) + " " + std::to_string(image.height) +
                       " " + std::to_string(image.codes.size()) + " " +
                       std::to_string(image.charsPerPixel) + "\",\n";
    for (size_t i = 0; i < image.codes.size(); ++i)
        text += "\"" + image.codes[i] + " c " + image.colors[i] + "\",\n";
    for (int y = 0; y < image.height; ++y) {
        text += "\"";
        for (int x = 0; x < image.width; ++x)
            text += image.codes[image.pixels[static_cast<size_t>(y * image.width + x)]];
        text += "\"";
        if (y + 1 < image.height) text += betweenRows;
    }
    return text + "\n};\n";
}

// Codes of `length` characters, unique, from a readable alphabet.
std::string CodeFor(int index, int length) {
    static const char kAlphabet[] = ".#abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789@$%&*+-=";
    const int base = static_cast<int>(sizeof kAlphabet) - 1;
    std::string code;
    for (int i = 0; i < length; ++i, index /= base) code += kAlphabet[index % base];
    return code;
}

Image Pattern(int width, int height, int colors, int charsPerPixel) {
    Image image;
    image.width = width;
    image.height = height;
    image.charsPerPixel = charsPerPixel;
    for (int i = 0; i < colors; ++i) {
        image.codes.push_back(CodeFor(i, charsPerPixel));
        char hex[8];
        std::snprintf(hex, sizeof hex, "#%02X%02X%02X", i % 256, (i * 3) % 256, 255 - i % 256);
        image.colors.emplace_back(hex);
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.pixels.push_back((x * 7 + y * 13) % colors);
    return image;
}

// The rows that the bands must carry: stride bytes a row, padding 0.
std::vector<uint8_t> ExpectedRows(const Image& image, int firstRow, int rows) {
    const int stride = (image.width + 3) / 4 * 4;
    std::vector<uint8_t> bytes(static_cast<size_t>(stride * rows), 0);
    for (int r = 0; r < rows; ++r)
        for (int x = 0; x < image.width; ++x)
            bytes[static_cast<size_t>(r * stride + x)] = static_cast<uint8_t>(
                image.pixels[static_cast<size_t>((firstRow + r) * image.width + x)]);
    return bytes;
}

struct DecodeRun {
    int32_t result = 0;
    std::vector<Call> calls;

    [[nodiscard]] std::vector<const Call*> Find(const std::string& op) const {
        std::vector<const Call*> found;
        for (const Call& call : calls)
            if (call.op == op) found.push_back(&call);
        return found;
    }
    [[nodiscard]] size_t Count(const std::string& op) const { return Find(op).size(); }
    // Codes of kind-3 status reports.
    [[nodiscard]] std::vector<int32_t> Reports() const {
        std::vector<int32_t> codes;
        for (const Call* call : Find("Status"))
            if (call->args[1] == 3) codes.push_back(static_cast<int32_t>(call->args[2]));
        return codes;
    }
    // Everything the bands carried, first band first.
    [[nodiscard]] std::vector<uint8_t> BandData() const {
        std::vector<uint8_t> data;
        for (const Call* band : Find("BitmapWriteBand"))
            data.insert(data.end(), band->data.begin(), band->data.end());
        return data;
    }
};

// Reads the values line of `text`, then decodes the rest, with the input measured.
DecodeRun Decode(const std::string& text,
                 const std::function<void(RecordingLibrary&)>& script = {}, int32_t chunk = 0) {
    RecordingLibrary fake;
    fake.input = text;
    if (script) script(fake);
    TestSetup setup;
    TestStream stream(fake);
    xpmfilter::XpmValues values{};
    (void)xpmfilter::ReadValuesLine(stream, values);
    setup->inputSize = static_cast<int32_t>(text.size());
    fake.calls.clear();  // only what the decode does
    std::optional<ShortReads> reads;
    if (chunk > 0) reads.emplace(fake, chunk);
    return DecodeRun{xpmfilter::DecodeXpmImage(*setup, stream, values), fake.calls};
}

TEST(ImageDecoder, CallSequenceOfASmallImage) {
    Image image = Pattern(3, 10, 4, 1);
    const std::string text = XpmText(image);
    DecodeRun run = Decode(text);
    ASSERT_EQ(run.result, 0);

    std::vector<std::string> ops;
    for (const Call& call : run.calls) ops.push_back(call.op);
    std::string want = "SetFrame SetUnits SetWindow PictureStartDrawing WriterGetError SetPalette "
                       "BitmapBegin";
    for (int row = 0; row < 10; ++row) want += " Status WriterGetError";
    want += " BitmapWriteBand BitmapEnd";
    EXPECT_EQ(JoinOps(ops), want);

    EXPECT_EQ(run.Find("SetFrame")[0]->args, (std::vector<int64_t>{0, 0, 3, 10}));
    EXPECT_EQ(run.Find("SetWindow")[0]->args, (std::vector<int64_t>{0, 0, 3, 10}));
    EXPECT_EQ(run.Find("SetUnits")[0]->args,
              (std::vector<int64_t>{1, static_cast<int64_t>(0x3FD0EEEEEEEEEEEEull)}));
    EXPECT_EQ(run.Find("SetPalette")[0]->args, (std::vector<int64_t>{0, 4}));
    EXPECT_EQ(run.Find("BitmapBegin")[0]->args,
              (std::vector<int64_t>{0, 10, 3, 0, 3, 10, 3, 10, -8, 0, 1, 3, 0}));
    const Call* band = run.Find("BitmapWriteBand")[0];
    EXPECT_EQ(band->args, (std::vector<int64_t>{0, 10, 3, 0, 3, 10, 3, 10, -8, 1}));
    EXPECT_EQ(band->data, ExpectedRows(image, 0, 10));

    // One progress call per row, each the share of the input read up to that row's end.
    std::vector<int64_t> wantPercent;
    size_t at = 0;
    for (int line = 0; line < 1 + 4; ++line) at = text.find('\n', at) + 1;  // values, colours
    for (int row = 0; row < 10; ++row) {
        size_t close = text.find('"', text.find('"', at) + 1);
        wantPercent.push_back(static_cast<int64_t>((close + 1) * 100 / text.size()));
        at = close + 1;
    }
    std::vector<int64_t> gotPercent;
    for (const Call* status : run.Find("Status")) {
        EXPECT_EQ(status->args[1], 0) << "kind";
        EXPECT_EQ(status->args[2], 0) << "code";
        gotPercent.push_back(status->args[3]);
    }
    EXPECT_EQ(gotPercent, wantPercent);
}

TEST(ImageDecoder, BandGeometry) {
    struct Band {
        int64_t rows, top, bottom;  // rows as the 16-bit field holds them; P1.y, P2.y
    };
    struct Case {
        int width, height;
        std::vector<Band> bands;
    };
    const std::vector<Case> cases = {
        {100, 1000, {{327, 1000, 673}, {327, 673, 346}, {327, 346, 19}, {19, 19, 0}}},
        {100, 200, {{200, 200, 0}}},
        {100, 327, {{327, 327, 0}}},
        {100, 328, {{327, 328, 1}, {1, 1, 0}}},
        {32768, 2, {{1, 2, 1}, {1, 1, 0}}},
        {5, 6554, {{6553, 6554, 1}, {1, 1, 0}}},
        // Coordinates and row counts travel as 16 bits.
        {1, 40000, {{-32768, -25536, 7232}, {7232, 7232, 0}}},
    };
    for (const Case& c : cases) {
        Image image = Pattern(c.width, c.height, 3, 1);
        DecodeRun run = Decode(XpmText(image));
        const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height);
        ASSERT_EQ(run.result, 0) << name;
        auto bands = run.Find("BitmapWriteBand");
        ASSERT_EQ(bands.size(), c.bands.size()) << name << ": got " << bands.size() << " bands";
        const int64_t w16 = static_cast<int16_t>(c.width);
        int firstRow = 0;
        for (size_t b = 0; b < bands.size(); ++b) {
            const Band& want = c.bands[b];
            std::vector<int64_t> args = {0, want.top, w16, want.bottom, w16, want.top, w16, want.rows, -8, 1};
            EXPECT_EQ(bands[b]->args, args) << name << " band " << b;
            int rows = static_cast<int>(static_cast<uint16_t>(want.rows));
            // The fake copies band rows only for sizes positive as 16-bit values.
            if (w16 > 0 && want.rows > 0) {
                EXPECT_EQ(bands[b]->data, ExpectedRows(image, firstRow, rows))
                    << name << " band " << b;
            }
            firstRow += rows;
        }
        EXPECT_EQ(run.Count("BitmapEnd"), 1u) << name;
    }
}

TEST(ImageDecoder, DimensionsThatCannotBeBandedAndWorkAreasThatCannotBeHad) {
    struct Case {
        std::string values;
        int32_t result;
        bool framed;     // got as far as the frame and BitmapBegin
        bool bitmapEnd;
    };
    const std::vector<Case> cases = {
        {"\"32769 1 1 1\"", 27, true, false},
        {"\"0 5 1 1\"", 27, true, false},
        {"\"-4 5 1 1\"", 27, true, false},
        {"\"100 -5 1 1\"", 27, true, false},    // negative and shorter than one band
        {"\"100 -1000 1 1\"", 0, true, true},   // negative and longer: no band at all
        {"\"100 0 1 1\"", 0, true, true},
        {"\"32768 0 1 1\"", 0, true, true},
        {"\"4 4 2000000000 1\"", 27, false, false},  // no colour-key table
        {"\"4 4 -3 1\"", 27, false, false},
    };
    for (const Case& c : cases) {
        DecodeRun run = Decode(c.values + ",\n\" c red\",\n");
        EXPECT_EQ(run.result, c.result) << c.values << ": got " << run.result;
        EXPECT_EQ(run.Count("SetFrame"), c.framed ? 1u : 0u) << c.values;
        EXPECT_EQ(run.Count("BitmapBegin"), c.framed ? 1u : 0u) << c.values;
        EXPECT_EQ(run.Count("BitmapWriteBand"), 0u) << c.values;
        EXPECT_EQ(run.Count("BitmapEnd"), c.bitmapEnd ? 1u : 0u) << c.values;
        EXPECT_EQ(run.Reports(), c.result != 0 ? std::vector<int32_t>{c.result} : std::vector<int32_t>{}) << c.values;
    }
}

TEST(ImageDecoder, PixelCodesMapToDefinitionPositions) {
    struct Case {
        std::string name;
        std::string text;
        int32_t result;
        std::vector<uint8_t> firstRow;  // the first stride bytes of the first band
    };
    std::string many = "\"4 1 300 2\",\n";
    for (int i = 0; i < 300; ++i) many += "\"" + CodeFor(i, 2) + " c #102030\",\n";
    many += "\"" + CodeFor(0, 2) + CodeFor(255, 2) + CodeFor(256, 2) + CodeFor(299, 2) + "\"\n";
    const std::vector<Case> cases = {
        {"300 definitions", many, 0, {0, 255, 0, 43}},
        {"codes alike in 8 characters", "\"2 1 3 10\",\n\"abcdefgh01 c red\",\n"
         "\"abcdefgh02 c blue\",\n\"zzzzzzzzzz c green\",\n\"abcdefgh02abcdefgh01\"", 0,
         {0, 0, 0, 0}},
        {"two definitions with one code", "\"3 1 3 1\",\n\"a c red\",\n\"b c blue\",\n"
         "\"a c green\",\n\"aba\"", 0, {0, 1, 0, 0}},
        {"a code of two spaces", "\"2 1 2 2\",\n\"   c blue\",\n\"xx c red\",\n\"xx  \"", 0,
         {1, 0, 0, 0}},
        {"letter case counts", "\"2 1 2 1\",\n\"a c red\",\n\"A c blue\",\n\"Aa\"", 0,
         {1, 0, 0, 0}},
        {"extra characters and comments skipped",
         "\"2 2 2 1\",\n\"a c red\",\n\"b c blue\",\n\"abEXTRA\" /* comment */,\n// more\n\"ba\"",
         0, {0, 1, 0, 0}},
        {"no characters per pixel", "\"3 2 2 0\",\n\"c red\",\n\"c blue\",\n\"whatever\",\n\"\"", 0,
         {0, 0, 0, 0}},
        {"an unknown code", "\"2 1 2 1\",\n\"a c red\",\n\"b c blue\",\n\"aq\"", -1, {}},
        {"a row cut short", "\"3 2 2 1\",\n\"a c red\",\n\"b c blue\",\n\"ab\"", -1, {}},
        {"a missing row", "\"3 2 2 1\",\n\"a c red\",\n\"b c blue\",\n\"aba\",\n", -1, {}},
        {"the last closing quote missing", "\"3 1 2 1\",\n\"a c red\",\n\"b c blue\",\n\"bab", 0,
         {1, 0, 1, 0}},
        // A zero byte in a code ends it, in definitions and rows alike.
        {"zero bytes in 2-character codes", "\"4 1 3 2\",\n\"ab c red\",\n\"a\0 c blue\",\n"
         "\"\0\0 c green\",\n\"a\0ab\0x\0\0\""s, 0, {1, 0, 2, 2}},
        {"zero bytes in 3-character codes", "\"3 1 3 3\",\n\"abc c red\",\n\"ab\0 c blue\",\n"
         "\"\0bc c green\",\n\"ab\0abcab\0\""s, 0, {1, 0, 1, 0}},
        {"a zero byte is no wildcard", "\"2 1 2 1\",\n\"a c red\",\n\"b c blue\",\n\"a\0\""s,
         -1, {}},
    };
    for (const Case& c : cases) {
        DecodeRun run = Decode(c.text);
        EXPECT_EQ(run.result, c.result) << c.name << ": got " << run.result << ", want "
                                        << c.result;
        EXPECT_TRUE(run.Reports().empty()) << c.name << ": nothing may be reported";
        if (c.result != 0) {
            EXPECT_EQ(run.Count("BitmapEnd"), 0u) << c.name;
            continue;
        }
        auto bands = run.Find("BitmapWriteBand");
        ASSERT_FALSE(bands.empty()) << c.name;
        std::vector<uint8_t> first(bands[0]->data.begin(),
                                   bands[0]->data.begin() + static_cast<long>(c.firstRow.size()));
        EXPECT_EQ(first, c.firstRow) << c.name;
    }
}

TEST(ImageDecoder, ZeroCharactersPerPixelFillsRowsAndHugeHeightsEndWithTheInput) {
    DecodeRun full = Decode("\"30000 3 2 0\",\n\"c red\",\n\"c blue\",\n\"\",\n\"xyz\",\n\"\"\n");
    ASSERT_EQ(full.result, 0);
    EXPECT_EQ(full.Count("BitmapWriteBand"), 3u);
    EXPECT_EQ(full.BandData(), std::vector<uint8_t>(3u * 30000u, 0));
    // A declared height of two billion rows over a tiny input stops at the end of the input.
    // Should it not, the host stops it after a thousand rows (61, not -1).
    int progressCalls = 0;
    DecodeRun huge = Decode("\"100 2000000000 1 0\",\n\"c red\",\n\"\",\n\"\"\n", [&](RecordingLibrary& fake) {
        fake.statusAnswer = [&](uint32_t, uint32_t, uint32_t, uint32_t) { return ++progressCalls > 1000 ? 1 : 0; };
    });
    EXPECT_EQ(huge.result, -1);
    EXPECT_EQ(huge.Count("Status"), 2u);  // two rows were there
    DecodeRun coded = Decode("\"4 2000000000 1 1\",\n\"  c red\",\n\"    \",\n\"  ");
    EXPECT_EQ(coded.result, -1);
    EXPECT_EQ(coded.Count("BitmapBegin"), 1u);
    EXPECT_EQ(coded.Count("Status"), 1u);  // one whole row
    EXPECT_EQ(coded.Count("BitmapWriteBand"), 0u);
}

TEST(ImageDecoder, StopRequests) {
    struct Case {
        std::string name;
        std::function<int32_t(int progressCalls, uint32_t kind)> answer;
        int32_t result;
        size_t stopNotices;
        size_t progressCalls;
    };
    const std::vector<Case> cases = {
        {"stop, confirmed", [](int, uint32_t) { return 1; }, 61, 1, 1},
        {"stop, then go on", [](int, uint32_t kind) { return kind == 0 ? 1 : 0; }, 0, 10, 10},
        {"stop at the third row", [](int calls, uint32_t) { return calls == 3 ? 1 : 0; }, 61, 1, 3},
    };
    for (const Case& c : cases) {
        int progressCalls = 0;
        Image image = Pattern(6, 10, 3, 1);
        DecodeRun run = Decode(XpmText(image), [&](RecordingLibrary& fake) {
            fake.statusAnswer = [&](uint32_t kind, uint32_t code, uint32_t, uint32_t) {
                if (kind == 0 && code == 0) ++progressCalls;
                return c.answer(progressCalls, kind);
            };
        });
        EXPECT_EQ(run.result, c.result) << c.name;
        size_t notices = 0, progress = 0;
        for (const Call* status : run.Find("Status")) {
            notices += status->args[1] == 2;
            progress += status->args[1] == 0;
            if (status->args[1] == 2) { EXPECT_EQ(status->args[2], 61) << c.name; }
        }
        EXPECT_EQ(notices, c.stopNotices) << c.name;
        EXPECT_EQ(progress, c.progressCalls) << c.name;
        EXPECT_TRUE(run.Reports().empty()) << c.name << ": a stop is not reported here";
        EXPECT_EQ(run.Count("BitmapEnd"), c.result == 0 ? 1u : 0u) << c.name;
        // After a stop the writer is not asked for its error.
        if (c.result == 61) { EXPECT_EQ(run.calls.back().op, "Status") << c.name; }
    }
}

TEST(ImageDecoder, WriterErrorAtAProgressCheckIsReportedAndEndsTheDecode) {
    Image image = Pattern(6, 10, 3, 1);
    DecodeRun run = Decode(XpmText(image), [](RecordingLibrary& fake) {
        fake.writerError = [](const std::string& lastOp) {
            return lastOp == "BitmapBegin" ? std::pair<int16_t, int16_t>{302, 0}
                                           : std::pair<int16_t, int16_t>{0, 0};
        };
    });
    EXPECT_EQ(run.result, 14);
    EXPECT_EQ(run.Reports(), std::vector<int32_t>{14});
    EXPECT_EQ(run.Count("WriterAbort"), 1u);
    EXPECT_EQ(run.Count("BitmapWriteBand"), 0u);
    EXPECT_EQ(run.Count("BitmapEnd"), 0u);
}

TEST(ImageDecoder, EveryTruncationEndsCleanly) {
    Image image = Pattern(5, 3, 4, 2);
    const std::string text = XpmText(image, ",\n/* row */\n");
    const size_t valuesEnd = text.find('\n') + 1;
    // All pixels are in once the last row's last code is.
    const size_t pixelsEnd = text.rfind('"');
    for (size_t cut = valuesEnd; cut <= text.size(); ++cut) {
        DecodeRun run = Decode(text.substr(0, cut));
        int32_t want = cut >= pixelsEnd ? 0 : -1;
        EXPECT_EQ(run.result, want) << "cut at " << cut << " of " << text.size() << ": got "
                                    << run.result << ", want " << want;
        EXPECT_EQ(run.Count("BitmapEnd"), want == 0 ? 1u : 0u) << "cut at " << cut;
        if (want == 0) { EXPECT_EQ(run.BandData(), ExpectedRows(image, 0, 3)) << "cut at " << cut; }
    }
}

TEST(ImageDecoder, PixelsDoNotDependOnHowReadsAreChunked) {
    struct Case {
        int width, height, colors, charsPerPixel;
    };
    // Small and direct-table sizes for 1 and 2 characters, hashed codes, rows of several
    // blocks, more than 256 colours.
    const Case cases[] = {{37, 23, 50, 3}, {300, 3, 60, 1}, {260, 260, 300, 2}, {11, 3, 9, 2},
                          {2000, 2, 700, 9}, {7, 5, 40, 39}};
    for (const Case& c : cases) {
        Image image = Pattern(c.width, c.height, c.colors, c.charsPerPixel);
        const std::string text = XpmText(image);
        const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height) + ", cpp " +
                                 std::to_string(c.charsPerPixel);
        DecodeRun whole = Decode(text);
        ASSERT_EQ(whole.result, 0) << name;
        ASSERT_EQ(whole.BandData(), ExpectedRows(image, 0, c.height)) << name;
        for (int32_t chunk : {1, 2, 5, 4093}) {
            DecodeRun run = Decode(text, {}, chunk);
            EXPECT_EQ(run.result, 0) << name << ", chunk " << chunk;
            EXPECT_EQ(run.BandData(), whole.BandData()) << name << ", chunk " << chunk;
        }
    }
}

TEST(ImageDecoder, RefusesCodeLengthsTheReadersCannotHold) {
    for (int32_t charsPerPixel : {-1, 40, 41}) {
        RecordingLibrary fake;
        fake.input = "\"a c red\"";
        TestSetup setup;
        TestStream stream(fake);
        fake.calls.clear();
        xpmfilter::XpmValues values{1, 1, 1, charsPerPixel, 0, 0, 0};
        EXPECT_EQ(xpmfilter::DecodeXpmImage(*setup, stream, values), -1) << charsPerPixel;
        EXPECT_TRUE(fake.calls.empty()) << charsPerPixel;
    }
}

#if XPMFILTER_HAVE_LIBXPM
// libXpm reads the same text; its pixel indices follow the definitions' order as ours do.
TEST(ImageDecoder, PixelsAgreeWithLibXpm) {
    struct Case {
        int width, height, colors, charsPerPixel;
    };
    for (const Case& c : {Case{41, 29, 60, 1}, Case{41, 29, 200, 2}, Case{300, 300, 256, 2},
                          Case{97, 89, 4000, 3}}) {
        const int charsPerPixel = c.charsPerPixel;
        Image image = Pattern(c.width, c.height, c.colors, charsPerPixel);
        const std::string text = "/* XPM */\nstatic char *x[] = {\n" + XpmText(image);
        XpmImage oracle{};
        ASSERT_EQ(XpmCreateXpmImageFromBuffer(const_cast<char*>(text.c_str()), &oracle, nullptr), XpmSuccess);
        DecodeRun run = Decode(text.substr(text.find('"')));
        ASSERT_EQ(run.result, 0);
        std::vector<uint8_t> data = run.BandData();
        const int stride = (image.width + 3) / 4 * 4;
        int mismatches = 0;
        for (unsigned y = 0; y < oracle.height; ++y)
            for (unsigned x = 0; x < oracle.width; ++x)
                if (data[y * stride + x] != (oracle.data[y * oracle.width + x] & 0xFF)) ++mismatches;
        EXPECT_EQ(mismatches, 0) << "cpp " << charsPerPixel;
        XpmFreeXpmImage(&oracle);
    }
}
#endif

}  // namespace
}  // namespace xpmtest
