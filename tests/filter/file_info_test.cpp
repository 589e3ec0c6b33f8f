// GetFileInfo: which part of the host's record is cleared and filled for each declared size,
// values line and input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

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
        {.name = "room for the valid items, just", .size = 60,
         .width = 16, .height = 8, .bits = 0x0C},
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
        {.name = "one pixel by one is enough", .input = "\"1 1 2 1\"", .width = 1, .height = 1,
         .bits = 0x0C},
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

}  // namespace
}  // namespace xpmtest
