// OpenFile as an existence test: full paths, the search order for bare names, the errors
// for missing files and over-long paths.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "temp_files.h"
#include "winshim/winshim.h"

namespace {

using winshim_test::TempTreeTest;
using winshim_test::WriteBytes;

constexpr DWORD kUnchanged = 0xDEADBEEF;

std::string ExecutableDirectory() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

class OpenFileTest : public TempTreeTest {
  protected:
    // Calls OpenFile(name, OF_EXIST) on a record filled with 0xCC.
    HFILE Call(const std::string& name) {
        std::memset(&of_, 0xCC, sizeof of_);
        SetLastError(kUnchanged);
        HFILE result = OpenFile(name.c_str(), &of_, OF_EXIST);
        error_ = GetLastError();
        return result;
    }
    OFSTRUCT of_{};
    DWORD error_ = 0;
};

TEST_F(OpenFileTest, FoundFilesReportTheirFullPath) {  // O2, O-a, O-d, O-f
    std::filesystem::create_directory("sub");
    WriteBytes("sub/x.ini", "x");
    WriteBytes(windows_ + "/only-in-windows.ini", "w");
    WriteBytes("only-in-cwd.ini", "c");
    struct Case {
        const char* name;
        std::string input;
        std::string wantPath;
    };
    const Case cases[] = {
        {"O-a absolute path", cwd_ + "/sub/x.ini", cwd_ + "/sub/x.ini"},
        {"relative path", "sub/x.ini", cwd_ + "/sub/x.ini"},
        {"dot components", "./sub/../sub/./x.ini", cwd_ + "/sub/x.ini"},
        {"O-d bare name in the current directory", "only-in-cwd.ini", cwd_ + "/only-in-cwd.ini"},
        {"O-f bare name in the Windows directory", "only-in-windows.ini", windows_ + "/only-in-windows.ini"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Call(c.input), 1) << c.name;
        EXPECT_EQ(of_.cBytes, 136) << c.name;
        EXPECT_EQ(of_.nErrCode, 0) << c.name;
        EXPECT_STREQ(of_.szPathName, c.wantPath.c_str()) << c.name;
        EXPECT_EQ(error_, kUnchanged) << c.name << ": success leaves the last error";
    }
    OFSTRUCT read{};
    EXPECT_EQ(OpenFile("sub/x.ini", &read, OF_READ), 1) << "OF_READ tests existence too";
}

TEST_F(OpenFileTest, TheProgramDirectoryComesFirst) {  // O-e
    const std::string name = "winshim-open-file-" + std::to_string(::getpid()) + ".ini";
    const std::string inExeDir = ExecutableDirectory() + "/" + name;
    WriteBytes(name, "cwd");
    WriteBytes(windows_ + "/" + name, "windows");
    EXPECT_EQ(Call(name), 1);
    EXPECT_STREQ(of_.szPathName, (cwd_ + "/" + name).c_str()) << "cwd before the Windows directory";
    if (inExeDir.size() < OFS_MAXPATHNAME) {
        WriteBytes(inExeDir, "exe");
        EXPECT_EQ(Call(name), 1);
        EXPECT_STREQ(of_.szPathName, inExeDir.c_str());
        std::filesystem::remove(inExeDir);
    }
}

TEST_F(OpenFileTest, MissingAndUnreadableFilesAreNotFound) {  // O3, O-b
    std::filesystem::create_directory("adir");
    ASSERT_EQ(::mkfifo("fifo.ini", 0666), 0);
    WriteBytes("readable.ini", "r");
    WriteBytes("unreadable.ini", "u");
    ASSERT_EQ(::chmod("unreadable.ini", 0), 0);
    // Permissions only bind a user who is not root: those rows run as one, in a child.
    ASSERT_EQ(::chmod(root_.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(cwd_.c_str(), 0755), 0);
    struct Case {
        const char* name;
        const char* input;
        bool unprivileged;
        HFILE want;
    };
    const Case cases[] = {
        {"O-b missing", "./foo-bar-foo.baz", false, HFILE_ERROR},
        {"missing bare name", "no-such-bare-name.ini", false, HFILE_ERROR},
        {"a directory is not a file", "./adir", false, HFILE_ERROR},
        {"a FIFO is not a file, and must not block", "./fifo.ini", false, HFILE_ERROR},
        {"mode 000 cannot be opened", "./unreadable.ini", true, HFILE_ERROR},
        {"mode 644 can, as the same user", "./readable.ini", true, 1},
    };
    for (const Case& c : cases) {
        if (c.unprivileged) {
            EXPECT_EQ(winshim_test::RunUnprivileged([&] { return Call(c.input) == c.want ? 0 : 1; }), 0)
                << c.name;
            continue;
        }
        EXPECT_EQ(Call(c.input), c.want) << c.name;
        EXPECT_EQ(error_, ERROR_FILE_NOT_FOUND) << c.name;
        EXPECT_EQ(of_.nErrCode, ERROR_FILE_NOT_FOUND) << c.name;
    }
}

TEST_F(OpenFileTest, LongPathsFail) {  // O4, O-c

    const std::string longName = "./foo-bar-foo.baz" + std::string(130, '+');
    EXPECT_EQ(Call(longName), HFILE_ERROR);
    EXPECT_EQ(error_, ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(of_.nErrCode, ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(static_cast<unsigned char>(of_.szPathName[0]), 0xCC) << "szPathName untouched";

    // Exactly 127 characters still fit; 128 do not.
    std::filesystem::path base = cwd_ + "/";
    for (size_t total : {size_t{127}, size_t{128}}) {
        std::string path = cwd_ + "/" + std::string(total - cwd_.size() - 1, 'n');
        WriteBytes(path, "");
        HFILE got = Call(path);
        if (total == 127) {
            EXPECT_EQ(got, 1) << total << " characters";
        } else {
            EXPECT_EQ(got, HFILE_ERROR) << total << " characters";
        }
    }
    SetLastError(kUnchanged);
    EXPECT_EQ(OpenFile("x", nullptr, OF_EXIST), HFILE_ERROR) << "no OFSTRUCT";
}

}  // namespace
