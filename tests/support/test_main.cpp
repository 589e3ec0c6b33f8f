// Shared main of every test executable: after each test, nothing the test made may be left
// behind (global or local memory blocks, locks, metafile handles, open descriptors).
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>

#include <gtest/gtest.h>

#include "testing/live_counts.h"

namespace {

bool g_leaked = false;

// Open descriptors of this process (the Windows build has its own main).
int OpenDescriptors() {
    return static_cast<int>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

class LeakListener : public testing::EmptyTestEventListener {
    WinshimCounts before_{};
    int descriptors_ = 0;
    void OnTestStart(const testing::TestInfo&) override {
        before_ = WinshimGetCounts();
        descriptors_ = OpenDescriptors();
    }
    void OnTestEnd(const testing::TestInfo& info) override {
        const WinshimCounts after = WinshimGetCounts();
        const int descriptors = OpenDescriptors();
        if (std::memcmp(&after, &before_, sizeof after) == 0 && descriptors == descriptors_) return;
        g_leaked = true;
        std::fprintf(stderr,
                     "LEAK in %s.%s: more global blocks %d, global locks %d, local blocks %d, "
                     "local locks %d, metafiles %d, descriptors %d\n",
                     info.test_suite_name(), info.name(),
                     int(after.globalBlocks - before_.globalBlocks),
                     int(after.globalLocks - before_.globalLocks),
                     int(after.localBlocks - before_.localBlocks),
                     int(after.localLocks - before_.localLocks),
                     int(after.metafiles - before_.metafiles), descriptors - descriptors_);
    }
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // A host started as a daemon has no standard input, so any file it opens may be descriptor
    // 0: the tests run that way, and a check that takes 0 for a failure fails them.
    ::close(STDIN_FILENO);
    testing::UnitTest::GetInstance()->listeners().Append(new LeakListener);
    const int result = RUN_ALL_TESTS();
    if (g_leaked)
        std::fprintf(stderr,
                     "FAILED: a test left blocks, locks, metafiles or descriptors behind\n");
    return g_leaked ? 1 : result;
}
