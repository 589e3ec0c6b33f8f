// Shared main of every test executable: after each test, nothing the test made may be left
// behind (global or local memory blocks, locks, metafile handles).
#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

#include "winshim/winshim.h"

namespace {

bool g_leaked = false;

class LeakListener : public testing::EmptyTestEventListener {
    WinshimCounts before_{};
    void OnTestStart(const testing::TestInfo&) override { before_ = WinshimGetCounts(); }
    void OnTestEnd(const testing::TestInfo& info) override {
        const WinshimCounts after = WinshimGetCounts();
        if (std::memcmp(&after, &before_, sizeof after) == 0) return;
        g_leaked = true;
        uint64_t was[5], now[5];
        static_assert(sizeof was == sizeof after);
        std::memcpy(was, &before_, sizeof was), std::memcpy(now, &after, sizeof now);
        std::fprintf(stderr, "LEAK in %s.%s (global blocks, global locks, local blocks, local locks, metafiles):",
                     info.test_suite_name(), info.name());
        for (int i = 0; i < 5; ++i) std::fprintf(stderr, " %llu -> %llu", (unsigned long long)was[i], (unsigned long long)now[i]);
        std::fprintf(stderr, "\n");
    }
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new LeakListener);
    const int result = RUN_ALL_TESTS();
    if (g_leaked) std::fprintf(stderr, "FAILED: some tests left memory blocks, locks or metafiles behind\n");
    return g_leaked ? 1 : result;
}
