// Writing profile files: the exact bytes Windows leaves after each write, edits that keep
// every other byte, file creation and its errors, in-place writes that survive a writer's
// death, and writers in several processes.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "temp_files.h"
#include "winshim/winshim.h"

namespace {

using winshim_test::Exists;
using winshim_test::ReadBytes;
using winshim_test::TempTreeTest;
using winshim_test::Visible;
using winshim_test::WriteBytes;
using namespace std::string_literals;

constexpr DWORD kUnchanged = 0xDEADBEEF;

struct Write {
    const char* app;
    const char* key;
    const char* value;
};

struct WriteCase {
    const char* name;
    std::optional<std::string> start;  // nullopt: no file
    std::vector<Write> writes;
    std::string want;
};

class ProfileWrite : public TempTreeTest {
  protected:
    // Entries in a directory, to see left-over temporary files.
    static size_t FilesIn(const std::string& directory) {
        size_t n = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) ++n;
        return n;
    }
    size_t FilesInCwd() const { return FilesIn(cwd_); }
    // Applies the writes to ./t.ini one after another; every one must return TRUE.
    void Run(const WriteCase& c) {
        std::remove("t.ini");
        if (c.start) WriteBytes("t.ini", *c.start);
        for (const Write& w : c.writes) {
            EXPECT_TRUE(WritePrivateProfileStringA(w.app, w.key, w.value, "./t.ini"))
                << c.name << ": (" << (w.app ? w.app : "NULL") << ", " << (w.key ? w.key : "NULL")
                << ", " << (w.value ? w.value : "NULL") << ")";
        }
        EXPECT_EQ(Visible(ReadBytes("t.ini").value_or("<no file>")), Visible(c.want)) << c.name;
    }
};

const std::string kP1 =
    "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n[App2]\r\nkey4=string4\r\n"
    "[App3]\r\nkey5=string5\r\n";

TEST_F(ProfileWrite, WindowsTestVectors) {  // P1-P7, P10
    const std::vector<WriteCase> cases = {
        {"P1 new file", std::nullopt,
         {{"App1", "key1", "string1"}, {"App1", "key2", "string2"}, {"App1", "key3", "string3"},
          {"App2", "key4", "string4"}, {"App3", "key5", "string5"}},
         kP1},
        {"P2 delete a key twice", kP1,
         {{"App1", "key2", nullptr}, {"App1", "key2", nullptr}},
         "[App1]\r\nkey1=string1\r\nkey3=string3\r\n[App2]\r\nkey4=string4\r\n[App3]\r\n"
         "key5=string5\r\n"},
        {"P3 delete sections", kP1, {{"App1", nullptr, "string1"}, {"App2", nullptr, nullptr}},
         "[App3]\r\nkey5=string5\r\n"},
        {"P4 delete the last key", "[App3]\r\nkey5=string5\r\n", {{"App3", "key5", nullptr}}, "[App3]\r\n"},
        {"P5 empty value", "", {{"App", "key", ""}}, "[App]\r\nkey=\r\n"},
        {"P6 new keys after the last key", "[s]\r\nb=value\r\na=value\r\n",
         {{"s", "z", ""}, {"s", "b", ""}, {"s", "y", ""}, {"s", "a", ""}}, "[s]\r\nb=\r\na=\r\nz=\r\ny=\r\n"},
        {"P7 comment keys stay after the keys", "",
         {{"s", "z", ""}, {"s", ";y", ""}, {"s", "a", ""}, {"s", ";b", ""}, {"s", ";c", ""}},
         "[s]\r\nz=\r\na=\r\n;c=\r\n;b=\r\n;y=\r\n"},
        {"P10 bytes before the first section", "Data \0 before \0 first \0 section"s,
         {{"section1", "key1", "string1"}},
         "Data \0 before \0 first \0 section"s + "\r\n[section1]\r\nkey1=string1\r\n"},
    };
    for (const WriteCase& c : cases) Run(c);
}

