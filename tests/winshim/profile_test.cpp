// Profile files: the Windows parsing rules, GetPrivateProfileStringA's and
// GetPrivateProfileIntA's results, the exact bytes each write leaves, file names and errors,
// reads that always see the disk, and writes that survive a writer's death or a rival process.
#include "temp_files.h"

namespace {

using namespace winshim_test;

// UTF-16LE bytes with the FF FE mark.
std::string Utf16(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
}

using Profile = TempTreeTest;

// Under Wine a row marked kWineDiffers must give another answer than Windows's: Wine is known
// to differ there (its own tests mark most of them todo_wine; the rest are its cache, its
// rewrite of the whole file on each write and root's disregard of read-only files), so a Wine
// that changes is noticed. Where libwinshim chooses otherwise than Windows, rows say so with kWine.
constexpr bool kWineDiffers = true;
template <class T>
void ExpectRow(const T& got, const T& want, bool wineDiffers, const std::string& row) {
    if (kWine && wineDiffers) {
        EXPECT_NE(got, want) << row << ": Wine now agrees with Windows here";
    } else {
        EXPECT_EQ(got, want) << row;
    }
}

TEST_F(Profile, StringResultsAndFileNames) {  // G1-G15, S1-S7
    const std::string deep = deep_ + "/p.ini", absolute = cwd_ + "/w.ini";
    for (const std::string& file : {"w.ini"s, windows_ + "/inwin.ini", deep})
        WriteBytes(
            file,
            "[section1]\r\nname1=val1\r\nname2=\"val2\"\r\nname3\r\nname4=a\r\n[section2]\r\n");
    WriteBytes(windows_ + "/win.ini", "[w]\r\nk=from win.ini\r\n");
#if defined(_WIN32)
    ASSERT_TRUE(std::filesystem::create_directories("fifo.ini"));  // no fifos: a second directory
#else
    ASSERT_EQ(::mkfifo("fifo.ini", 0600), 0);
#endif
    ASSERT_TRUE(std::filesystem::create_directory("dir.ini"));
    const char *s = "section1", *d = "default", *f = "./w.ini";
    // The buffer's first bytes are checked; kUnchanged leaves the last error unchecked. Windows
    // and Wine answer a null section or key with the name lists, which libwinshim leaves out.
    struct Case {
        const char *app, *key, *value;
        DWORD size;
        const char* file;
        DWORD want;
        std::string buffer;
        DWORD error = kUnchanged;
        bool wineDiffers = false;
    };
    const Case cases[] = {
        {s, "name1", d, 260, f, 4, "val1\0"s},
        {s, "NaMe1", d, 260, f, 4, "val1\0"s},  // G1, G2
        {"SECTION1", "name1", d, 260, f, 4, "val1\0"s},
        {s, "name2", d, 260, f, 4, "val2\0"s},  // G3
        {s, "name1", d, 4, f, 3, "val\0"s, ERROR_MORE_DATA, kWineDiffers},
        {s, "name1", d, 5, f, 4, "val1\0"s},  // G4, G5
        {s, "name4", d, 1, f, 0, "\0x"s},
        {s, "name1", d, 0, f, 0, "xxxx"},  // G6, G7
        {s, "notakey", "default  ", 260, f, 7, "default\0"s},
        {s, "notakey", "  d\t ", 260, f, 4, "  d\t\0"s},  // G12
        {"notasection", "name1", d, 260, f, 7, "default\0"s},
        {s, "", d, 260, f, 7, "default\0"s},  // G13
        {s, "x", nullptr, 260, f, 0, "\0"s},
        {s, "x", d, 4, f, 3, "def\0"s, ERROR_MORE_DATA, kWineDiffers},
        {s, "name3", d, 260, f, 7, "default\0"s},             // a line without '='
        {" section1 ", "  name1 ", d, 260, f, 4, "val1\0"s},  // P9
        {s, "\tname1", "d", 260, f, 1, "d\0"s, kUnchanged, kWineDiffers},
        kWine ? Case{nullptr, "name1", d, 260, f, 18, "section1\0section2\0\0"s}  // G8
              : Case{nullptr, "name1", d, 260, f, 0, "\0x"s, ERROR_INVALID_PARAMETER},
        kWine ? Case{s, nullptr, d, 260, f, 18, "name1\0name2\0name4\0\0"s}  // G10
              : Case{s, nullptr, d, 260, f, 0, "\0x"s, ERROR_INVALID_PARAMETER},
        {s, "name1", d, 260, "./nonexistent", 7, "default\0"s, 2},
        {s, "name1", d, 260, "", 7, "default\0"s, 5},  // G14
        {s, "name1", "d", 10, "./dir.ini", 1, "d\0"s, 5},
        {s, "name1", "d", 10, "./fifo.ini", 1, "d\0"s, 5},
        {s, "name1", d, 260, "w.ini", 7, "default\0"s, 2},
        {s, "name1", d, 260, "inwin.ini", 4, "val1\0"s},  // G15
        {"w", "k", d, 260, nullptr, 12, "from win.ini\0"s},
        {s, "name2", d, 260, absolute.c_str(), 4, "val2\0"s},
        {s, "name1", d, 260, deep.c_str(), 4, "val1\0"s},
        {s, "name1", d, 260, "./w.ini/x.ini", 7, "default\0"s, 3},
        {s, "name1", d, 260, "./nodir/x.ini", 7, "default\0"s, 3},
    };
    for (const auto& c : cases) {
        std::string buffer(300, 'x');
        SetLastError(kUnchanged);
        const DWORD got =
            GetPrivateProfileStringA(c.app, c.key, c.value, buffer.data(), c.size, c.file);
        ExpectRow(std::tuple(got, buffer.substr(0, c.buffer.size()),
                             c.error == kUnchanged ? c.error : GetLastError()),
                  std::tuple(c.want, c.buffer, c.error), c.wineDiffers,
                  PrintToString(std::tuple(c.app, c.key, c.value, c.size, c.file)));
    }
}

TEST_F(Profile, ParsingAndIntegerRules) {  // G16, P1-P12, N1-N8
    const std::string g16 = "[s]\r\n;k=v\r\nx = ' a ' \r\n[ t ]junk\r\ny=1";
    // want null: the lookup misses. Rows: G16; P1 line ends; P2; P3 headers; P4 keys and values; P5
    // comments; P6 lines before the first header, an empty section name; P8; P9; P10 duplicates;
    // P11 quotes; P12 no UTF-8 mark; NUL bytes; P12 UTF-16LE with each UTF-8 length's limits.
    const struct {
        std::string file;
        const char* want;
        const char *app = "a", *key = "k";
        bool wineDiffers = false;
    } cases[] = {
        {g16, nullptr, "s", ";k", kWineDiffers},
        {g16, " a ", "s", "x"},
        {g16, "1", "t", "y"},
        {"[a]\nk=1\nj=2\n", "2", "a", "j"},
        {"[a]\rk=1\rj=2\r", "2", "a", "j"},
        {"[a]\r\nk=1\rj=2\nl=3", "3", "a", "l"},
        {" \t\v[a]\r\n \t\vk=1\r\n", "1"},
        {"[a]b]\r\nk=1\r\n", "1", "a", "k", kWineDiffers},
        {"[ab\r\nk=1\r\n", "1", "ab", "k", kWineDiffers},
        {"[a]j\r\nk=1\r\n", nullptr, "a]j"},
        {"[a]\r\nk = x=y \r\n", "x=y"},
        {"[a]\r\n \tk \t=v\r\n", "v"},
        {"[a]\r\np=diet ;gag\r\n", "diet ;gag", "a", "p"},
        {"[a]\r\n#k=v\r\n", "v", "a", "#k"},
        {"[a]\r\n  ;k=v\r\n", nullptr, "a", ";k", kWineDiffers},
        {"k=v\r\n[a]\r\n", nullptr, "", "k", kWineDiffers},
        {"k=v\r\n[]\r\nk=w\r\n", "w", "", "k", kWineDiffers},
        {"[a]\r\n=v\r\n", "v", "a", ""},
        {"[A]\r\nK=MiXeD\r\n", "MiXeD"},
        {"[a]\r\nk=1\r\n[a]\r\nj=2\r\n", nullptr, "a", "j"},
        {"[a]\r\nk=1\r\nk=2\r\n", "1"},
        {"[a]\r\nk='v'\r\n", "v"},
        {"[a]\r\nk=\"\"v\"\"\r\n", "\"v\""},
        {"[a]\r\nk='v\"\r\n", "'v\""},
        {"[a]\r\nk=\"v\r\n", "\"v"},
        {"[a]\r\nk=\"\r\n", "\""},
        {"[a]\r\nk=\"\"\r\n", ""},
        {"[\"a\"]\r\nk=1\r\n", "1", "\"a\""},
        {"\xEF\xBB\xBF[a]\r\nk=1\r\n", nullptr, "a", "k", kWineDiffers},
        {"x\0y\r\n[a]\r\nk=1\r\n"s, "1"},
        {Utf16(u"[a]\r\nk=\x7F\x80\u07FF\u0800\uFFFF\U00010000\U0010FFFF\r\n"),
         "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
    };
    for (const auto& c : cases) {
        WriteBytes("case.ini", c.file);
        char buffer[100];
        DWORD got = GetPrivateProfileStringA(c.app, c.key, "<default>", buffer, sizeof buffer,
                                             "./case.ini");
        ExpectRow(std::string(buffer, got), std::string(c.want ? c.want : "<default>"),
                  c.wineDiffers, PrintToString(c.file) + " " + c.key);
    }
    // GetPrivateProfileIntA: N1-N8, I1-I3. Windows and Wine read the name list as the value of a
    // null key or section.
    const struct {
        const char* stored;
        INT defaultValue;
        UINT want;
        const char* key = "k";
        bool wineDiffers = false;
    } numbers[] = {
        // null: no file
        {nullptr, -1, 4294967295u},
        {nullptr, 1, 1},
        {"-1", 1, 4294967295u},
        {"1", -1, 1},
        {"+1", -1, 1},
        {"4294967296", -1, 0},
        {"4294967297", -1, 1},
        {"-4294967297", 1, 4294967295u},
        {"42A94967297", -1, 42},
        {"B4294967297", -1, 0},
        {"102abc", 0, 102},
        {"\"12\"", 0, 12},
        {"", 7, 7},
        {"-", 7, 0},
        {"0x10", 7, 0, "k", kWineDiffers},
        {"5", -2, 4294967294u, "other"},
        {"5", 3, kWine ? 0 : 3, nullptr},
    };
    for (const auto& c : numbers) {
        c.stored ? WriteBytes("int.ini", "[Test]\r\nk="s + c.stored + "\r\n")
                 : (void)std::filesystem::remove("int.ini");
        ExpectRow(GetPrivateProfileIntA("Test", c.key, c.defaultValue, "./int.ini"), c.want,
                  c.wineDiffers, PrintToString(c.stored));
    }
    EXPECT_EQ(GetPrivateProfileIntA(nullptr, "k", 3, "./int.ini"), kWine ? 0u : 3u);
}

TEST_F(Profile, EveryReadSeesTheDisk) {  // S8
    // A time an hour old makes a parsed file worth keeping between reads; a rewrite of the same
    // size that puts the same time back leaves only the change time to tell. (Wine keeps the
    // file it read while its modification time stays.)
    const auto hourAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    for (const auto& [oldTimes, second] :
         {std::pair{false, "second"}, {true, "second"}, {true, "fresh"}}) {
        for (const char* value : {"first", second}) {
            WriteBytes("live.ini", "[a]\r\nk="s + value + "\r\n");
            char buffer[32];
            if (oldTimes) std::filesystem::last_write_time("live.ini", hourAgo);
            GetPrivateProfileStringA("a", "k", "", buffer, sizeof buffer, "./live.ini");
            ExpectRow(std::string(buffer), std::string(value), oldTimes && value == second,
                      oldTimes ? "old times" : "new times");
        }
    }
}

TEST_F(Profile, WritesLeaveTheBytesWindowsLeaves) {  // P1-P7, P10, W2-W6, W8, W10
    const std::string p1 = "[A1]\r\nk1=s1\r\nk2=s2\r\nk3=s3\r\n[A2]\r\nk4=s4\r\n[A3]\r\nk5=s5\r\n";
    const std::string messy = "a=0\n\n[One]\nA = 1\n  b=2\n; t\n\n[Two]\r\nc=3",
                      dups = "[a]\r\nk=1\r\n[a]\r\nj=2\r\n";
    const std::u16string u16 = u"[a]\r\nk=\u00E9\r\n";
    const std::u16string lone =
        u"[a]\r\nu="s + char16_t(0xD800) + u"A" + char16_t(0xDC00) + u"\r\nw=" + char16_t(0xDBFF);
    struct Write {
        const char *app, *key, *value;
    };
    const struct {
        std::optional<std::string> start;
        std::vector<Write> writes;
        std::string want;
        bool wineDiffers = false;
    } cases[] = {
        {std::nullopt,
         {{"A1", "k1", "s1"},
          {"A1", "k2", "s2"},
          {"A1", "k3", "s3"},
          {"A2", "k4", "s4"},  // P1
          {"A3", "k5", "s5"}},
         p1},
        {p1,
         {{"A1", "k2", nullptr}, {"A1", "k2", nullptr}},
         "[A1]\r\nk1=s1\r\nk3=s3\r\n[A2]\r\nk4=s4\r\n[A3]\r\nk5=s5\r\n"},
        {p1,
         {{"A1", nullptr, "s1"}, {"A2", nullptr, nullptr}, {"A3", "k5", nullptr}},
         "[A3]\r\n"},                                     // P3, P4
        {"", {{"App", "key", ""}}, "[App]\r\nkey=\r\n"},  // P5
        {"[s]\r\nb=v\r\na=v\r\n",
         {{"s", "z", ""}, {"s", "b", ""}, {"s", "y", ""}, {"s", "a", ""}},  // P6
         "[s]\r\nb=\r\na=\r\nz=\r\ny=\r\n"},
        {"",
         {{"s", "z", ""}, {"s", ";y", ""}, {"s", "a", ""}, {"s", ";b", ""}, {"s", ";c", ""}},  // P7
         "[s]\r\nz=\r\na=\r\n;c=\r\n;b=\r\n;y=\r\n",
         kWineDiffers},
        {"Data \0 before \0 first \0 section"s,
         {{"s1", "k1", "v1"}},  // P10
         "Data \0 before \0 first \0 section\r\n[s1]\r\nk1=v1\r\n"s,
         kWineDiffers},
        // W3: a line is replaced in place, up to its '=' and with the file's spelling of the key;
        // W4: new keys follow the section's last key line; W5: a delete keeps the other lines.
        {messy,
         {{"one", "B", "new"},
          {"One", "a", "x"},
          {"Two", "c", "4"},
          {"One", "d", "4"},
          {"Two", "d", "4"},
          {"One", "A", nullptr},
          {"One", "zz", nullptr},
          {"Nope", "a", nullptr},
          {"Nope", nullptr, nullptr}},
         "a=0\n\n[One]\n  b=new\nd=4\r\n; t\n\n[Two]\r\nc=4\r\nd=4\r\n",
         kWineDiffers},
        {"[a]\r\n;c\r\n", {{"a", "k", "v"}}, "[a]\r\nk=v\r\n;c\r\n", kWineDiffers},
        {dups, {{"a", "j", "3"}}, "[a]\r\nk=1\r\nj=3\r\n[a]\r\nj=2\r\n"},
        {"[a]\r\nk=1", {{"b", "k", "2"}}, "[a]\r\nk=1\r\n[b]\r\nk=2\r\n"},  // W2
        {"[a]\rk=1\r", {{"b", "k", "2"}}, "[a]\rk=1\r[b]\r\nk=2\r\n", kWineDiffers},
        {";c0\r\n[s]\r\n;c1\r\n[t]\r\n;c2\r\n",
         {{"s", nullptr, nullptr}, {"t", nullptr, "x"}},  // W6
         ";c0\r\n;c1\r\n;c2\r\n",
         kWineDiffers},
        {dups, {{"a", nullptr, nullptr}}, "[a]\r\nj=2\r\n"},
        {"", {{" sec ", "  key ", " value "}}, "[sec]\r\nkey= value \r\n", kWineDiffers},  // W8
        {"[s]\r\n;k=old\r\n", {{"s", ";k", "v"}}, "[s]\r\n;k=v\r\n;k=old\r\n", kWineDiffers},
        {"[s]\r\n;k=v\r\n", {{"s", ";k", nullptr}}, "[s]\r\n;k=v\r\n", kWineDiffers},
        {"[s]\r\nk=v\n", {{"s", "k", "v"}}, "[s]\r\nk=v\n"},
        // W10: UTF-16LE stays so, an odd last byte stays, each UTF-8 length's limits, unpaired
        // surrogates survive; bytes that are not UTF-8 stand for themselves, where Windows puts
        // U+FFFD for each bad sequence (so the value cannot be read back).
        {Utf16(u16),
         {{"a", "j",
           "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
          {"a", "n", "\xC1\xBF\xE0\x80\x80\xF4\x90\x80\x80\xE0\xA0"}},
         Utf16(
             u16 + u"j=\x7F\x80\u07FF\u0800\uFFFF\U00010000\U0010FFFF\r\nn=" +
             (kWine ? std::u16string(8, 0xFFFD) : u"\xC1\xBF\xE0\x80\x80\xF4\x90\x80\x80\xE0\xA0") +
             u"\r\n")},
        {Utf16(u16) + "Z", {{"a", "j", "x"}}, Utf16(u16 + u"j=x\r\n") + "Z", kWineDiffers},
        {"\xFF\xFE", {{"a", "k", "v"}}, Utf16(u"[a]\r\nk=v\r\n")},
        {Utf16(u"[a]\r\nk=1"),
         {{"a", "k", "\xE0\xA0\x80"}},
         Utf16(u"[a]\r\nk=\u0800"),
         kWineDiffers},
        {Utf16(lone), {{"a", "k", "v"}}, Utf16(lone + u"\r\nk=v\r\n")},
    };
    for (const auto& c : cases) {
        std::filesystem::remove("t.ini");
        if (c.start) WriteBytes("t.ini", *c.start);
        for (const Write& w : c.writes)
            EXPECT_TRUE(WritePrivateProfileStringA(w.app, w.key, w.value, "./t.ini"));
        ExpectRow(ReadBytes("t.ini"), c.want, c.wineDiffers, "from " + PrintToString(c.start));
    }
}

TEST_F(Profile, CreatedAndRefusedFiles) {  // W1, W7, W9, P8, P9
    const std::string keep = "[a]\r\nk=1\r\n", made = "[a]\r\nk=v\r\n",
                      huge = keep + std::string(5u << 20, ';');
    const std::string longest = "./" + std::string(251, 'p') + ".ini";  // 255 characters
    for (const auto& [file, bytes] : {std::pair{"keep.ini", keep},
                                      {longest.c_str(), keep},
                                      {"empty.ini", ""s},
                                      {"huge.ini", huge},
                                      {"readonly.ini", keep}})
        WriteBytes(file, bytes);
    std::filesystem::permissions("readonly.ini", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    // Rows: W1; P9 and a path beyond MAX_PATH; deletes create no file (Wine's last error 2 after
    // them, and 0 after a flush, are not confirmed on Windows); P8; W7 flush; W9; refused files;
    // a name so long that the recovery copy's name must be shortened to fit.
    // libwinshim refuses files larger than profiles ever are, which Wine reads; Wine running as
    // root writes a read-only file.
    const DWORD deleted = kWine ? 2 : kUnchanged, flushed = kWine ? 0 : kUnchanged;
    const struct {
        std::string file;
        BOOL want;
        DWORD error;
        std::string bytes;
        const char *app = "a", *key = "k", *value = "v";
        bool wineDiffers = false;
    } cases[] = {
        {"./new.ini", TRUE, 2, made, "a", "k", "v", kWineDiffers},
        {"./empty.ini", TRUE, kUnchanged, made, "a", "k", "v", kWineDiffers},
        {longest, TRUE, kUnchanged, "[a]\r\nk=v\r\n", "a", "k", "v", kWineDiffers},
        {"win1.tmp", TRUE, 2, made, "a", "k", "v", kWineDiffers},
        {deep_ + "/p.ini", TRUE, 2, made, "a", "k", "v", kWineDiffers},
        {"./absent.ini", TRUE, deleted, "<none>", "a", "k", nullptr},
        {"./absent.ini", TRUE, deleted, "<none>", "a", nullptr},
        {"./keep.ini", FALSE, 2, keep, nullptr},
        {"./never.ini", FALSE, 2, "<none>", nullptr},
        {"./keep.ini", FALSE, flushed, keep, nullptr, nullptr, nullptr},
        {"", FALSE, ERROR_ACCESS_DENIED, "<none>"},
        {"./nodir/x.ini", FALSE, ERROR_PATH_NOT_FOUND, "<none>"},
        {cwd_, FALSE, ERROR_ACCESS_DENIED, "<none>"},
        {"./huge.ini", FALSE, 8, huge, "a", "k", "v", kWineDiffers},
        {"./readonly.ini", FALSE, ERROR_ACCESS_DENIED, keep, "a", "k", "v", kWineDiffers},
        {"./" + std::string(250, 'n'), TRUE, 2, made, "a", "k", "v", kWineDiffers},  // NAME_MAX
    };
    for (const auto& c : cases) {
        SetLastError(kUnchanged);
        const BOOL got = WritePrivateProfileStringA(c.app, c.key, c.value, c.file.c_str());
        const DWORD error = GetLastError();
        const bool bare = c.file.find('/') == std::string::npos;
        ExpectRow(
            std::tuple(got, error, ReadBytes(bare ? windows_ + "/" + c.file : c.file) == c.bytes),
            std::tuple(c.want, c.error, true), c.wineDiffers, c.file);
    }
    if (!kWine) {
        EXPECT_EQ(GetPrivateProfileIntA("a", "k", 7, "./huge.ini"), 7u)
            << "nor is a file larger than profiles are read";
    }
#if !defined(_WIN32)
    ::setenv("WINDIR", (root_ + "/missing").c_str(), 1);
    EXPECT_TRUE((SetLastError(0), !WritePrivateProfileStringA("a", "k", "v", "bare.ini")) &&
                GetLastError() == 2)
        << "W9 a bare name that cannot be created";
#endif
}

#if !defined(_WIN32)
long FilesIn(const char* directory) {
    return std::distance(std::filesystem::directory_iterator(directory), {});
}

// Waits up to 5 s for a recovery copy of `bytes` bytes or more in the tree under root.
bool CopySaved(const std::string& root, uintmax_t bytes) {
    for (int wait = 0; wait < 5000; ++wait, ::usleep(1000)) try {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
                if (entry.path().extension() == ".~undo" && entry.file_size() >= bytes) return true;
        } catch (const std::filesystem::filesystem_error&) {  // files come and go meanwhile
        }
    return false;
}

// This test write-locks the profile far past its end: readers, which look for writers' locks
// on the bytes they read, go on, but the writer stops there once its copy is saved. Then the
// writer takes a file size limit that makes writing the new bytes fail part way; with SIGXFSZ
// at its default the writer
// dies there instead. The third writer runs as nobody in a read-only directory, so its copy
// goes to the temporary directory, and the copy of another user's profile is trusted as its
// owner's. After the last death the file is edited by hand: that newer text stays, and so does
// the stale copy.
TEST_F(Profile, KilledAndRivalWritersLoseNothing) {
    std::filesystem::create_directory("ro");
    const std::string old = "[a]\r\nk=1\r\n", edited = "[a]\r\nk=2\r\n";
    for (const auto& [file, dies, unprivileged, edit] :
         {std::tuple{"./big.ini", false, false, false},
          {"./big.ini", true, false, false},
          {"./ro/big.ini", true, true, false},
          {"./big.ini", true, false, true}}) {
        WriteBytes(file, old);
        if (unprivileged && ::geteuid() == 0) {
            ASSERT_EQ(::chown(file, kNobody, kNobody) | ::chmod("ro", 0555), 0);
        }
        const int held = ::open(file, O_RDWR);
        struct flock past {};
        past.l_type = F_WRLCK, past.l_start = 1 << 20;
        ASSERT_EQ(::fcntl(held, F_OFD_SETLK, &past), 0);
        const pid_t writer = StartChild(unprivileged, [&] {
            const struct rlimit noCore { 0, 0 };
            std::signal(SIGXFSZ, dies ? SIG_DFL : SIG_IGN);
            std::signal(SIGUSR1, [](int) {
                const struct rlimit small { 128, 128 };
                ::setrlimit(RLIMIT_FSIZE, &small);
            });
            const BOOL written =
                ::close(held) == 0 && ::setrlimit(RLIMIT_CORE, &noCore) == 0 &&
                WritePrivateProfileStringA("a", "k", std::string(500, 'v').c_str(), file);
            return !written && GetLastError() == 112 ? 0 : 1;  // ERROR_DISK_FULL
        });
        EXPECT_TRUE(CopySaved(root_, 500) && ::kill(writer, SIGUSR1) == 0);
        ::close(held);
        const int status = Finish(writer);
        EXPECT_TRUE(dies ? WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ : status == 0)
            << file << ": " << status;
        if (edit) WriteBytes(file, edited);
        EXPECT_EQ((std::vector<std::string>{
                      std::to_string(GetPrivateProfileIntA("a", "k", 0, file)), ReadBytes(file)}),
                  (std::vector<std::string>{edit ? "2" : "1", edit ? edited : old}))
            << file;  // the reader repairs the file
        EXPECT_EQ(FilesIn(unprivileged ? "ro" : "."), unprivileged ? 1 : 2 + edit)
            << file << ": a copy was left behind";
    }
    // Four processes write 25 keys each at once; each waits for the ones it started.
    EXPECT_EQ(InChild(false,
                      [] {
                          const int high = ::fork() == 0, writer = high * 2 + (::fork() == 0);
                          int failed = 0, status = 0;
                          for (int k = writer * 100; k < writer * 100 + 25; ++k) {
                              failed += !WritePrivateProfileStringA("s", std::to_string(k).c_str(),
                                                                    "v", "./s.ini");
                          }
                          while (::wait(&status) > 0) failed += status != 0;
                          return failed;
                      }),
              0)
        << "a write returned FALSE";
    const std::string all = ReadBytes("s.ini");
    EXPECT_EQ(std::count(all.begin(), all.end(), '='), 100) << all;
    EXPECT_EQ(FilesIn("."), 4) << "a copy was left behind";  // and big.ini's stale one
}

// In a directory shared by every user (as /tmp is), nobody plants files where the profile's
// copy and its owner's private directory would go, and any process locks the profile: the
// owner's writes still succeed at once, and reads do not wait for a writer's lock for long.
TEST_F(Profile, OtherUsersCannotBlockAProfile) {
    const std::string shared = root_ + "/shared", file = shared + "/p.ini",
                      mine = tmp_ + "/winshim-" + std::to_string(::geteuid());
    std::filesystem::create_directory(shared);
    WriteBytes(file, "[a]\r\nk=1\r\n");
    ASSERT_EQ(::chmod(shared.c_str(), 01777) |
                  InChild(true,
                          [&] {
                              return ::close(::open((file + ".~undo").c_str(), O_CREAT | O_WRONLY,
                                                    0600)) |
                                     ::mkdir(mine.c_str(), 0700) |
                                     ::symlink(mine.c_str(), (mine + "-1").c_str());
                          }),
              0);
    std::string last = "1";
    for (const short lock : {F_UNLCK, F_RDLCK, F_WRLCK}) {
        const int fd = ::open(file.c_str(), lock == F_WRLCK ? O_RDWR : O_RDONLY);
        struct flock range {};
        range.l_type = lock;
        ASSERT_TRUE(lock == F_UNLCK || ::fcntl(fd, F_OFD_SETLK, &range) == 0);
        if (lock != F_WRLCK) {  // whoever may hold a write lock may write the file anyway
            last = "v" + std::to_string(lock);
            EXPECT_TRUE(WritePrivateProfileStringA("a", "k", last.c_str(), file.c_str()))
                << "lock " << lock << ": error " << GetLastError();
        }
        char got[8] = {};
        GetPrivateProfileStringA("a", "k", "", got, sizeof got, file.c_str());
        EXPECT_EQ(got, last) << "lock " << lock;
        ::close(fd);
    }
}
#endif

}  // namespace
