// GetFileInfo: which part of the host's record is cleared and filled for each declared size,
// values line and input, and the rule of each item.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "filter/file_info.h"
#include "recording_library.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmtest {
namespace {

constexpr char kXpm[] =
    "/* XPM */\nstatic char *x[] = {\n\"16 8 2 1\",\n\"a c #000000\",\n\"b c none\",\n};\n";

// The input is the named file, or (no path, no routine) the host's memory handle, which is locked
// for the read and unlocked also when no stream could be made of it.
TEST(FileInfo, TheDeclaredSizeAndTheValuesLineDecideWhatIsClearedAndFilled) {
    enum From { kFile, kMemory, kNoStream };  // kNoStream: memory no stream is made of
    struct Case {
        const char* name;
        int32_t size = 64;
        const char* input = kXpm;
        From from = kFile;
        int32_t want = 0;
        int32_t width = 0, height = 0, bits = 0;  // the fields as they must read, within the size
    };
    // clang-format off
    const Case cases[] = {
        {.name = "the whole record", .width = 16, .height = 8, .bits = 0x0C},
        {.name = "room for the height, from memory", .size = 36, .from = kMemory,
         .width = 16, .height = 8},
        {.name = "room for the width", .size = 20, .want = 17922, .width = 16},
        {.name = "room for the size alone", .size = 1, .want = 17922},
        {.name = "one byte past the size is cleared", .size = 5, .want = 17922},
        {.name = "size 0", .size = 0, .want = 17923},
        {.name = "size 65", .size = 65, .want = 17923},
        {.name = "memory no stream is made of", .from = kNoStream, .want = 17922},
        // No header needed: the values line is the first quoted string.
        {.name = "height 0 is refused", .input = "\"16 0 2 1\"", .want = 17922,
         .width = 16, .bits = 0x04},
        {.name = "width 0 is refused", .input = "\"0 8 2 1\"", .want = 17922},
    };
    // clang-format on
    for (const Case& c : cases) {
        RecordingLibrary library;
        library.input = c.input;
        library.failStreamOpen = c.from == kNoStream;
        HGLOBAL memory = GlobalAlloc(GHND, 64);
        alignas(8) uint8_t got[80], want[80];
        std::memset(got, 0xAB, sizeof got);
        std::memcpy(got, &c.size, 4);
        std::memcpy(want, got, sizeof want);
        std::memset(want + 4, 0, std::max(0, std::min(c.size, 80) - 4));
        for (const auto& [at, value] : {std::pair{16, c.width}, {32, c.height}, {56, c.bits}})
            for (int i = 0; i < 4 && at + i < c.size; ++i)
                want[at + i] = static_cast<uint8_t>(value >> (8 * i));
        EXPECT_EQ(
            GetFileInfo(c.from == kFile ? "x.xpm" : nullptr, reinterpret_cast<FileInfoRecord*>(got),
                        reinterpret_cast<uint64_t>(memory), nullptr),
            c.want)
            << c.name;
        EXPECT_EQ(std::vector<uint8_t>(got, got + 80), std::vector<uint8_t>(want, want + 80))
            << c.name << ": the record's bytes";
        const std::vector<int64_t>& open = library.calls.at(0).args;  // the memory's size
        EXPECT_EQ(open.size() == 5 ? open[3] : 0, c.from == kFile ? 0 : 64) << c.name;
        EXPECT_EQ(library.Count("StreamClose"), c.from == kNoStream ? 0u : 1u) << c.name;
        EXPECT_EQ(GlobalFlags(memory) & GMEM_LOCKCOUNT, 0u) << c.name << ": left locked";
        GlobalFree(memory);
    }
    EXPECT_EQ(GetFileInfo("x.xpm", nullptr, 0, nullptr), 17923) << "no record";
}

TEST(FileInfo, EachItemChecksItsValueThenItsRoom) {
    struct Case {
        const char* name;
        int32_t size = 64, item;
        double real = 0;      // items 1 and 2
        int32_t integer = 0;  // items 3 to 9
        int32_t want = 0;
        size_t at = 0;      // where the value lands
        uint32_t bits = 0;  // validItems afterwards
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // clang-format off
    const Case cases[] = {
        {.name = "no item 0", .item = 0, .integer = 5, .want = 17921},
        {.name = "no item 10", .item = 10, .integer = 5, .want = 17921},
        {.name = "item 1 takes a positive number", .item = 1, .real = 2.5, .at = 8, .bits = 0x001},
        {.name = "item 1 refuses 0", .item = 1, .real = 0.0, .want = 17922},
        {.name = "item 2 takes a tiny number", .item = 2, .real = 1e-300, .at = 24, .bits = 0x002},
        {.name = "item 2 refuses NaN", .item = 2, .real = nan, .want = 17922},
        {.name = "item 8 takes 0", .item = 8, .integer = 0, .at = 48, .bits = 0x080},
        {.name = "item 8 refuses 2", .item = 8, .integer = 2, .want = 17922},
        {.name = "item 9 without room for the valid items", .size = 56, .item = 9, .integer = 7,
         .at = 52},
        {.name = "the valid items just fit", .size = 60, .item = 9, .integer = 7, .at = 52,
         .bits = 0x100},
        {.name = "item 9 without room", .size = 55, .item = 9, .integer = 7, .want = 17921},
        {.name = "item 1 without room", .size = 12, .item = 1, .real = 3.0, .want = 17921},
        {.name = "item 1 just fits", .size = 16, .item = 1, .real = 3.0, .at = 8},
        {.name = "item 2 just fits", .size = 32, .item = 2, .real = 1.5, .at = 24},
        {.name = "item 5 just fits", .size = 40, .item = 5, .integer = 1, .at = 36},
        {.name = "item 6 just fits", .size = 44, .item = 6, .integer = 1, .at = 40},
        {.name = "item 7 just fits", .size = 48, .item = 7, .integer = 1, .at = 44},
        {.name = "item 8 just fits", .size = 52, .item = 8, .integer = 1, .at = 48},
        {.name = "the value is checked before the room", .size = 16, .item = 9, .want = 17922},
    };
    // clang-format on
    for (const Case& c : cases) {
        alignas(8) uint8_t got[64] = {}, want[64] = {};
        std::memcpy(got, &c.size, 4);
        std::memcpy(want, &c.size, 4);
        const bool real = c.item == 1 || c.item == 2;
        const void* value = real ? static_cast<const void*>(&c.real) : &c.integer;
        if (c.want == 0) {
            std::memcpy(want + c.at, value, real ? 8 : 4);
            std::memcpy(want + 56, &c.bits, 4);
        }
        auto& record = *reinterpret_cast<FileInfoRecord*>(got);
        EXPECT_EQ(xpmfilter::SetFileInfoItem(record, c.item, value), c.want) << c.name;
        EXPECT_EQ(std::vector<uint8_t>(got, got + 64), std::vector<uint8_t>(want, want + 64))
            << c.name << ": the record's bytes";
    }
}

}  // namespace
}  // namespace xpmtest
