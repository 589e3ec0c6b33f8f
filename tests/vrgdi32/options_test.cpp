// Option sets: which escape codes move how many bytes in which direction, the options block
// round trip, and refusal of handles that are not option sets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fault_hooks.h"
#include "vrgdi32/vrgdi32.h"

namespace {

TEST(OptionSetTest, Escapes) {
    OptionSetHandle set = OptionSetCreate(0, 0, 0, 0), plain = GlobalAlloc(GHND, 256),
                    tiny = GlobalAlloc(GHND, 4);
    OptionSetHandle freed = OptionSetCreate(0, 0, 0, 0);
    GlobalFree(freed);
    std::memcpy(GlobalLock(tiny), GlobalLock(set), 4);
    GlobalUnlock(tiny);
    GlobalUnlock(set);
    uint8_t in[64];
    for (int i = 0; i < 64; ++i) in[i] = static_cast<uint8_t>(i * 5 + 1);
    // 42 stores in's first 56 bytes as the options block, 43 loads it; the others leave it be.
    // Blocks that are not option sets, even big enough ones, refuse every code.
    struct Case {
        const char* name;
        OptionSetHandle handle;
        uint32_t code, size;
        bool passIn = false, passOut = false;
        int32_t want = 0;
    };
    // clang-format off
    const Case cases[] = {
        {.name = "a new set loads zeros", .handle = set, .code = kVrOptionLoadOptions, .size = 56, .passOut = true},
        {.name = "store the options", .handle = set, .code = kVrOptionStoreOptions, .size = 56, .passIn = true},
        {.name = "set option 3", .handle = set, .code = kVrOptionSet3, .size = 2, .passIn = true},
        {.name = "option 3 of 1 byte", .handle = set, .code = kVrOptionSet3, .size = 1, .passIn = true, .want = -1},
        {.name = "option 3 without its bytes", .handle = set, .code = kVrOptionSet3, .size = 2, .passOut = true, .want = -1},
        {.name = "imports refused: no", .handle = set, .code = kVrOptionImportRefused, .size = 2, .passOut = true},
        {.name = "the refusal asked without room", .handle = set, .code = kVrOptionImportRefused, .size = 2, .passIn = true,
         .want = -1},
        {.name = "option 26", .handle = set, .code = kVrOptionQuery26, .size = 4, .passOut = true},
        {.name = "set option 40", .handle = set, .code = kVrOptionSet40, .size = 1, .passIn = true},
        {.name = "load 57 bytes", .handle = set, .code = kVrOptionLoadOptions, .size = 57, .passOut = true, .want = -1},
        {.name = "the stored options come back", .handle = set, .code = kVrOptionLoadOptions, .size = 56, .passOut = true},
        {.name = "code 0", .handle = set, .code = 0, .size = 0, .want = -1},
        {.name = "code 5", .handle = set, .code = 5, .size = 2, .passIn = true, .passOut = true, .want = -1},
        {.name = "no set", .handle = nullptr, .code = kVrOptionLoadOptions, .size = 56, .passOut = true, .want = -1},
        {.name = "a block that is no set", .handle = plain, .code = kVrOptionLoadOptions, .size = 56, .passOut = true,
         .want = -1},
        {.name = "a block too small, though it begins as a set", .handle = tiny, .code = kVrOptionImportRefused, .size = 2, .passOut = true, .want = -1},
        {.name = "a freed set", .handle = freed, .code = kVrOptionImportRefused, .size = 2, .passOut = true, .want = -1},
        {.name = "no block", .handle = HGLOBAL(0x4242), .code = kVrOptionLoadOptions, .size = 56, .passOut = true,
         .want = -1},
    };
    // clang-format on
    for (bool stored = false; const Case& c : cases) {
        uint8_t out[64];
        std::memset(out, 0xEE, sizeof out);
        const int32_t got = OptionSetEscape(c.handle, c.code, c.size, c.passIn ? in : nullptr,
                                            c.passOut ? out : nullptr, 0);
        const std::string what = std::string(c.name) + ": code " + std::to_string(c.code) + ", " +
                                 std::to_string(c.size) + " bytes";
        EXPECT_EQ(got, c.want) << what;
        stored = stored || (c.code == 42 && got == 0);
        // A new set loads zeros, a stored block comes back as it was; queries answer zeros.
        for (uint32_t i = 0; i < c.size && got == 0 && c.passOut; ++i)
            EXPECT_EQ(out[i], c.code == 43 && stored ? in[i] : 0) << what << ", byte " << i;
        EXPECT_EQ(out[c.size], 0xEE) << what << ": wrote past its size";
    }
    EXPECT_EQ((GlobalFlags(set) | GlobalFlags(plain)) & GMEM_LOCKCOUNT, 0u)
        << "every lock is given back";
    for (OptionSetHandle block : {set, plain, tiny}) GlobalFree(block);
    OptionSetHandle none = nullptr;
    EXPECT_TRUE(xpmfault::FailDuring(xpmfault::Kind::kAllocation, 0,
                                     [&] { none = OptionSetCreate(0, 0, 0, 0); }) &&
                none == nullptr)
        << "no memory, no set";
}

}  // namespace