TEST_F(ProfileWrite, EditsKeepEveryOtherByte) {  // W2-W6, W8
    const std::string messy = "; header comment\n\n[One]\nA = 1\n  b=2\n; trailing comment\n\n[Two]\r\nc=3";
    const std::vector<WriteCase> cases = {
        {"W3 replace keeps the key's spelling and other lines", messy, {{"one", "B", "new"}},
         "; header comment\n\n[One]\nA = 1\n  b=new\n; trailing comment\n\n[Two]\r\nc=3"},
        {"W3 replace keeps text up to '='", messy, {{"One", "a", "x"}},
         "; header comment\n\n[One]\nA =x\n  b=2\n; trailing comment\n\n[Two]\r\nc=3"},
        {"W3 replace the last line without a line break", messy, {{"Two", "c", "4"}},
         "; header comment\n\n[One]\nA = 1\n  b=2\n; trailing comment\n\n[Two]\r\nc=4"},
        {"W4 add after the last key, before trailing comments", messy, {{"One", "d", "4"}},
         "; header comment\n\n[One]\nA = 1\n  b=2\nd=4\r\n; trailing comment\n\n[Two]\r\nc=3"},
        {"W4 add after a last line without a line break", messy, {{"Two", "d", "4"}},
         "; header comment\n\n[One]\nA = 1\n  b=2\n; trailing comment\n\n[Two]\r\nc=3\r\nd=4\r\n"},
        {"W4 add to a section without keys", "[a]\r\n;c\r\n", {{"a", "k", "v"}}, "[a]\r\nk=v\r\n;c\r\n"},
        {"W4 add to the first duplicate section", "[a]\r\nk=1\r\n[a]\r\nj=2\r\n",
         {{"a", "j", "3"}}, "[a]\r\nk=1\r\nj=3\r\n[a]\r\nj=2\r\n"},
        {"W2 new section after text without a line break", "[a]\r\nk=1", {{"b", "k", "2"}},
         "[a]\r\nk=1\r\n[b]\r\nk=2\r\n"},
        {"W2 new section after a lone CR", "[a]\rk=1\r", {{"b", "k", "2"}}, "[a]\rk=1\r[b]\r\nk=2\r\n"},
        {"W5 delete keeps neighbours", messy, {{"One", "a", nullptr}},
         "; header comment\n\n[One]\n  b=2\n; trailing comment\n\n[Two]\r\nc=3"},
        {"W5 delete a missing key changes nothing", messy,
         {{"One", "zz", nullptr}, {"Nope", "a", nullptr}}, messy},
        {"W6 delete sections keeps comments", ";c0\r\n[s]\r\n;c1\r\n[t]\r\n;c2\r\n",
         {{"s", nullptr, nullptr}, {"t", nullptr, "ignored"}}, ";c0\r\n;c1\r\n;c2\r\n"},
        {"W6 delete a missing section", messy, {{"Nope", nullptr, nullptr}}, messy},
        {"W6 delete the first duplicate only", "[a]\r\nk=1\r\n[a]\r\nj=2\r\n",
         {{"a", nullptr, nullptr}}, "[a]\r\nj=2\r\n"},
        {"W8 names trimmed of spaces, value verbatim", "", {{" sec ", "  key ", " value "}},
         "[sec]\r\nkey= value \r\n"},
        {"W8 a ';' key writes a comment line", "[s]\r\n;k=old\r\n", {{"s", ";k", "v"}},
         "[s]\r\n;k=v\r\n;k=old\r\n"},
        {"comment line is never deleted as a key", "[s]\r\n;k=v\r\n", {{"s", ";k", nullptr}}, "[s]\r\n;k=v\r\n"},
        {"same value rewrites nothing", "[s]\r\nk=v\n", {{"s", "k", "v"}}, "[s]\r\nk=v\n"},
    };
    for (const WriteCase& c : cases) Run(c);
}

