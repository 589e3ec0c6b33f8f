// GetFileInfo: which part of the host's record is cleared and filled for each declared size,
// the values read from the first quoted string, and how the three kinds of input are opened
// and released.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "recording_library.h"
#include "settings/file_info.h"
#include "xpmfilter/xpmfilter.h"

namespace xpmtest {
namespace {

constexpr char kXpm16x8[] =
    "/* XPM */\nstatic char *x[] = {\n\"16 8 2 1\",\n\"a c #000000\",\n\"b c none\",\n};\n";
constexpr uint8_t kGuard = 0xAB;

// A host record inside a larger buffer, every byte preset, so that writes anywhere show.
struct HostBuffer {
    alignas(8) uint8_t bytes[128];
    explicit HostBuffer(int32_t size) {
        std::memset(bytes, kGuard, sizeof bytes);
        std::memcpy(bytes, &size, sizeof size);
    }
    FileInfoRecord* record() { return reinterpret_cast<FileInfoRecord*>(bytes); }
    int32_t Int(size_t offset) const {
        int32_t v;
        std::memcpy(&v, bytes + offset, sizeof v);
        return v;
    }
};

// Lock counts of a memory block seen by the library when the stream opens and closes.
struct LockProbe {
    static inline HGLOBAL block = nullptr;
    static inline int locksAtOpen = -1;
    static inline int locksAtClose = -1;
    static int Locks() {
        return block == nullptr ? -1 : static_cast<int>(GlobalFlags(block) & GMEM_LOCKCOUNT);
    }
};

class FileInfoTest : public testing::Test {
  protected:
    FileInfoTest() {
        table_ = library.Table();
        table_.StreamOpen = [](const char* path, const StreamSource* source, int32_t reserved) {
            LockProbe::locksAtOpen = LockProbe::Locks();
            return RecordingLibrary::Current().Table().StreamOpen(path, source, reserved);
        };
        table_.StreamClose = [](StreamHandle stream) {
            LockProbe::locksAtClose = LockProbe::Locks();
            RecordingLibrary::Current().Table().StreamClose(stream);
        };
        xpmfilter::BindGraphicsLibrary(&table_);
        LockProbe::block = nullptr;
        LockProbe::locksAtOpen = LockProbe::locksAtClose = -1;
    }
    RecordingLibrary library;
    xpmfilter::GraphicsLibrary table_{};
};

TEST_F(FileInfoTest, DeclaredSizeDecidesWhatIsClearedAndFilled) {
    struct Case {
        int32_t size;
        int32_t wantResult;
        bool wantWidth, wantHeight, wantValidBits;
    };
    const Case cases[] = {
        {64, 0, true, true, true},          {60, 0, true, true, true},
        {58, 0, true, true, false},         {57, 0, true, true, false},
        {56, 0, true, true, false},         {36, 0, true, true, false},
        {35, 17922, true, false, false},    {24, 17922, true, false, false},
        {20, 17922, true, false, false},    {19, 17922, false, false, false},
        {16, 17922, false, false, false},   {12, 17922, false, false, false},
        {5, 17922, false, false, false},    {1, 17922, false, false, false},
        {0, 17923, false, false, false},    {-4, 17923, false, false, false},
        {65, 17923, false, false, false},   {100, 17923, false, false, false},
    };
    for (const Case& c : cases) {
        library.input = kXpm16x8;
        HostBuffer host(c.size);
        int32_t result = GetFileInfo("image.xpm", host.record(), 0, nullptr);
        EXPECT_EQ(result, c.wantResult) << "size " << c.size;
        EXPECT_EQ(library.OpenStreams(), 0u) << "size " << c.size;

        // Bytes 4 up to the size are cleared, then width, height and the bits are stored;
        // nothing at or past the size changes.
        for (size_t at = 4; at < sizeof host.bytes; ++at) {
            uint8_t want = static_cast<int64_t>(at) < c.size ? 0 : kGuard;
            if (c.wantWidth && at >= 16 && at < 20) want = static_cast<uint8_t>(16 >> (8 * (at - 16)));
            if (c.wantHeight && at >= 32 && at < 36) want = static_cast<uint8_t>(8 >> (8 * (at - 32)));
            if (c.wantValidBits && at >= 56 && at < 60) want = static_cast<uint8_t>(0x0C >> (8 * (at - 56)));
            if (host.bytes[at] != want) {
                ADD_FAILURE() << "size " << c.size << ": byte " << at << " got "
                              << int(host.bytes[at]) << ", want " << int(want);
                break;
            }
        }
    }
}

TEST_F(FileInfoTest, ValuesComeFromTheFirstQuotedString) {
    struct Case {
        const char* what;
        const char* input;
        int32_t wantResult, wantWidth, wantHeight;
    };
    const Case cases[] = {
        {"no header needed", "\"10 20 2 1\"", 0, 10, 20},
        {"text before the string", "garbage here \"7 3 1 1\" \"9 9 9 9\"", 0, 7, 3},
        {"hot spot and extension", "/* XPM */ \"5 6 1 1 0 0 XPMEXT\"", 0, 5, 6},
        {"width 0", "\"0 8 2 1\"", 17922, 0, 0},
        {"height 0 keeps the width", "\"16 0 2 1\"", 17922, 16, 0},
        {"negative width", "\"-3 8 2 1\"", 17922, 0, 0},
        {"no digits", "\"abc\"", 17922, 0, 0},
        {"no quoted string", "/* XPM */ nothing", 17922, 0, 0},
        {"empty input", "", 17922, 0, 0},
    };
    for (const Case& c : cases) {
        library.input = c.input;
        HostBuffer host(64);
        int32_t result = GetFileInfo("image.xpm", host.record(), 0, nullptr);
        EXPECT_EQ(result, c.wantResult) << c.what;
        EXPECT_EQ(host.Int(16), c.wantWidth) << c.what << ": width";
        EXPECT_EQ(host.Int(32), c.wantHeight) << c.what << ": height";
        uint32_t wantBits = (c.wantWidth ? 4u : 0u) | (c.wantHeight ? 8u : 0u);
        EXPECT_EQ(static_cast<uint32_t>(host.Int(56)), wantBits) << c.what << ": validItems";
    }
}

TEST_F(FileInfoTest, NoStreamLeavesTheRecordCleared) {
    library.failStreamOpen = true;
    HostBuffer host(64);
    EXPECT_EQ(GetFileInfo("missing.xpm", host.record(), 0, nullptr), 17922);
    for (size_t at = 4; at < 64; ++at)
        ASSERT_EQ(host.bytes[at], 0) << "byte " << at;
    EXPECT_EQ(library.Count("StreamClose"), 0u);
}

int32_t ReadNothing(uint64_t, void*, int32_t) { return 0; }

// The three kinds of input, and the locks the host's block holds while the stream is open.
TEST_F(FileInfoTest, InputIsOpenedAndTheBlockLockedAsTheCallSays) {
    struct Case {
        const char* name;
        const char* path;
        bool routine, hostLocked, failOpen;
        int locksAtOpen, locksAtClose;  // -1: no close
        int32_t want;
        const char* wantPath;
        const char* wantSource;  // "file", "routine", "memory"
    };
    const Case cases[] = {
        {"memory", "", false, false, false, 1, 0, 0, "<null>", "memory"},
        {"memory, open fails", "", false, false, true, 1, -1, 17922, "<null>", "memory"},
        // Held locked once by the "host", so that an unlock by the filter shows too.
        {"routine: the handle is user data", "named.xpm", true, true, false, 1, 1, 0,
         "named.xpm", "routine"},
        {"named file: the handle is ignored", "dir/file.xpm", false, false, false, 0, 0, 0,
         "dir/file.xpm", "file"},
    };
    for (const Case& c : cases) {
        HGLOBAL block = GlobalAlloc(GHND, sizeof kXpm16x8);
        std::memcpy(GlobalLock(block), kXpm16x8, sizeof kXpm16x8);
        if (!c.hostLocked) GlobalUnlock(block);
        LockProbe::block = block;
        LockProbe::locksAtOpen = LockProbe::locksAtClose = -1;
        library.input = kXpm16x8;
        library.failStreamOpen = c.failOpen;
        library.calls.clear();

        HostBuffer host(64);
        EXPECT_EQ(GetFileInfo(c.path, host.record(), reinterpret_cast<uint64_t>(block),
                              c.routine ? &ReadNothing : nullptr),
                  c.want) << c.name;
        EXPECT_EQ(LockProbe::locksAtOpen, c.locksAtOpen) << c.name << ": locks at open";
        EXPECT_EQ(LockProbe::locksAtClose, c.locksAtClose) << c.name << ": locks at close";
        EXPECT_EQ(LockProbe::Locks(), c.hostLocked ? 1 : 0) << c.name << ": locks afterwards";
        EXPECT_EQ(library.Count("StreamClose"), c.failOpen ? 0u : 1u) << c.name;
        if (!c.failOpen) {
            EXPECT_EQ(host.Int(16), 16) << c.name;
        }
        auto opens = library.Find("StreamOpen");
        ASSERT_EQ(opens.size(), 1u) << c.name;
        EXPECT_EQ(opens[0]->texts[0], c.wantPath) << c.name;
        const std::string kind = c.wantSource;
        const std::vector<int64_t> wantSource =
            kind == "file"      ? std::vector<int64_t>{}
            : kind == "routine" ? std::vector<int64_t>{reinterpret_cast<int64_t>(block), 0,
                                                       reinterpret_cast<int64_t>(&ReadNothing)}
                                : std::vector<int64_t>{opens[0]->args.at(2),
                                                       static_cast<int64_t>(GlobalSize(block)), 0};
        EXPECT_EQ(std::vector<int64_t>(opens[0]->args.begin() + 2, opens[0]->args.end()),
                  wantSource) << c.name << ": StreamSource (data, size, routine)";
        LockProbe::block = nullptr;
        if (c.hostLocked) GlobalUnlock(block);
        GlobalFree(block);
    }
}

TEST(FileInfoItems, EachItemChecksItsValueThenItsRoom) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        int32_t size;
        int32_t item;
        double floatValue;  // used for items 1 and 2
        int32_t intValue;   // used for items 3 to 9
        int32_t want;
        size_t offset;      // where the value lands when stored
        uint32_t bits;      // validItems afterwards
    };
    const Case cases[] = {
        {64, 0, 0, 5, 17921, 0, 0},
        {64, 10, 0, 5, 17921, 0, 0},
        {64, -1, 0, 5, 17921, 0, 0},
        {64, 1, 2.5, 0, 0, 8, 0x001},
        {64, 1, 0.0, 0, 17922, 0, 0},
        {64, 2, -1.0, 0, 17922, 0, 0},
        {64, 2, nan, 0, 17922, 0, 0},
        {64, 2, 1e-300, 0, 0, 24, 0x002},
        {64, 5, 0, 1, 0, 36, 0x010},
        {64, 5, 0, 0, 17922, 0, 0},
        {64, 8, 0, 0, 0, 48, 0x080},
        {64, 8, 0, 1, 0, 48, 0x080},
        {64, 8, 0, 2, 17922, 0, 0},
        {64, 9, 0, 7, 0, 52, 0x100},
        {56, 9, 0, 7, 0, 52, 0},      // no room for validItems
        {55, 9, 0, 7, 17921, 0, 0},   // the field ends past the size
        {16, 9, 0, 0, 17922, 0, 0},   // the value is checked before the room
        {12, 1, 3.0, 0, 17921, 0, 0},
        {16, 1, 3.0, 0, 0, 8, 0},
    };
    for (const Case& c : cases) {
        alignas(8) uint8_t bytes[64] = {};
        auto* record = reinterpret_cast<FileInfoRecord*>(bytes);
        record->size = c.size;
        const void* value = (c.item == 1 || c.item == 2) ? static_cast<const void*>(&c.floatValue)
                                                         : static_cast<const void*>(&c.intValue);
        int32_t got = xpmfilter::SetFileInfoItem(*record, c.item, value);
        EXPECT_EQ(got, c.want) << "size " << c.size << " item " << c.item;
        uint8_t want[64] = {};
        std::memcpy(want, &c.size, 4);
        if (c.want == 0) {
            std::memcpy(want + c.offset, value, (c.item == 1 || c.item == 2) ? 8 : 4);
            std::memcpy(want + 56, &c.bits, 4);
        }
        EXPECT_EQ(std::memcmp(bytes, want, sizeof bytes), 0)
            << "size " << c.size << " item " << c.item << ": record bytes differ";
    }
}

}  // namespace
}  // namespace xpmtest
