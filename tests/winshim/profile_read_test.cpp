// Reading profile files: the Windows parsing rules, GetPrivateProfileStringA's values,
// defaults, truncation and name lists, and GetPrivateProfileIntA's number rules.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "temp_files.h"
#include "winshim/winshim.h"

namespace {

using winshim_test::TempTreeTest;
using winshim_test::Visible;
using winshim_test::WriteBytes;
using namespace std::string_literals;

constexpr DWORD kUnchanged = 0xDEADBEEF;
const std::string kFileF = "[section1]\r\nname1=val1\r\nname2=\"val2\"\r\nname3\r\nname4=a\r\n[section2]\r\n";
const std::string kFileG16 = "[s]\r\n;k=v\r\nx = ' a ' \r\n[ t ]junk\r\ny=1";

struct StringCase {
    const char* name;
    const char* app;
    const char* key;
    const char* defaultValue;
    DWORD size;
    DWORD wantReturn;
    std::string wantBuffer;  // the first wantReturn + NULs bytes; checked byte for byte
    DWORD wantError = kUnchanged;  // kUnchanged: not checked
};

// Calls GetPrivateProfileStringA with a buffer of 'x' and compares the return value and the
// buffer's first wantBuffer.size() bytes.
void ExpectString(const StringCase& c, const char* file) {
    std::string buffer(300, 'x');
    SetLastError(kUnchanged);
    DWORD got = GetPrivateProfileStringA(c.app, c.key, c.defaultValue, buffer.data(), c.size, file);
    DWORD error = GetLastError();
    EXPECT_EQ(got, c.wantReturn) << c.name << ": return";
    EXPECT_EQ(Visible(buffer.substr(0, c.wantBuffer.size())), Visible(c.wantBuffer))
        << c.name << ": buffer";
    if (c.wantError != kUnchanged) {
        EXPECT_EQ(error, c.wantError) << c.name << ": last error";
    }
}

class ProfileRead : public TempTreeTest {};

TEST_F(ProfileRead, WindowsTestVectorsOnFileF) {  // G1-G13
    WriteBytes("winetest.ini", kFileF);
    const std::vector<StringCase> cases = {
        {"G1", "section1", "name1", "default", 260, 4, "val1\0"s},
        {"G2 key case", "section1", "NaMe1", "default", 260, 4, "val1\0"s},
        {"section case", "SECTION1", "name1", "default", 260, 4, "val1\0"s},
        {"G3 quotes", "section1", "name2", "default", 260, 4, "val2\0"s},
        {"G4 cut", "section1", "name1", "default", 4, 3, "val\0"s, ERROR_MORE_DATA},
        {"G5 fits", "section1", "name1", "default", 5, 4, "val1\0"s},
        {"G6 size 1", "section1", "name4", "default", 1, 0, "\0"s},
        {"G7 size 0", "section1", "name1", "default", 0, 0, "xxxx"},
        {"G12 default trailing spaces", "section1", "notakey", "default  ", 260, 7, "default\0"s},
        {"default keeps tab and leading spaces", "section1", "notakey", "  d\t ", 260, 4, "  d\t\0"s},
        {"G13 missing section", "notasection", "name1", "default", 260, 7, "default\0"s},
        {"G13 empty key", "section1", "", "default", 260, 7, "default\0"s},
        {"G13 null default", "section1", "x", nullptr, 260, 0, "\0"s},
        {"default cut", "section1", "x", "default", 4, 3, "def\0"s, ERROR_MORE_DATA},
        {"line without '='", "section1", "name3", "default", 260, 7, "default\0"s},
        {"argument spaces trimmed", " section1 ", "  name1 ", "d", 260, 4, "val1\0"s},
        {"argument tab not trimmed", "section1", "\tname1", "d", 260, 1, "d\0"s},
    };
    for (const StringCase& c : cases) ExpectString(c, "./winetest.ini");
}

TEST_F(ProfileRead, MissingFileGivesTheDefault) {  // G14, S6, S7
    ExpectString({"G14", "section1", "name1", "default", 260, 7, "default\0"s, ERROR_FILE_NOT_FOUND},
                 "./nonexistent");
    ExpectString({"empty file name", "section1", "name1", "default", 260, 7, "default\0"s, ERROR_ACCESS_DENIED},
                 "");
}

TEST_F(ProfileRead, BareNameMeansTheWindowsDirectory) {  // G15, S7
    WriteBytes(cwd_ + "/winetest.ini", kFileF);
    ExpectString({"G15 only in cwd", "section1", "name1", "default", 260, 7, "default\0"s}, "winetest.ini");
    WriteBytes(windows_ + "/winetest.ini", kFileF);
    ExpectString({"G15 in the Windows directory", "section1", "name1", "default", 260, 4, "val1\0"s},
                 "winetest.ini");
    WriteBytes(windows_ + "/win.ini", "[w]\r\nk=from win.ini\r\n");
    ExpectString({"null file name is win.ini", "w", "k", "d", 260, 12, "from win.ini\0"s}, nullptr);
    ExpectString({"absolute path", "section1", "name2", "d", 260, 4, "val2\0"s},
                 (cwd_ + "/winetest.ini").c_str());
}

TEST_F(ProfileRead, ParsingRules) {  // G16, P1-P12
    struct FileCase {
        const char* name;
        std::string file;
        const char* app;
        const char* key;
        std::string want;  // "<default>" when the lookup must miss
    };
    const std::vector<FileCase> cases = {
        {"G16 comment never matches", kFileG16, "s", ";k", "<default>"},
        {"G16 value trimmed then unquoted", kFileG16, "s", "x", " a "},
        {"G16 text after ']' ignored, name trimmed", kFileG16, "t", "y", "1"},
        {"P1 LF only", "[a]\nk=1\nj=2\n", "a", "j", "2"},
        {"P1 CR only", "[a]\rk=1\rj=2\r", "a", "j", "2"},
        {"P1 mixed", "[a]\r\nk=1\rj=2\nl=3", "a", "l", "3"},
        {"P2 leading blanks", " \t\v[a]\r\n \t\vk=1\r\n", "a", "k", "1"},
        {"P3 first ']' ends the name", "[a]b]\r\nk=1\r\n", "a", "k", "1"},
        {"P3 missing ']' runs to the end", "[ab\r\nk=1\r\n", "ab", "k", "1"},
        {"P3 text after ']' is not the name", "[a]junk\r\nk=1\r\n", "a]junk", "k", "<default>"},
        {"P4 value keeps '='", "[a]\r\nk = x=y \r\n", "a", "k", "x=y"},
        {"P4 key trimmed", "[a]\r\n \tk \t=v\r\n", "a", "k", "v"},
        {"P5 ';' inside value is data", "[a]\r\npepsi=diet ;gag\r\n", "a", "pepsi", "diet ;gag"},
        {"P5 '#' is not a comment", "[a]\r\n#k=v\r\n", "a", "#k", "v"},
        {"P5 indented comment", "[a]\r\n  ;k=v\r\n", "a", ";k", "<default>"},
        {"P6 lines before the first header", "k=v\r\n[a]\r\n", "", "k", "<default>"},
        {"P6 empty section name", "k=v\r\n[]\r\nk=w\r\n", "", "k", "w"},
        {"P8 empty key", "[a]\r\n=v\r\n", "a", "", "v"},
        {"P9 value keeps case", "[A]\r\nK=MiXeD\r\n", "a", "k", "MiXeD"},
        {"P10 first duplicate section only", "[a]\r\nk=1\r\n[a]\r\nj=2\r\n", "a", "j", "<default>"},
        {"P10 first duplicate key", "[a]\r\nk=1\r\nk=2\r\n", "a", "k", "1"},
        {"P11 single quotes", "[a]\r\nk='v'\r\n", "a", "k", "v"},
        {"P11 only the outer pair", "[a]\r\nk=\"\"v\"\"\r\n", "a", "k", "\"v\""},
        {"P11 mismatched quotes stay", "[a]\r\nk='v\"\r\n", "a", "k", "'v\""},
        {"P11 unbalanced quote stays", "[a]\r\nk=\"v\r\n", "a", "k", "\"v"},
        {"P11 lone quote stays", "[a]\r\nk=\"\r\n", "a", "k", "\""},
        {"P11 empty quotes", "[a]\r\nk=\"\"\r\n", "a", "k", ""},
        {"P11 names never unquoted", "[\"a\"]\r\nk=1\r\n", "\"a\"", "k", "1"},
        {"P12 UTF-8 mark breaks line 1", "\xEF\xBB\xBF[a]\r\nk=1\r\n", "a", "k", "<default>"},
        {"P12 UTF-16LE file", "\xFF\xFE[\0a\0]\0\r\0\n\0k\0=\0\xE9\0\r\0\n\0"s, "a", "k", "\xC3\xA9"},
        {"P12 UTF-16LE surrogate pair", "\xFF\xFE[\0a\0]\0\r\0\n\0k\0=\0\x3D\xD8\x00\xDE\r\0\n\0"s, "a", "k",
         "\xF0\x9F\x98\x80"},
        {"P12 UTF-16LE U+0800", "\xFF\xFE[\0a\0]\0\r\0\n\0k\0=\0\x00\x08\r\0\n\0"s, "a", "k", "\xE0\xA0\x80"},
        {"NUL bytes before the first section", "x\0y\r\n[a]\r\nk=1\r\n"s, "a", "k", "1"},
    };
    for (const FileCase& c : cases) {
        WriteBytes("case.ini", c.file);
        char buffer[100];
        DWORD got = GetPrivateProfileStringA(c.app, c.key, "<default>", buffer, sizeof buffer, "./case.ini");
        EXPECT_EQ(std::string(buffer, got), c.want) << c.name << " in " << Visible(c.file);
    }
}

TEST_F(ProfileRead, EveryReadSeesTheDisk) {  // S8
    // Times an hour old make a parsed file worth keeping between reads; a rewrite of the same
    // size that puts the same times back leaves only the change time to tell.
    struct Case {
        const char* name;
        bool oldTimes;
        std::string second;
    };
    const Case cases[] = {
        {"just written", false, "[a]\r\nk=second\r\n"},
        {"old times, new size", true, "[a]\r\nk=second\r\n"},
        {"old times, same size, same times", true, "[a]\r\nk=fresh\r\n"},
    };
    const struct timespec hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    for (const Case& c : cases) {
        char buffer[32];
        WriteBytes("live.ini", "[a]\r\nk=first\r\n");
        if (c.oldTimes) {
            ASSERT_EQ(::utimensat(AT_FDCWD, "live.ini", hourAgo, 0), 0);
        }
        ASSERT_EQ(GetPrivateProfileStringA("a", "k", "", buffer, sizeof buffer, "./live.ini"), 5u);
        WriteBytes("live.ini", c.second);
        if (c.oldTimes) {
            ASSERT_EQ(::utimensat(AT_FDCWD, "live.ini", hourAgo, 0), 0);
        }
        GetPrivateProfileStringA("a", "k", "", buffer, sizeof buffer, "./live.ini");
        EXPECT_EQ(std::string(buffer), c.second.substr(7, c.second.size() - 9)) << c.name;
    }
}

TEST_F(ProfileRead, UnreadableProfilesGiveTheDefault) {
    std::filesystem::create_directory("dir.ini");
    ExpectString({"a directory", "a", "k", "d", 10, 1, "d\0"s, ERROR_ACCESS_DENIED}, "./dir.ini");
    ASSERT_EQ(::mkfifo("fifo.ini", 0600), 0);
    ExpectString({"a FIFO (must not block)", "a", "k", "d", 10, 1, "d\0"s, ERROR_ACCESS_DENIED}, "./fifo.ini");
}

TEST_F(ProfileRead, IntegerRules) {  // N1-N8, I1-I2
    struct IntCase {
        const char* name;
        std::optional<std::string> stored;  // nullopt: no file at all
        INT defaultValue;
        UINT want;
    };
    const std::vector<IntCase> cases = {
        {"N1 no file", std::nullopt, -1, 4294967295u},
        {"N1 no file", std::nullopt, 1, 1},
        {"N2", "-1", 1, 4294967295u},
        {"N3", "1", -1, 1},
        {"N3 plus", "+1", -1, 1},
        {"N4 wraps", "4294967296", -1, 0},
        {"N4 wraps", "4294967297", -1, 1},
        {"N5 negative wraps", "-4294967297", 1, 4294967295u},
        {"N6 stops at a letter", "42A94967297", -1, 42},
        {"N6 no digits", "B4294967297", -1, 0},
        {"N7", "102abc", 0, 102},
        {"quoted", "\"12\"", 0, 12},
        {"empty value gives the default", "", 7, 7},
        {"sign only", "-", 7, 0},
        {"hex is not read", "0x10", 7, 0},
    };
    for (const IntCase& c : cases) {
        std::remove("int.ini");
        if (c.stored) WriteBytes("int.ini", "[Test]\r\nProfileInt=" + *c.stored + "\r\n");
        UINT got = GetPrivateProfileIntA("Test", "ProfileInt", c.defaultValue, "./int.ini");
        EXPECT_EQ(got, c.want) << c.name << " (stored " << c.stored.value_or("<no file>") << ")";
    }
    WriteBytes("int.ini", "[Test]\r\nProfileInt=5\r\n");
    EXPECT_EQ(GetPrivateProfileIntA("Test", "Other", -2, "./int.ini"), 4294967294u);
    EXPECT_EQ(GetPrivateProfileIntA(nullptr, "ProfileInt", 3, "./int.ini"), 3u);
    EXPECT_EQ(GetPrivateProfileIntA("Test", nullptr, 3, "./int.ini"), 3u);
}

}  // namespace
