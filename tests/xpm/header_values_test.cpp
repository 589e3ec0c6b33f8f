// The header check, the values line, the input length and the progress percentage.
#include "xpm/header_values.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "xpm_test_support.h"

namespace xpmtest {
namespace {

TEST(HeaderValues, HeaderCheck) {
    struct Case {
        std::string input;
        int32_t result;
        size_t remaining;  // bytes left unread; kAny: not checked
    };
    constexpr size_t kAny = SIZE_MAX;
    const std::vector<Case> cases = {
        {"/* XPM */\nstatic", 0, 6},
        {"/*\tXPM\t*/\t", 0, 0},
        {"/* xpm */\n", 0, 0},
        {"/* xPm */\r\n", 0, 1},
        {"/*XPM */\n", -1, kAny},             // words run together
        {"/* XPM*/\n", -1, kAny},
        {"/*  XPM */\n", -1, kAny},           // second word empty
        {"\n/* XPM */\n", -1, kAny},          // blank line first
        {"\xEF\xBB\xBF/* XPM */\n", -1, kAny},  // byte-order mark
        {"/* XPM2 */\n", -1, kAny},
        {"/* XPM */", -1, kAny},              // ends inside the third word
        {"/* XPM", -1, kAny},
        {"", -1, kAny},
        {std::string(40, 'x') + " XPM */\n", -1, 8},  // a 40-byte word is read to exactly 40 bytes
        {"/*\vXPM */\n", -1, kAny},           // a vertical tab is not whitespace
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        fake.input = c.input;
        TestStream stream(fake);
        int32_t got = xpmfilter::CheckXpmHeader(stream);
        EXPECT_EQ(got, c.result) << "header \"" << c.input << "\": got " << got << ", want " << c.result;
        if (c.remaining == kAny) continue;
        EXPECT_EQ(stream.Remaining(), c.remaining)
            << "header \"" << c.input << "\": left " << stream.Remaining() << ", want " << c.remaining;
    }
}

TEST(HeaderValues, ValuesLine) {
    struct Case {
        std::string input;
        int32_t result;
        xpmfilter::XpmValues want;
    };
    const std::vector<Case> cases = {
        {"static char *x[] = {\n\"16 16 4 1\",", 0, {16, 16, 4, 1, 0, 0, 0}},
        {"\"16 16 4 1 3 5\"", 0, {16, 16, 4, 1, 3, 5, 1}},
        {"\"16 16 4 1 3 5 XPMEXT\"", 0, {16, 16, 4, 1, 0, 0, 0}},
        {"\"16 16 4 1 XPMEXT\"", 0, {16, 16, 4, 1, 0, 0, 0}},
        {"\"16 16 4 1 7\"", 0, {16, 16, 4, 1, 7, 0, 0}},
        {"\"  16\t\t16   4 \t1  \"", 0, {16, 16, 4, 1, 0, 0, 0}},
        {"\"16,16,4,1\"", 0, {16, 0, 0, 0, 0, 0, 0}},
        {"\"16 16\"", 0, {16, 16, 0, 0, 0, 0, 0}},
        {"\"\"", 0, {0, 0, 0, 0, 0, 0, 0}},
        {"no quote at all", 0, {0, 0, 0, 0, 0, 0, 0}},
        {"\"1 1 1 40\"", 0, {1, 1, 1, 40, 0, 0, 0}},
        {"\"1 1 1 41\"", -1, {1, 1, 1, 41, 0, 0, 0}},
        {"\"1 1 1 -5\"", 0, {1, 1, 1, -5, 0, 0, 0}},
        {"\"+8 -3 2x 0x10\"", 0, {8, -3, 2, 0, 0, 0, 0}},
        // Out of range: held at the 64-bit limits, then cut to 32 bits, as atoi does here.
        {"\"99999999999 -99999999999 2147483647 1\"", 0,
         {1215752191, -1215752191, 2147483647, 1, 0, 0, 0}},
        {"\"4294967297 2147483648 99999999999999999999 1\"", 0,
         {1, -2147483647 - 1, -1, 1, 0, 0, 0}},
        {"\"-99999999999999999999 -2147483649 1 4294967297\"", 0,
         {0, 2147483647, 1, 1, 0, 0, 0}},
        {"\"1 1 1 4294967337\"", -1, {1, 1, 1, 41, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        fake.input = c.input;
        TestStream stream(fake);
        xpmfilter::XpmValues got{-9, -9, -9, -9, -9, -9, -9};
        int32_t result = xpmfilter::ReadValuesLine(stream, got);
        EXPECT_EQ(result, c.result) << c.input << ": got " << result << ", want " << c.result;
        const auto fields = [](const xpmfilter::XpmValues& v) {
            return std::vector<int32_t>{v.width, v.height, v.ncolors, v.charsPerPixel, v.xHot, v.yHot, v.hasHotspot};
        };
        EXPECT_EQ(fields(got), fields(c.want)) << c.input << ": fields";
    }
}

TEST(HeaderValues, LengthLeavesThePositionAlone) {
    RecordingLibrary fake;
    fake.input = "0123456789";
    TestStream stream(fake);
    char byte;
    ASSERT_EQ(fake.Table().StreamRead(stream, &byte, 1), 1);
    TestSetup setup;
    xpmfilter::MeasureInput(stream, *setup);
    EXPECT_EQ(setup->inputSize, 10);
    EXPECT_EQ(stream.Remaining(), 9u);
}

// The position every StreamSeek reports while a PositionAt is alive.
int32_t g_position = 0;
int32_t ReportPosition(StreamHandle, int32_t, int32_t) { return g_position; }

class PositionAt {
  public:
    PositionAt(RecordingLibrary& fake, int32_t position) : table_(fake.Table()) {
        g_position = position;
        table_.StreamSeek = &ReportPosition;
        xpmfilter::BindGraphicsLibrary(&table_);
    }
    ~PositionAt() { xpmfilter::BindGraphicsLibrary(&RecordingLibrary::Current().Table()); }

  private:
    xpmfilter::GraphicsLibrary table_;
};

TEST(HeaderValues, ProgressPercent) {
    struct Case {
        int32_t inputSize;
        int32_t position;
        int32_t want;
    };
    const std::vector<Case> cases = {
        {0, 0, 100},
        {0, 5, 100},
        {200, 1, 0},       // truncated toward zero
        {200, 199, 99},
        {200, 200, 100},
        {60000000, 30000000, 50},                  // the product needs 64 bits
        {2147483647, 2147483647, 100},
        {-1, 7, -700},                             // unmeasured input: still the formula
        {300, -1, 0},                              // position unknown: -100 / 300
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        TestStream stream(fake);
        PositionAt position(fake, c.position);
        TestSetup setup;
        setup->inputSize = c.inputSize;
        xpmfilter::UpdateProgressPercent(stream, *setup);
        EXPECT_EQ(setup->progressPercent, c.want)
            << "position " << c.position << " of " << c.inputSize << ": got "
            << setup->progressPercent << ", want " << c.want;
    }
}

}  // namespace
}  // namespace xpmtest
