// GetFileInfo: which part of the host's record is cleared and filled for each declared size and
// values line, how the three kinds of input are opened, and the rule of each item.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "recording_library.h"
#include "settings/file_info.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmtest {
namespace {

constexpr char kXpm[] = "/* XPM */\nstatic char *x[] = {\n\"16 8 2 1\",\n\"a c #000000\",\n\"b c none\",\n};\n";
int32_t ReadNothing(uint64_t, void*, int32_t) { return 0; }

TEST(FileInfo, TheDeclaredSizeAndTheValuesLineDecideWhatIsClearedAndFilled) {
    struct Case {
        int32_t size;
        const char* input;
        int32_t want, width, height, bits;  // the fields as they must read, within the size
    };
    const Case cases[] = {
        {64, kXpm, 0, 16, 8, 0x0C},      {60, kXpm, 0, 16, 8, 0x0C},      {59, kXpm, 0, 16, 8, 0},
        {56, kXpm, 0, 16, 8, 0},         {36, kXpm, 0, 16, 8, 0},         {35, kXpm, 17922, 16, 0, 0},
        {20, kXpm, 17922, 16, 0, 0},     {19, kXpm, 17922, 0, 0, 0},      {5, kXpm, 17922, 0, 0, 0},
        {1, kXpm, 17922, 0, 0, 0},       {0, kXpm, 17923, 0, 0, 0},       {65, kXpm, 17923, 0, 0, 0},
        {64, "\"10 20 2 1\"", 0, 10, 20, 0x0C},  // no header needed
        {64, "junk \"7 3 1 1\" \"9 9 9 9\"", 0, 7, 3, 0x0C},
        {64, "\"16 0 2 1\"", 17922, 16, 0, 0x04},
        {64, "\"0 8 2 1\"", 17922, 0, 0, 0},     {64, "\"-3 8 2 1\"", 17922, 0, 0, 0},
        {64, "\"abc\"", 17922, 0, 0, 0},         {64, "", 17922, 0, 0, 0},
    };
    for (const Case& c : cases) {
        RecordingLibrary library;
        library.input = c.input;
        alignas(8) uint8_t got[80], want[80];
        std::memset(got, 0xAB, sizeof got);
        std::memcpy(got, &c.size, 4);
        std::memcpy(want, got, sizeof want);
        std::memset(want + 4, 0, std::max(0, std::min(c.size, 80) - 4));
        for (const auto& [at, value] : {std::pair{16, c.width}, {32, c.height}, {56, c.bits}})
            for (int i = 0; i < 4 && at + i < c.size; ++i) want[at + i] = static_cast<uint8_t>(value >> (8 * i));
        const std::string what = "size " + std::to_string(c.size) + " input [" + c.input + "]";
        EXPECT_EQ(GetFileInfo("x.xpm", reinterpret_cast<FileInfoRecord*>(got), 0, nullptr), c.want) << what;
        EXPECT_EQ(std::vector<uint8_t>(got, got + 80), std::vector<uint8_t>(want, want + 80)) << what;
        EXPECT_EQ(library.OpenStreams(), 0u) << what;
    }
    RecordingLibrary library;
    EXPECT_EQ(GetFileInfo("x.xpm", nullptr, 0, nullptr), 17923) << "no record";
}

TEST(FileInfo, TheInputIsOpenedByTheFirstRuleThatApplies) {
    struct Case {
        const char* what;
        const char* path;
        bool routine, failOpen;
        const char* wantPath;
        char wantSource;  // 'f' file, 'r' routine, 'm' memory
    };
    const Case cases[] = {
        {"memory", "", false, false, "<null>", 'm'},
        {"memory, no path", nullptr, false, false, "<null>", 'm'},
        {"memory that cannot be opened", "", false, true, "<null>", 'm'},
        {"a routine: the handle is its user data", "named.xpm", true, false, "named.xpm", 'r'},
        {"a named file: the handle is ignored", "dir/file.xpm", false, false, "dir/file.xpm", 'f'},
    };
    for (const Case& c : cases) {
        RecordingLibrary library;
        library.input = kXpm;
        library.failStreamOpen = c.failOpen;
        HGLOBAL block = GlobalAlloc(GHND, sizeof kXpm);
        std::memcpy(GlobalLock(block), kXpm, sizeof kXpm);  // held by the host with a routine
        if (!c.routine) GlobalUnlock(block);
        FileInfoRecord record{64};
        EXPECT_EQ(GetFileInfo(c.path, &record, reinterpret_cast<uint64_t>(block), c.routine ? &ReadNothing : nullptr),
                  c.failOpen ? 17922 : 0) << c.what;
        EXPECT_EQ(record.imageWidth, c.failOpen ? 0 : 16) << c.what;
        EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, c.routine ? 1u : 0u) << c.what << ": locks";
        EXPECT_EQ(library.Count("StreamClose"), c.failOpen ? 0u : 1u) << c.what;
        ASSERT_EQ(library.Count("StreamOpen"), 1u) << c.what;
        const Call& open = *library.Find("StreamOpen")[0];
        EXPECT_EQ(open.texts[0], c.wantPath) << c.what;
        const std::vector<int64_t> want =
            c.wantSource == 'f'   ? std::vector<int64_t>{}
            : c.wantSource == 'r' ? std::vector<int64_t>{int64_t(block), 0, int64_t(&ReadNothing)}
                                  : std::vector<int64_t>{open.args.at(2), int64_t(GlobalSize(block)), 0};
        EXPECT_EQ(std::vector<int64_t>(open.args.begin() + 2, open.args.end()), want) << c.what << ": source";
        EXPECT_TRUE(c.wantSource != 'm' || open.args[2] != 0) << c.what;
        if (c.routine) GlobalUnlock(block);
        GlobalFree(block);
    }
}

TEST(FileInfo, EachItemChecksItsValueThenItsRoom) {
    struct Case {
        int32_t size, item;
        double real;      // items 1 and 2
        int32_t integer;  // items 3 to 9
        int32_t want;
        size_t at;        // where the value lands
        uint32_t bits;    // validItems afterwards
    };
    const Case cases[] = {
        {64, 0, 0, 5, 17921, 0, 0},      {64, 10, 0, 5, 17921, 0, 0},     {64, 1, 2.5, 0, 0, 8, 0x001},
        {64, 1, 0.0, 0, 17922, 0, 0},    {64, 2, -1.0, 0, 17922, 0, 0},   {64, 2, 1e-300, 0, 0, 24, 0x002},
        {64, 2, std::numeric_limits<double>::quiet_NaN(), 0, 17922, 0, 0},
        {64, 5, 0, 1, 0, 36, 0x010},     {64, 5, 0, 0, 17922, 0, 0},      {64, 8, 0, 0, 0, 48, 0x080},
        {64, 8, 0, 1, 0, 48, 0x080},     {64, 8, 0, 2, 17922, 0, 0},      {64, 9, 0, 7, 0, 52, 0x100},
        {56, 9, 0, 7, 0, 52, 0},         {55, 9, 0, 7, 17921, 0, 0},      {12, 1, 3.0, 0, 17921, 0, 0},
        {16, 1, 3.0, 0, 0, 8, 0},        {16, 9, 0, 0, 17922, 0, 0},  // the value is checked before the room
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
        EXPECT_EQ(xpmfilter::SetFileInfoItem(*reinterpret_cast<FileInfoRecord*>(got), c.item, value), c.want)
            << "size " << c.size << " item " << c.item;
        EXPECT_EQ(std::memcmp(got, want, sizeof got), 0) << "size " << c.size << " item " << c.item;
    }
}

}  // namespace
}  // namespace xpmtest
