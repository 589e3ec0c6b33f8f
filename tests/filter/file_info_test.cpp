// GetFileInfo: which part of the host's record is cleared and filled for each declared size,
// values line and input, and the rule of each item.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "recording_library.h"
#include "filter/file_info.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmtest {
namespace {

constexpr char kXpm[] =
    "/* XPM */\nstatic char *x[] = {\n\"16 8 2 1\",\n\"a c #000000\",\n\"b c none\",\n};\n";

// The input is the named file, or (no path, no routine) the host's memory handle, which is locked
// for the read and unlocked also when no stream could be made of it.
TEST(FileInfo, TheDeclaredSizeAndTheValuesLineDecideWhatIsClearedAndFilled) {
    struct Case {
        int32_t size;
        const char* input;
        char from;  // 'f' a file, 'm' memory, 'x' memory no stream is made of
        int32_t want, width, height, bits;  // the fields as they must read, within the size
    };
    const Case cases[] = {
        {64, kXpm, 'f', 0, 16, 8, 0x0C},
        {60, kXpm, 'f', 0, 16, 8, 0x0C},
        {59, kXpm, 'f', 0, 16, 8, 0},
        {56, kXpm, 'f', 0, 16, 8, 0},
        {36, kXpm, 'm', 0, 16, 8, 0},
        {35, kXpm, 'f', 17922, 16, 0, 0},
        {20, kXpm, 'f', 17922, 16, 0, 0},
        {19, kXpm, 'f', 17922, 0, 0, 0},
        {5, kXpm, 'f', 17922, 0, 0, 0},
        {1, kXpm, 'f', 17922, 0, 0, 0},
        {0, kXpm, 'f', 17923, 0, 0, 0},
        {65, kXpm, 'f', 17923, 0, 0, 0},
        {64, kXpm, 'x', 17922, 0, 0, 0},
        {64, "\"10 20 2 1\"", 'm', 0, 10, 20, 0x0C},  // no header needed
        {64, "junk \"7 3 1 1\" \"9 9 9 9\"", 'f', 0, 7, 3, 0x0C},
        {64, "\"16 0 2 1\"", 'f', 17922, 16, 0, 0x04},
        {64, "\"0 8 2 1\"", 'f', 17922, 0, 0, 0},
        {64, "\"abc\"", 'f', 17922, 0, 0, 0},
        {64, "", 'f', 17922, 0, 0, 0},
    };
    for (const Case& c : cases) {
        RecordingLibrary library;
        library.input = c.input;
        library.failStreamOpen = c.from == 'x';
        HGLOBAL memory = GlobalAlloc(GHND, 64);
        alignas(8) uint8_t got[80], want[80];
        std::memset(got, 0xAB, sizeof got);
        std::memcpy(got, &c.size, 4);
        std::memcpy(want, got, sizeof want);
        std::memset(want + 4, 0, std::max(0, std::min(c.size, 80) - 4));
        for (const auto& [at, value] : {std::pair{16, c.width}, {32, c.height}, {56, c.bits}})
            for (int i = 0; i < 4 && at + i < c.size; ++i)
                want[at + i] = static_cast<uint8_t>(value >> (8 * i));
        const std::string what =
            "size " + std::to_string(c.size) + " from " + c.from + " input [" + c.input + "]";
        EXPECT_EQ(
            GetFileInfo(c.from == 'f' ? "x.xpm" : nullptr, reinterpret_cast<FileInfoRecord*>(got),
                        reinterpret_cast<uint64_t>(memory), nullptr),
            c.want)
            << what;
        EXPECT_EQ(std::vector<uint8_t>(got, got + 80), std::vector<uint8_t>(want, want + 80))
            << what;
        const std::vector<int64_t>& open =
            library.calls.at(0).args;  // the memory's size in the source
        EXPECT_EQ(open.size() == 5 ? open[3] : 0, c.from == 'f' ? 0 : 64) << what;
        EXPECT_EQ(library.Count("StreamClose"), c.from == 'x' ? 0u : 1u) << what;
        EXPECT_EQ(GlobalFlags(memory) & GMEM_LOCKCOUNT, 0u) << what << ": left locked";
        GlobalFree(memory);
    }
    EXPECT_EQ(GetFileInfo("x.xpm", nullptr, 0, nullptr), 17923) << "no record";
}

TEST(FileInfo, EachItemChecksItsValueThenItsRoom) {
    struct Case {
        int32_t size, item;
        double real;      // items 1 and 2
        int32_t integer;  // items 3 to 9
        int32_t want;
        size_t at;      // where the value lands
        uint32_t bits;  // validItems afterwards
    };
    const Case cases[] = {
        {64, 0, 0, 5, 17921, 0, 0},
        {64, 10, 0, 5, 17921, 0, 0},
        {64, 1, 2.5, 0, 0, 8, 0x001},
        {64, 1, 0.0, 0, 17922, 0, 0},
        {64, 2, 1e-300, 0, 0, 24, 0x002},
        {64, 2, std::numeric_limits<double>::quiet_NaN(), 0, 17922, 0, 0},
        {64, 5, 0, 1, 0, 36, 0x010},
        {64, 8, 0, 0, 0, 48, 0x080},
        {64, 8, 0, 1, 0, 48, 0x080},
        {64, 8, 0, 2, 17922, 0, 0},
        {64, 9, 0, 7, 0, 52, 0x100},
        {56, 9, 0, 7, 0, 52, 0},
        {55, 9, 0, 7, 17921, 0, 0},
        {12, 1, 3.0, 0, 17921, 0, 0},
        {16, 1, 3.0, 0, 0, 8, 0},
        {32, 2, 1.5, 0, 0, 24, 0},
        {40, 5, 0, 1, 0, 36, 0},
        {44, 6, 0, 1, 0, 40, 0},
        {48, 7, 0, 1, 0, 44, 0},
        {52, 8, 0, 1, 0, 48, 0},
        {16, 9, 0, 0, 17922, 0, 0},  // the value is checked before the room
    };
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
        EXPECT_EQ(
            xpmfilter::SetFileInfoItem(*reinterpret_cast<FileInfoRecord*>(got), c.item, value),
            c.want)
            << "size " << c.size << " item " << c.item;
        EXPECT_EQ(std::memcmp(got, want, sizeof got), 0) << "size " << c.size << " item " << c.item;
    }
}

}  // namespace
}  // namespace xpmtest
