// What the winshim tests share: the includes they need, a fresh file tree per test with its
// own Windows directory ($WINDIR) and current directory, whole-file helpers, child processes.
// These tests also build for Windows, where they run against the system's own calls (under
// Wine): there the tree has no fifo, no child processes and the real Windows directory.
// (The standard containers, strings, tuples and functions come with gtest.)
#pragma once

#if !defined(_WIN32)
#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "winshim/winshim.h"
#if !defined(_WIN32)
#include "testing/live_counts.h"
#endif

namespace winshim_test {

using namespace std::string_literals;
using testing::PrintToString;

#if defined(_WIN32)
constexpr bool kWine = true;  // the Windows build's tests run under Wine
#else
constexpr bool kWine = false;
constexpr uid_t kNobody = 65534;
#endif
constexpr DWORD kUnchanged =
    0xDEADBEEF;  // the last error set before a call, to see whether it changes

// A whole regular file; "<none>" when there is none.
inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::filesystem::is_regular_file(path)
               ? std::string(std::istreambuf_iterator<char>(in), {})
               : "<none>";
}

// Paths compared with '/' for '\\', as Windows gives them.
inline std::string Slashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

#if !defined(_WIN32)
// Starts fn in a child process, whose wait status Finish returns (0: fn returned 0). With
// `unprivileged` a root test runs fn as "nobody", so that file permissions bind.
inline pid_t StartChild(bool unprivileged, const std::function<int()>& fn) {
    const pid_t child = ::fork();
    const bool drop = unprivileged && ::geteuid() == 0;
    if (child == 0) {
        ::_exit(drop && (::setgroups(0, nullptr) || ::setresgid(kNobody, kNobody, kNobody) ||
                         ::setresuid(kNobody, kNobody, kNobody))
                    ? 255
                    : fn());
    }
    return child;
}
inline int Finish(pid_t child) {
    int status = -1;
    return ::waitpid(child, &status, 0) == child ? status : -1;
}
inline int InChild(bool unprivileged, const std::function<int()>& fn) {
    return Finish(StartChild(unprivileged, fn));
}
#endif

// Every test gets root_ (readable by all), root_/windows as $WINDIR, root_/tmp as $TMPDIR,
// root_/cwd as the current directory and deep_, a directory whose path is longer than MAX_PATH;
// all of it goes afterwards.
// On Windows, windows_ is the system's Windows directory: what a test adds there goes, and its
// win.ini gets its old bytes back. deep_ is an ordinary directory there: paths stop at MAX_PATH.
class TempTreeTest : public testing::Test {
  protected:
    void SetUp() override {
#if defined(_WIN32)
        char root[MAX_PATH];
        ASSERT_NE(GetTempFileNameA(std::filesystem::temp_directory_path().string().c_str(), "wst",
                                   0, root),
                  0u);
        std::filesystem::remove(root_ = Slashes(root));
        std::filesystem::create_directory(root_);
        char windows[MAX_PATH];
        windows_ = Slashes({windows, GetWindowsDirectoryA(windows, MAX_PATH)});
        for (const auto& entry : std::filesystem::directory_iterator(windows_))
            before_.insert(entry.path());
        winIni_ = ReadBytes(windows_ + "/win.ini");
        std::filesystem::create_directories(deep_ = root_ + "/deep");
#else
        char pattern[] = "/tmp/winshim-test-XXXXXX";
        ASSERT_TRUE(::mkdtemp(pattern) != nullptr && ::chmod(pattern, 0755) == 0);
        root_ = pattern;
        std::filesystem::create_directory(windows_ = root_ + "/windows");
        std::filesystem::create_directories(deep_ = root_ + "/" + std::string(200, 'd') + "/" +
                                                    std::string(60, 'e'));
        ::setenv("WINDIR", windows_.c_str(), 1);
        // A temporary directory of the test's own, shared by every user as /tmp is.
        std::filesystem::create_directory(tmp_ = root_ + "/tmp");
        ASSERT_EQ(::chmod(tmp_.c_str(), 01777) | ::setenv("TMPDIR", tmp_.c_str(), 1), 0);
#endif
        std::filesystem::create_directory(cwd_ = root_ + "/cwd");
        std::filesystem::current_path(cwd_);
    }
    void TearDown() override {
        std::filesystem::current_path(oldCwd_);
#if defined(_WIN32)
        std::error_code ignored;  // what cannot go still leaves the rest to clean
        using std::filesystem::perms, std::filesystem::perm_options;
        for (const auto& entry :
             std::filesystem::recursive_directory_iterator(root_, ignored))  // read-only files
            std::filesystem::permissions(entry.path(), perms::owner_write, perm_options::add,
                                         ignored);
        std::filesystem::remove_all(root_, ignored);
        for (const auto& entry : std::filesystem::directory_iterator(windows_, ignored))
            if (!before_.count(entry.path())) std::filesystem::remove_all(entry.path(), ignored);
        if (winIni_ != "<none>") WriteBytes(windows_ + "/win.ini", winIni_);
#else
        std::filesystem::remove_all(root_);
#endif
    }
    std::filesystem::path oldCwd_ = std::filesystem::current_path();
    std::string root_, cwd_, windows_, deep_, tmp_;
#if defined(_WIN32)
    std::set<std::filesystem::path> before_;
    std::string winIni_;
#endif
};

}  // namespace winshim_test
