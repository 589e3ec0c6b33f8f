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
    uint8_t in[64];
    for (int i = 0; i < 64; ++i) in[i] = static_cast<uint8_t>(i * 5 + 1);
    // 42 stores in's first 56 bytes as the options block, 43 loads it; the others leave it be.
    // Blocks that are not option sets, even big enough ones, refuse every code.
    struct Case {
        OptionSetHandle handle;
        uint32_t code, size;
        bool passIn, passOut;
        int32_t want;
    };
    const Case cases[] = {
        {set, 43, 56, false, true, 0},    {set, 42, 56, true, false, 0},
        {set, 3, 2, true, false, 0},      {set, 3, 1, true, false, -1},
        {set, 3, 2, false, true, -1},     {set, 4, 2, false, true, 0},
        {set, 4, 4, false, true, -1},     {set, 4, 2, true, false, -1},
        {set, 26, 4, false, true, 0},     {set, 26, 2, false, true, -1},
        {set, 40, 1, true, false, 0},     {set, 40, 2, true, false, -1},
        {set, 42, 55, true, false, -1},   {set, 43, 57, false, true, -1},
        {set, 43, 56, true, false, -1},   {set, 43, 56, false, true, 0},
        {set, 0, 0, false, false, -1},    {set, 5, 2, true, true, -1},
        {set, 81, 8, true, false, -1},    {nullptr, 43, 56, false, true, -1},
        {plain, 43, 56, false, true, -1}, {tiny, 4, 2, false, true, -1},
        {freed, 4, 2, false, true, -1},   {HGLOBAL(0x4242), 43, 56, false, true, -1},
    };
    for (bool stored = false; const Case& c : cases) {
        uint8_t out[64];
        std::memset(out, 0xEE, sizeof out);
        const int32_t got = OptionSetEscape(c.handle, c.code, c.size, c.passIn ? in : nullptr,
                                            c.passOut ? out : nullptr, 0);
        const std::string what = "row " + std::to_string(&c - cases) + ", code " +
                                 std::to_string(c.code) + ", size " + std::to_string(c.size);
        EXPECT_EQ(got, c.want) << what;
        stored = stored || (c.code == 42 && got == 0);
        // A new set loads zeros, a stored block comes back as it was; queries answer zeros.
        for (uint32_t i = 0; i < c.size && got == 0 && c.passOut; ++i)
            EXPECT_EQ(out[i], c.code == 43 && stored ? in[i] : 0) << what << ", byte " << i;
        EXPECT_EQ(out[c.size], 0xEE) << what << ": wrote past its size";
    }
    EXPECT_EQ((GlobalFlags(set) | GlobalFlags(plain)) & GMEM_LOCKCOUNT, 0u)
        << "every lock is given back";
    GlobalFree(set), GlobalFree(plain), GlobalFree(tiny);
    OptionSetHandle none = nullptr;
    EXPECT_TRUE(xpmfault::FailDuring(xpmfault::Kind::kAllocation, 0,
                                     [&] { none = OptionSetCreate(0, 0, 0, 0); }) &&
                none == nullptr)
        << "no memory, no set";
}

}  // namespace
