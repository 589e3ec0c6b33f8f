// Shared main of every test executable: after each test, nothing the test made may be left
// behind (global or local memory blocks, locks, metafile handles).
#include <cstdio>
#include <cstring>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "testing/live_counts.h"

namespace {

bool g_leaked = false;

class LeakListener : public testing::EmptyTestEventListener {
    WinshimCounts before_{};
    void OnTestStart(const testing::TestInfo&) override { before_ = WinshimGetCounts(); }
    void OnTestEnd(const testing::TestInfo& info) override {
        const WinshimCounts after = WinshimGetCounts();
        if (std::memcmp(&after, &before_, sizeof after) == 0) return;
        g_leaked = true;
        std::fprintf(
            stderr,
            "LEAK in %s.%s: more global blocks %d, global locks %d, local blocks %d, "
            "local locks %d, metafiles %d\n",
            info.test_suite_name(), info.name(), int(after.globalBlocks - before_.globalBlocks),
            int(after.globalLocks - before_.globalLocks),
            int(after.localBlocks - before_.localBlocks),
            int(after.localLocks - before_.localLocks), int(after.metafiles - before_.metafiles));
    }
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
#ifndef _WIN32
    // A host started as a daemon has no standard input, so any file it opens may be descriptor
    // 0: the tests run that way, and a check that takes 0 for a failure fails them.
    ::close(STDIN_FILENO);
#endif
    testing::UnitTest::GetInstance()->listeners().Append(new LeakListener);
    const int result = RUN_ALL_TESTS();
    if (g_leaked) std::fprintf(stderr, "FAILED: a test left blocks, locks or metafiles behind\n");
    return g_leaked ? 1 : result;
}
