// Option sets: which escape codes move how many bytes in which direction, the options block
// round trip, and refusal of handles that are not option sets.
#include <gtest/gtest.h>

#include <cstring>

#include "vrgdi32/vrgdi32.h"

namespace {

TEST(OptionSetTest, Escapes) {
    OptionSetHandle set = OptionSetCreate(0, 0, 0, 0);
    uint8_t in[64];
    bool stored = false;
    for (int i = 0; i < 64; ++i) in[i] = static_cast<uint8_t>(i * 5 + 1);
    struct Case { uint32_t code, size; bool passIn, passOut; int32_t want; };
    // 42 stores in's first 56 bytes as the options block, 43 loads it; the others leave it be.
    const Case cases[] = {
        {43, 56, false, true, 0}, {42, 56, true, false, 0},   {3, 2, true, false, 0},   {3, 1, true, false, -1},
        {3, 2, false, true, -1},  {4, 2, false, true, 0},     {4, 4, false, true, -1},  {4, 2, true, false, -1},
        {26, 4, false, true, 0},  {26, 2, false, true, -1},   {40, 1, true, false, 0},  {40, 2, true, false, -1},
        {42, 55, true, false, -1}, {43, 57, false, true, -1}, {43, 56, true, false, -1}, {43, 56, false, true, 0},
        {0, 0, false, false, -1}, {5, 2, true, true, -1},     {81, 8, true, false, -1},
    };
    for (const Case& c : cases) {
        uint8_t out[64];
        std::memset(out, 0xEE, sizeof out);
        const int32_t got = OptionSetEscape(set, c.code, c.size, c.passIn ? in : nullptr, c.passOut ? out : nullptr, 0);
        const std::string what = "code " + std::to_string(c.code) + ", size " + std::to_string(c.size);
        EXPECT_EQ(got, c.want) << what << ", in " << c.passIn << ", out " << c.passOut;
        stored = stored || (c.code == 42 && got == 0);
        if (got != 0 || !c.passOut) continue;
        // A new set loads zeros, a stored block comes back as it was; queries answer zeros.
        for (uint32_t i = 0; i < c.size; ++i) EXPECT_EQ(out[i], c.code == 43 && stored ? in[i] : 0) << what << ", byte " << i;
        EXPECT_EQ(out[c.size], 0xEE) << what << ": wrote past its size";
    }
    EXPECT_EQ(GlobalFlags(set) & GMEM_LOCKCOUNT, 0u) << "every lock is given back";
    GlobalFree(set);
}

TEST(OptionSetTest, HandlesThatAreNotOptionSets) {
    uint8_t out[56];
    HGLOBAL plain = GlobalAlloc(GHND, 256), tiny = GlobalAlloc(GHND, 4), freed = OptionSetCreate(0, 0, 0, 0);
    GlobalFree(freed);
    for (HGLOBAL handle : {HGLOBAL{}, plain, tiny, freed, reinterpret_cast<HGLOBAL>(uintptr_t{0x4242})}) {
        EXPECT_EQ(OptionSetEscape(handle, 43, 56, nullptr, out, 0), -1) << handle;
        EXPECT_EQ(OptionSetEscape(handle, 4, 2, nullptr, out, 0), -1) << handle;
    }
    EXPECT_EQ(GlobalFlags(plain) & GMEM_LOCKCOUNT, 0u);
    GlobalFree(plain);
    GlobalFree(tiny);
    WinshimFailAllocationAfter(0);
    EXPECT_EQ(OptionSetCreate(0, 0, 0, 0), nullptr) << "no memory, no set";
    WinshimFailAllocationAfter(-1);
}

}  // namespace
