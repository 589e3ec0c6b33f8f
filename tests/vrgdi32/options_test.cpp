// Option sets: which escape codes move how many bytes in which direction, the options
// block round trip, and refusal of handles that are not option sets.
#include <gtest/gtest.h>

#include <cstring>

#include "vrgdi32/vrgdi32.h"

namespace {

TEST(OptionSetTest, CodesTable) {
    OptionSetHandle set = OptionSetCreate(0, 0, 0, 0);
    ASSERT_NE(set, nullptr);
    uint8_t in[64];
    std::memset(in, 0x5A, sizeof in);
    struct Case {
        uint32_t code;
        uint32_t size;
        bool passIn;
        bool passOut;
        int32_t want;
    };
    const Case cases[] = {
        {3, 2, true, false, 0},    {3, 1, true, false, -1},   {3, 2, false, false, -1},
        {4, 2, false, true, 0},    {4, 4, false, true, -1},   {4, 2, true, false, -1},
        {26, 4, false, true, 0},   {26, 2, false, true, -1},  {40, 1, true, false, 0},
        {40, 2, true, false, -1},  {42, 56, true, false, 0},  {42, 55, true, false, -1},
        {43, 56, false, true, 0},  {43, 57, false, true, -1}, {43, 56, true, false, -1},
        {0, 0, false, false, -1},  {5, 2, true, true, -1},    {81, 8, true, false, -1},
    };
    for (const Case& c : cases) {
        uint8_t out[64];
        std::memset(out, 0xEE, sizeof out);
        const int32_t got = OptionSetEscape(set, c.code, c.size, c.passIn ? in : nullptr,
                                            c.passOut ? out : nullptr, 0);
        EXPECT_EQ(got, c.want) << "code " << c.code << " size " << c.size << " in " << c.passIn << " out "
                               << c.passOut;
        if (got == 0 && c.passOut) {
            for (uint32_t i = 0; i < c.size; ++i) {
                if (c.code == 43) break;
                EXPECT_EQ(out[i], 0) << "code " << c.code << " answers zeros, byte " << i;
            }
            EXPECT_EQ(out[c.size], 0xEE) << "code " << c.code << " wrote past its size";
        }
    }
    EXPECT_EQ(GlobalFlags(set) & GMEM_LOCKCOUNT, 0u) << "every lock is given back";
    GlobalFree(set);
}

TEST(OptionSetTest, OptionsBlockRoundTrip) {
    OptionSetHandle set = OptionSetCreate(0, 0, 0, 0);
    ASSERT_NE(set, nullptr);
    uint8_t loaded[56];
    std::memset(loaded, 0xEE, sizeof loaded);
    ASSERT_EQ(OptionSetEscape(set, 43, 56, nullptr, loaded, 0), 0);
    for (uint8_t b : loaded) EXPECT_EQ(b, 0) << "a new set holds a zero block";
    uint8_t stored[56];
    for (int i = 0; i < 56; ++i) stored[i] = static_cast<uint8_t>(i * 5 + 1);
    ASSERT_EQ(OptionSetEscape(set, 42, 56, stored, nullptr, 0), 0);
    // The small options do not touch the block.
    const uint16_t three = 0x1234;
    const uint8_t forty = 9;
    ASSERT_EQ(OptionSetEscape(set, 3, 2, &three, nullptr, 0), 0);
    ASSERT_EQ(OptionSetEscape(set, 40, 1, &forty, nullptr, 0), 0);
    ASSERT_EQ(OptionSetEscape(set, 43, 56, nullptr, loaded, 0), 0);
    EXPECT_EQ(std::memcmp(loaded, stored, 56), 0);
    GlobalFree(set);
}

TEST(OptionSetTest, HandlesThatAreNotOptionSets) {
    uint8_t out[56];
    HGLOBAL plain = GlobalAlloc(GHND, 256);  // big enough, but no option set
    HGLOBAL tiny = GlobalAlloc(GHND, 4);
    OptionSetHandle freed = OptionSetCreate(0, 0, 0, 0);
    GlobalFree(freed);
    struct Case {
        const char* name;
        HGLOBAL handle;
    };
    const Case cases[] = {
        {"null", nullptr},
        {"plain global block", plain},
        {"block smaller than an option set", tiny},
        {"freed option set", freed},
        {"invented value", reinterpret_cast<HGLOBAL>(uintptr_t{0x4242})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OptionSetEscape(c.handle, 43, 56, nullptr, out, 0), -1) << c.name;
        EXPECT_EQ(OptionSetEscape(c.handle, 4, 2, nullptr, out, 0), -1) << c.name;
    }
    EXPECT_EQ(GlobalFlags(plain) & GMEM_LOCKCOUNT, 0u);
    GlobalFree(plain);
    GlobalFree(tiny);
    WinshimFailAllocationAfter(0);
    EXPECT_EQ(OptionSetCreate(0, 0, 0, 0), nullptr) << "no memory, no set";
    WinshimFailAllocationAfter(-1);
}

}  // namespace
