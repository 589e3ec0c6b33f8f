// Tests of input opening: which of the three ways is taken, what the StreamSource holds, and
// when the input memory block is locked and unlocked.
#include "output/input_source.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "output/graphics_library.h"
#include "recording_library.h"
#include "winshim/winshim.h"

namespace {

using namespace xpmfilter;
using xpmtest::RecordingLibrary;

constexpr uint64_t kRoutine = 0xC0DE0000u;
constexpr uint64_t kUserData = 0x55AA;

// A movable block holding text; freed by the test.
HGLOBAL MakeMemory(const std::string& text) {
    HGLOBAL memory = GlobalAlloc(GHND, text.size());
    void* bytes = GlobalLock(memory);
    std::memcpy(bytes, text.data(), text.size());
    GlobalUnlock(memory);
    return memory;
}

uint64_t GlobalLocks() { return WinshimGetCounts().globalLocks; }

TEST(OpenInputStream, ChoosesTheFirstRuleThatApplies) {
    struct Case {
        const char* name;
        const char* path;
        bool routine;
        bool memory;
        const char* wantPath;     // what StreamOpen receives
        const char* wantSource;   // "none", "routine" or "memory"
    };
    const Case cases[] = {
        {"routine beats path and memory", "/some/file.xpm", true, true, "/some/file.xpm",
         "routine"},
        {"routine with an empty path", "", true, false, "", "routine"},
        {"memory with an empty path", "", false, true, "<null>", "memory"},
        {"memory with a null path", nullptr, false, true, "<null>", "memory"},
        {"memory with a path: the file", "/some/file.xpm", false, true, "/some/file.xpm",
         "none"},
        {"path only", "/some/file.xpm", false, false, "/some/file.xpm", "none"},
        {"nothing at all", "", false, false, "", "none"},
    };
    for (const Case& c : cases) {
        RecordingLibrary fake;
        HGLOBAL memory = c.memory ? MakeMemory("/* XPM */") : nullptr;
        const uint64_t locksBefore = GlobalLocks();
        InputSource input;
        StreamHandle stream = OpenInputStream(input, c.path, c.routine ? kRoutine : 0,
                                              kUserData, memory);
        ASSERT_NE(stream, nullptr) << c.name;
        ASSERT_EQ(fake.Count("StreamOpen"), 1u) << c.name;
        const xpmtest::Call& open = *fake.Find("StreamOpen")[0];
        EXPECT_EQ(open.texts[0], c.wantPath) << c.name;
        EXPECT_EQ(open.args[1], 0) << c.name << ": reserved argument";
        const std::string kind = c.wantSource;
        const uint64_t locksOpen = GlobalLocks();
        if (kind == "none") {
            EXPECT_EQ(open.args[0], 0) << c.name << ": no StreamSource";
            EXPECT_EQ(locksOpen, locksBefore) << c.name << ": memory must not be locked";
        } else if (kind == "routine") {
            ASSERT_EQ(open.args.size(), 5u) << c.name;
            EXPECT_EQ(static_cast<uint64_t>(open.args[2]), kUserData) << c.name;
            EXPECT_EQ(open.args[3], 0) << c.name;
            EXPECT_EQ(static_cast<uint64_t>(open.args[4]), kRoutine) << c.name;
            EXPECT_EQ(locksOpen, locksBefore) << c.name << ": memory must not be locked";
        } else {
            ASSERT_EQ(open.args.size(), 5u) << c.name;
            EXPECT_EQ(locksOpen, locksBefore + 1) << c.name << ": locked once while open";
            // Offset 0 names a variable that holds the locked block's address.
            auto* variable = reinterpret_cast<void**>(static_cast<uintptr_t>(open.args[2]));
            ASSERT_NE(variable, nullptr) << c.name;
            EXPECT_EQ(std::memcmp(*variable, "/* XPM */", 9), 0) << c.name;
            EXPECT_EQ(open.args[3], 9) << c.name << ": the block's size";
            EXPECT_EQ(open.args[4], 0) << c.name;
        }
        fake.Table().StreamClose(stream);
        UnlockInputMemory(input);
        UnlockInputMemory(input);  // a second call changes nothing
        EXPECT_EQ(GlobalLocks(), locksBefore) << c.name << ": unlocked exactly once";
        if (memory != nullptr) GlobalFree(memory);
    }
}

TEST(OpenInputStream, AFailedOpenKeepsTheLockUntilUnlocked) {
    RecordingLibrary fake;
    fake.failStreamOpen = true;
    HGLOBAL memory = MakeMemory("abc");
    const uint64_t locksBefore = GlobalLocks();
    InputSource input;
    EXPECT_EQ(OpenInputStream(input, "", 0, 0, memory), nullptr);
    EXPECT_EQ(GlobalLocks(), locksBefore + 1);
    UnlockInputMemory(input);
    EXPECT_EQ(GlobalLocks(), locksBefore);
    GlobalFree(memory);
}

TEST(OpenInputStream, AStaleMemoryHandleIsNeverUnlocked) {
    RecordingLibrary fake;
    HGLOBAL memory = MakeMemory("abc");
    GlobalFree(memory);
    const uint64_t locksBefore = GlobalLocks();
    InputSource input;
    StreamHandle stream = OpenInputStream(input, "", 0, 0, memory);
    ASSERT_EQ(fake.Count("StreamOpen"), 1u);
    const xpmtest::Call& open = *fake.Find("StreamOpen")[0];
    auto* variable = reinterpret_cast<void**>(static_cast<uintptr_t>(open.args[2]));
    EXPECT_EQ(*variable, nullptr) << "the lock failed, so the variable holds null";
    EXPECT_EQ(open.args[3], 0) << "a stale block has no size";
    if (stream != nullptr) fake.Table().StreamClose(stream);
    UnlockInputMemory(input);
    EXPECT_EQ(GlobalLocks(), locksBefore);
}

}  // namespace
