// What the winshim tests share: a fresh file tree per test with its own Windows directory
// ($WINDIR), temporary directory ($TMPDIR) and current directory. These tests also build for
// Windows, where they run against the system's own calls (under Wine): there the tree has no
// fifo, no child processes, and the Windows directory is the system's.
#pragma once

#if !defined(_WIN32)
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "child.h"
#include "testing/live_counts.h"
#endif

#include <algorithm>
#include <cstring>
#include <set>

#include <gtest/gtest.h>

#include "temp_dir.h"
#include "winshim/winshim.h"

namespace winshim_test {

using namespace std::string_literals;
using testing::PrintToString;
using xpmtest::ReadFile;
using xpmtest::WriteFile;

#if defined(_WIN32)
constexpr bool kWine = true;  // the Windows build's tests run under Wine
#else
constexpr bool kWine = false;
#endif
// The last error set before a call, to see whether the call changes it.
constexpr DWORD kUnchanged = 0xDEADBEEF;

// Paths compared with '/' for '\\', as Windows gives them.
inline std::string Slashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// Every test gets root_, root_/windows as $WINDIR, root_/tmp as $TMPDIR (shared by all users,
// as /tmp is), root_/cwd as the current directory, and deep_, a directory whose path is longer
// than MAX_PATH. On Windows windows_ is the system's: what a test adds there goes afterwards and
// win.ini gets its old bytes back; deep_ is an ordinary directory there.
class TempTreeTest : public testing::Test {
  protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        fs::create_directory(cwd_ = root_ + "/cwd");
#if defined(_WIN32)
        char windows[MAX_PATH];
        windows_ = Slashes({windows, GetWindowsDirectoryA(windows, MAX_PATH)});
        for (const auto& entry : fs::directory_iterator(windows_)) before_.insert(entry.path());
        winIni_ = ReadFile(windows_ + "/win.ini");
        fs::create_directories(deep_ = root_ + "/deep");
#else
        fs::create_directory(windows_ = root_ + "/windows");
        fs::create_directories(deep_ = root_ + "/" + std::string(200, 'd') + "/" +
                                       std::string(60, 'e'));
        fs::create_directory(tmp_ = root_ + "/tmp");
        fs::permissions(tmp_, fs::perms::all | fs::perms::sticky_bit);
        ::setenv("WINDIR", windows_.c_str(), 1);
        ::setenv("TMPDIR", tmp_.c_str(), 1);
#endif
        fs::current_path(cwd_);
    }
    void TearDown() override {
        std::filesystem::current_path(oldCwd_);
#if defined(_WIN32)
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(windows_, ignored))
            if (!before_.count(entry.path())) std::filesystem::remove_all(entry.path(), ignored);
        if (winIni_ != "<none>") WriteFile(windows_ + "/win.ini", winIni_);
#else
        // Where the tree was made, for the next test's.
        ::setenv("TMPDIR", std::filesystem::path(root_).parent_path().c_str(), 1);
#endif
    }
    const std::filesystem::path oldCwd_ = std::filesystem::current_path();
    const xpmtest::TempDir dir_{"winshim-test"};
    const std::string root_ = dir_.path();
    std::string cwd_, windows_, deep_, tmp_;
#if defined(_WIN32)
    std::set<std::filesystem::path> before_;
    std::string winIni_;
#endif
};

}  // namespace winshim_test
