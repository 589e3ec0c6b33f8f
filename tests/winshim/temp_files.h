// What the winshim tests share: the includes they need, a fresh file tree per test with its
// own Windows directory ($WINDIR) and current directory, whole-file helpers, child processes.
// (The standard containers, strings, tuples and functions come with gtest.)
#pragma once

#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "winshim/winshim.h"

namespace winshim_test {

using namespace std::string_literals;
using testing::PrintToString;

constexpr uid_t kNobody = 65534;
constexpr DWORD kUnchanged = 0xDEADBEEF;  // the last error set before a call, to see whether it changes

// A whole regular file; "<none>" when there is none.
inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::filesystem::is_regular_file(path) ? std::string(std::istreambuf_iterator<char>(in), {}) : "<none>";
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Runs fn in a child process and returns the child's wait status (0: fn returned 0). With
// `unprivileged` a root test runs fn as "nobody", so that file permissions bind.
inline int InChild(bool unprivileged, const std::function<int()>& fn) {
    const pid_t child = ::fork();
    const bool drop = unprivileged && ::geteuid() == 0;
    if (child == 0) {
        ::_exit(drop && (::setgroups(0, nullptr) || ::setresgid(kNobody, kNobody, kNobody) ||
                         ::setresuid(kNobody, kNobody, kNobody)) ? 255 : fn());
    }
    int status = -1;
    return ::waitpid(child, &status, 0) == child ? status : -1;
}

// Every test gets root_ (readable by all), root_/windows as $WINDIR, root_/cwd as the current
// directory and deep_, a directory whose path is longer than MAX_PATH; all of it goes afterwards.
class TempTreeTest : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/winshim-test-XXXXXX";
        ASSERT_TRUE(::mkdtemp(pattern) != nullptr && ::chmod(pattern, 0755) == 0);
        std::filesystem::create_directory(cwd_ = (root_ = pattern) + "/cwd");
        std::filesystem::create_directory(windows_ = root_ + "/windows");
        std::filesystem::create_directories(deep_ = root_ + "/" + std::string(200, 'd') + "/" + std::string(60, 'e'));
        ::setenv("WINDIR", windows_.c_str(), 1);
        std::filesystem::current_path(cwd_);
    }
    void TearDown() override {
        std::filesystem::current_path(oldCwd_);
        std::filesystem::remove_all(root_);
    }
    std::filesystem::path oldCwd_ = std::filesystem::current_path();
    std::string root_, cwd_, windows_, deep_;
};

}  // namespace winshim_test
