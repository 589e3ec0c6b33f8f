// Shared main of every test executable: after each test, nothing the test made may be left
// behind (global or local memory blocks, locks, metafile handles).
#include <cstdio>

#include <gtest/gtest.h>

#include "winshim/winshim.h"

namespace {

bool operator==(const WinshimCounts& a, const WinshimCounts& b) {
    return a.globalBlocks == b.globalBlocks && a.globalLocks == b.globalLocks &&
           a.localBlocks == b.localBlocks && a.localLocks == b.localLocks &&
           a.metafiles == b.metafiles;
}

class LeakListener : public testing::EmptyTestEventListener {
  public:
    void OnTestStart(const testing::TestInfo&) override { before_ = WinshimGetCounts(); }
    void OnTestEnd(const testing::TestInfo& info) override {
        WinshimCounts after = WinshimGetCounts();
        if (after == before_) return;
        leaked_ = true;
        std::fprintf(stderr,
                     "LEAK in %s.%s: global blocks %llu -> %llu, global locks %llu -> %llu, "
                     "local blocks %llu -> %llu, local locks %llu -> %llu, metafiles %llu -> %llu\n",
                     info.test_suite_name(), info.name(),
                     (unsigned long long)before_.globalBlocks, (unsigned long long)after.globalBlocks,
                     (unsigned long long)before_.globalLocks, (unsigned long long)after.globalLocks,
                     (unsigned long long)before_.localBlocks, (unsigned long long)after.localBlocks,
                     (unsigned long long)before_.localLocks, (unsigned long long)after.localLocks,
                     (unsigned long long)before_.metafiles, (unsigned long long)after.metafiles);
    }
    bool leaked() const { return leaked_; }

  private:
    WinshimCounts before_{};
    bool leaked_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    auto* listener = new LeakListener;
    testing::UnitTest::GetInstance()->listeners().Append(listener);
    int result = RUN_ALL_TESTS();
    if (listener->leaked()) {
        std::fprintf(stderr, "FAILED: some tests left memory blocks, locks or metafiles behind\n");
        return 1;
    }
    return result;
}