TEST_F(ProfileWrite, CreatingAFileReportsFileNotFound) {  // W1, P9
    SetLastError(kUnchanged);
    EXPECT_TRUE(WritePrivateProfileStringA("App", "key", "string", "./new.ini"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Visible(ReadBytes("new.ini").value_or("")), Visible("[App]\r\nkey=string\r\n"));
    WriteBytes("empty.ini", "");
    SetLastError(0);
    EXPECT_TRUE(WritePrivateProfileStringA("App", "key", "string", "./empty.ini"));
    EXPECT_EQ(GetLastError(), 0u) << "an existing empty file";
    EXPECT_TRUE(WritePrivateProfileStringA("App", "key", nullptr, "./absent.ini"));
    EXPECT_TRUE(WritePrivateProfileStringA("App", nullptr, nullptr, "./absent.ini"));
    EXPECT_FALSE(Exists("absent.ini")) << "a delete must not create the file";
    // P9: a bare name goes to the Windows directory.
    EXPECT_TRUE(WritePrivateProfileStringA("App", "key", "string", "win1.tmp"));
    EXPECT_EQ(ReadBytes(windows_ + "/win1.tmp"), "[App]\r\nkey=string\r\n");
    EXPECT_FALSE(Exists(cwd_ + "/win1.tmp"));
    char buffer[20];
    EXPECT_EQ(GetPrivateProfileStringA("App", "key", "", buffer, sizeof buffer, "win1.tmp"), 6u);
}

TEST_F(ProfileWrite, RefusedCalls) {  // W7, W9, P8
    WriteBytes("keep.ini", "[a]\r\nk=1\r\n");
    struct Case {
        const char* name;
        const char* app;
        const char* key;
        const char* value;
        std::string file;
        DWORD wantError;
    };
    const std::vector<Case> cases = {
        {"P8 null section", nullptr, "key", "string", "./keep.ini", ERROR_FILE_NOT_FOUND},
        {"P8 null section, new file", nullptr, "key", "string", "./never.ini", ERROR_FILE_NOT_FOUND},
        {"W9 empty name", "a", "k", "v", "", ERROR_ACCESS_DENIED},
        {"W9 missing directory", "a", "k", "v", "./nodir/x.ini", ERROR_PATH_NOT_FOUND},
        {"a directory as the file", "a", "k", "v", cwd_, ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SetLastError(kUnchanged);
        EXPECT_FALSE(WritePrivateProfileStringA(c.app, c.key, c.value, c.file.c_str())) << c.name;
        EXPECT_EQ(GetLastError(), c.wantError) << c.name;
    }
    EXPECT_EQ(ReadBytes("keep.ini"), "[a]\r\nk=1\r\n");
    EXPECT_FALSE(Exists("never.ini"));
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, "./keep.ini")) << "flush";

    // A bare name that cannot be created in the Windows directory.
    ::setenv("WINDIR", (root_ + "/missing").c_str(), 1);
    SetLastError(kUnchanged);
    EXPECT_FALSE(WritePrivateProfileStringA("a", "k", "v", "bare.ini"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(ProfileWrite, WrittenValuesReadBack) {
    // Reads trim blanks and remove one enclosing pair of quotes.
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"plain", "plain"}, {" spaced ", "spaced"}, {"a=b=c", "a=b=c"}, {"x;y", "x;y"}, {"\"q\"", "q"}};
    for (const auto& [value, want] : cases) {
        ASSERT_TRUE(WritePrivateProfileStringA("S", "K", value.c_str(), "./rt.ini"));
        char buffer[64];
        DWORD got = GetPrivateProfileStringA("S", "K", "<none>", buffer, sizeof buffer, "./rt.ini");
        EXPECT_EQ(std::string(buffer, got), want) << "value [" << value << "]";
    }
}

TEST_F(ProfileWrite, Utf16FilesStayUtf16) {  // W10
    const std::string start("\xFF\xFE[\0a\0]\0\r\0\n\0k\0=\0\xE9\0\r\0\n\0", 22);
    const std::vector<WriteCase> cases = {
        {"a new key", start, {{"a", "j", "x"}}, start + "j\0=\0x\0\r\0\n\0"s},
        {"an odd trailing byte stays", start + "Z", {{"a", "j", "x"}}, start + "j\0=\0x\0\r\0\n\0Z"s},
        {"a surrogate pair", start, {{"a", "j", "\xF0\x9F\x98\x80"}},
         start + "j\0=\0\x3D\xD8\x00\xDE\r\0\n\0"s},
        {"UTF-8 starting with E0", start, {{"a", "j", "\xE0\xA0\x80"}}, start + "j\0=\0\x00\x08\r\0\n\0"s},
    };
    for (const WriteCase& c : cases) Run(c);
}

TEST_F(ProfileWrite, AFailedOrInterruptedWriteLeavesTheOldFile) {
    const std::string old = "[a]\r\nk=1\r\n";
    const std::string value(500, 'v');
    // Limits the size a file may grow to, so that writing the new bytes fails part way; with
    // SIGXFSZ at its default the writer dies there instead.
    const auto writeWithSmallFiles = [&] {
        struct rlimit small {128, 128};
        if (::setrlimit(RLIMIT_FSIZE, &small) != 0) return -1;
        return WritePrivateProfileStringA("a", "k", value.c_str(), "./big.ini") ? 1 : 0;
    };
    for (bool dies : {false, true}) {
        const char* name = dies ? "the writer dies" : "the write fails";
        WriteBytes("big.ini", old);
        const pid_t child = ::fork();
        if (child == 0) {
            struct rlimit noCore {0, 0};
            (void)::setrlimit(RLIMIT_CORE, &noCore);
            std::signal(SIGXFSZ, dies ? SIG_DFL : SIG_IGN);
            SetLastError(kUnchanged);
            const int written = writeWithSmallFiles();
            ::_exit(written == 0 && GetLastError() != kUnchanged ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (dies) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << name << ": status " << status;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name << ": returned TRUE";
        }
        char buffer[8];
        EXPECT_EQ(GetPrivateProfileStringA("a", "k", "", buffer, sizeof buffer, "./big.ini"), 1u) << name;
        EXPECT_STREQ(buffer, "1") << name;
        EXPECT_EQ(Visible(ReadBytes("big.ini").value_or("")), Visible(old)) << name;
        EXPECT_EQ(FilesInCwd(), 1u) << name << ": a temporary file or copy was left behind";
    }
}

TEST_F(ProfileWrite, WritesKeepTheFileAndRefuseReadOnlyOnes) {
    const std::string old = "[a]\r\nk=1\r\n";
    const std::string changed = "[a]\r\nk=2\r\n";
    std::filesystem::create_directory("ro");
    // The read-only directory only binds a user who is not root: that row runs as one.
    ASSERT_EQ(::chmod(root_.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(cwd_.c_str(), 0755), 0);
    struct Case {
        const char* name;
        std::string file;
        std::function<int(const char*)> prepare;
        bool unprivileged;
        bool want;
    };
    const Case cases[] = {
        {"a hard link sees the change", "linked.ini", [](const char* f) { return ::link(f, "twin.ini"); },
         false, true},
        {"the owner stays", "owned.ini",
         [](const char* f) { return ::geteuid() == 0 ? ::chown(f, 65534, 65534) : 0; }, false, true},
        {"a symbolic link stays a link, its target's mode too", "link.ini",
         [](const char* f) { return ::rename(f, "real.ini") | ::chmod("real.ini", 0640) | ::symlink("real.ini", f); },
         false, true},
        {"a read-only file is refused", "readonly.ini", [](const char* f) { return ::chmod(f, 0444); },
         false, false},
        {"a writable file in a read-only directory is written", "ro/p.ini",
         [](const char* f) { return ::chmod(f, 0666) | ::chmod("ro", 0555); }, true, true},
    };
    for (const Case& c : cases) {
        WriteBytes(c.file, old);
        ASSERT_EQ(c.prepare(c.file.c_str()), 0) << c.name;
        struct stat before {};
        ASSERT_EQ(::stat(c.file.c_str(), &before), 0);
        SetLastError(kUnchanged);
        const auto write = [&] {
            return WritePrivateProfileStringA("a", "k", "2", ("./" + c.file).c_str()) ? 1 : 0;
        };
        EXPECT_EQ(c.unprivileged ? winshim_test::RunUnprivileged(write) : write(), c.want ? 1 : 0) << c.name;
        if (!c.want) {
            EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << c.name;
        }
        EXPECT_EQ(Visible(ReadBytes(c.file).value_or("")), Visible(c.want ? changed : old)) << c.name;
        struct stat after {};
        ASSERT_EQ(::stat(c.file.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << c.name << ": the file was replaced";
        EXPECT_EQ(after.st_uid, before.st_uid) << c.name;
        EXPECT_EQ(after.st_gid, before.st_gid) << c.name;
        EXPECT_EQ(after.st_mode, before.st_mode) << c.name;
    }
    EXPECT_EQ(ReadBytes("twin.ini"), changed);
    EXPECT_EQ(FilesInCwd(), 7u) << "a temporary file or copy was left behind";
    EXPECT_EQ(FilesIn("ro"), 1u) << "a copy was left in the read-only directory";
}

TEST_F(ProfileWrite, ProcessesWritingOneProfileLoseNoKey) {
    constexpr int kWriters = 4;
    constexpr int kKeys = 25;
    const auto key = [](int writer, int index) {
        return "w" + std::to_string(writer) + "k" + std::to_string(index);
    };
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t child = ::fork();
        if (child == 0) {
            bool all = true;
            for (int k = 0; k < kKeys; ++k) {
                all &= WritePrivateProfileStringA("s", key(w, k).c_str(), key(w, k).c_str(), "./shared.ini") != 0;
            }
            ::_exit(all ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a write returned FALSE";
    }
    int lost = 0;
    for (int w = 0; w < kWriters; ++w) {
        for (int k = 0; k < kKeys; ++k) {
            char buffer[16];
            GetPrivateProfileStringA("s", key(w, k).c_str(), "", buffer, sizeof buffer, "./shared.ini");
            lost += key(w, k) != buffer;
        }
    }
    EXPECT_EQ(lost, 0) << "keys lost of " << kWriters * kKeys;
    EXPECT_EQ(FilesInCwd(), 1u) << "a temporary file or copy was left behind";
}

TEST_F(ProfileWrite, ReadersNeverSeeAHalfWrittenFile) {
    // Two values of different lengths; a reader racing the writer must see one or the other.
    const std::string a(3000, 'a');
    const std::string b(100, 'b');
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", a.c_str(), "./race.ini"));
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        std::vector<char> buffer(4000);
        while (!done.load()) {
            DWORD got = GetPrivateProfileStringA("s", "k", "<missing>", buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), "./race.ini");
            std::string value(buffer.data(), got);
            if (value != a && value != b) ++torn;
        }
    });
    for (int i = 0; i < 40; ++i) {
        EXPECT_TRUE(WritePrivateProfileStringA("s", "k", (i % 2 ? a : b).c_str(), "./race.ini"));
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
}

TEST_F(ProfileWrite, OversizedFilesAreRefusedNotTruncated) {
    const std::string huge = "[s]\r\nk=1\r\n" + std::string(5u << 20, ';');
    WriteBytes("huge.ini", huge);
    SetLastError(kUnchanged);
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "2", "./huge.ini"));
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(ReadBytes("huge.ini").value_or("").size(), huge.size()) << "the file was changed";
    char buffer[8];
    EXPECT_EQ(GetPrivateProfileStringA("s", "k", "d", buffer, sizeof buffer, "./huge.ini"), 1u);
    EXPECT_STREQ(buffer, "d");
}

}  // namespace
