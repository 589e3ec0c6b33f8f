// Work done in a child process (POSIX only), as the test's own user or as "nobody", for whom
// file permissions bind as for any user (they do not for root).
#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace xpmtest {

constexpr uid_t kNobody = 65534;

// Forks; the child (as "nobody" when asNobody and this is root) exits with fn's result, or
// 255 when it cannot drop its privileges. Returns the child's id.
inline pid_t StartChild(const std::function<int()>& fn, bool asNobody = false) {
    std::fflush(nullptr);  // the child must not write the parent's buffered output again
    const pid_t child = ::fork();
    if (child != 0) return child;
    const bool drop = asNobody && ::geteuid() == 0;
    if (drop && (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
                 ::setresuid(kNobody, kNobody, kNobody) != 0))
        ::_exit(255);
    const int result = fn();
    std::fflush(nullptr);
    ::_exit(result);
}

// The child's wait status (0: it exited with 0), or -1.
inline int FinishChild(pid_t child) {
    int status = -1;
    return ::waitpid(child, &status, 0) == child ? status : -1;
}

inline int InChild(const std::function<int()>& fn, bool asNobody = false) {
    return FinishChild(StartChild(fn, asNobody));
}

// Runs checks (gtest expectations) in a child, as "nobody" when asked: fails the test when
// one of them failed there. Their messages appear in the child's output.
inline void ExpectInChild(const std::function<void()>& checks, bool asNobody,
                          const std::string& what) {
    const auto run = [&] {
        checks();
        return testing::Test::HasFailure() ? 1 : 0;
    };
    EXPECT_EQ(InChild(run, asNobody), 0)
        << what << ": the checks in the child process (as " << (asNobody ? "nobody" : "the owner")
        << ") failed, see above";
}

}  // namespace xpmtest
