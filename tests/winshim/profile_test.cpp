// Profile files: the Windows parsing rules, GetPrivateProfileStringA's and
// GetPrivateProfileIntA's results, the exact bytes each write leaves, file names and errors,
// reads that always see the disk, and writes that survive a writer's death or a rival process.
#include "winshim_test.h"
#if !defined(_WIN32)
#include <csignal>
#include <thread>

#include "device_twin.h"
#include "fault_hooks.h"
#endif

namespace {

using namespace winshim_test;

// UTF-16LE bytes with the FF FE mark.
std::string Utf16(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
}
// 3 MB on the disk that decode to 4.5 MB, more than any profile holds.
const std::string wide = Utf16(u"[a]\r\nk=1\r\n;" + std::u16string(1500000, u'\u0800'));

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

// GetPrivateProfileStringA and GetPrivateProfileIntA: how a file is parsed, and where it is;
// what comes back in the buffer.
TEST_F(Profile, StringsNumbersAndFileNames) {
    const std::string deep = deep_ + "/p.ini";
    for (const std::string& file : {"w.ini"s, windows_ + "/inwin.ini", deep, windows_ + "/win.ini"})
        WriteFile(file, "[a]\r\nk=val1\r\nbare\r\none=1\r\n");
#if defined(_WIN32)
    ASSERT_TRUE(std::filesystem::create_directories("fifo.ini"));  // no fifos: a directory
    const char* const device = "./fifo.ini";
#else
    ASSERT_EQ(::mkfifo("fifo.ini", 0600), 0);
    const char* const device = "/dev/null";  // it reads as empty
#endif
    // A row with text reads it from case.ini. The buffer holds want and its NUL, and nothing
    // past the room; kUnchanged: the last error stays (unchecked under Wine). Windows and Wine
    // answer a null section or key with the name lists, which libwinshim leaves out.
    struct Case {
        const char* name;
        std::string text;
        const char *app = "a", *key = "k", *def = "d";
        DWORD size = 100;
        const char* file = "./w.ini";
        std::string want;
        DWORD error = kUnchanged;
        bool wine = false;
    };
    const DWORD invalid = kWine ? kUnchanged : ERROR_INVALID_PARAMETER, more = ERROR_MORE_DATA,
                cut = kWine ? kUnchanged : more;
    // clang-format off
    const Case cases[] = {
        {.name = "a value cut to the room", .size = 4, .want = "val", .error = more,
         .wine = kWineDiffers},
        {.name = "a value with room for its NUL", .size = 5, .want = "val1"},
        {.name = "room for the NUL alone", .key = "one", .size = 1, .want = "", .error = cut},
        {.name = "no room: the buffer stays", .size = 0},
        {.name = "a default loses trailing spaces", .key = "x", .def = "  d\t  ", .want = "  d\t"},
        {.name = "a section ends at a header", .text = "[x]\n[a]\nk=1", .app = "x", .want = "d"},
        {.name = "no default", .key = "x", .def = nullptr, .want = ""},
        {.name = "a line without '=' is no key", .key = "bare", .want = "d"},
        {.name = "spaces around names go", .app = " a ", .key = "  k ", .want = "val1"},
        {.name = "a tab before a name stays", .key = "\tk", .want = "d", .wine = kWineDiffers},
        {.name = "no section: the section names on Windows", .app = nullptr,
         .want = kWine ? "a\0"s : "", .error = invalid},
        {.name = "a missing file", .file = "./nonexistent", .want = "d", .error = 2},
        {.name = "an empty file name", .file = "", .want = "d", .error = 5},
        {.name = "a fifo is no file", .file = "./fifo.ini", .want = "d", .error = 5},
        {.name = "a device is no file", .file = device, .want = "d", .error = 5},
        {.name = "a bare name is in the Windows directory", .file = "inwin.ini", .want = "val1"},
        {.name = "no file name: win.ini", .file = nullptr, .want = "val1"},
        {.name = "a name longer than MAX_PATH", .file = deep.c_str(), .want = "val1"},
        {.name = "a file in place of a directory", .file = "./w.ini/x", .want = "d", .error = 3},
        {.name = "a missing directory", .file = "./nodir/x.ini", .want = "d", .error = 3},
        {.name = "a comment is no key", .text = "[a]\r\n;k=v", .key = ";k", .want = "d",
         .wine = kWineDiffers},
        {.name = "an indented comment", .text = "[a]\r\n  ;k=v", .key = ";k", .want = "d",
         .wine = kWineDiffers},
        {.name = "blanks around key and value go, quoted ones stay", .text = "[a]\r\nk = ' a ' ",
         .want = " a "},
        {.name = "header names trimmed, text after ']' unread", .text = "[ a ]j\nk=1", .want = "1"},
        {.name = "lines end at CRLF, CR or LF", .text = "[a]\r\nj=1\rl=2\nk=3\r", .want = "3"},
        {.name = "blanks before a header and a key", .text = " \t\v[a]\r\n \t\vk=1", .want = "1"},
        {.name = "a header ends at its first ']'", .text = "[a]b]\r\nk=1", .want = "1",
         .wine = kWineDiffers},
        {.name = "a header without ']' ends with its line", .text = "[a\r\nk=1", .want = "1",
         .wine = kWineDiffers},
        {.name = "a value runs from the first '=', ';' in it is data", .text = "[a]\r\nk = x=y ;z ",
         .want = "x=y ;z"},
        {.name = "'[]' is a section, lines before any header are in none",
         .text = "k=v\r\n[]\r\nk=w", .app = "", .want = "w", .wine = kWineDiffers},
        {.name = "an empty key", .text = "[a]\r\n=v", .key = "", .want = "v"},
        {.name = "the first of two keys wins", .text = "[a]\r\nk=1\r\nk=2", .want = "1"},
        {.name = "only the outer quotes go", .text = "[a]\r\nk=\"\"v\"\"", .want = "\"v\""},
        {.name = "quotes that differ stay", .text = "[a]\r\nk='v\"", .want = "'v\""},
        {.name = "a quote alone stays", .text = "[a]\r\nk=\"", .want = "\""},
        {.name = "two quotes: an empty value", .text = "[a]\r\nk=\"\"", .want = ""},
        {.name = "a UTF-8 mark is no mark: it breaks the first header",
         .text = "\xEF\xBB\xBF[a]\r\nk=1", .want = "d", .wine = kWineDiffers},
        {.name = "UTF-16LE larger as UTF-8 than profiles are", .text = wide, .want = "d",
         .error = 8, .wine = kWineDiffers},
        {.name = "UTF-16LE reads as UTF-8, each length at its limits",
         .text = Utf16(u"[a]\r\nk=\x7F\x80\u07FF\u0800\uFFFF\U00010000\U0010FFFF"),
         .want = "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
    };
    // clang-format on
    for (const auto& c : cases) {
        if (!c.text.empty()) WriteFile("case.ini", c.text);
        std::string buffer(200, 'x');
        SetLastError(kUnchanged);
        const DWORD got = GetPrivateProfileStringA(c.app, c.key, c.def, buffer.data(), c.size,
                                                   c.text.empty() ? c.file : "./case.ini");
        const std::string written = c.size == 0 ? "x" : buffer.substr(0, c.want.size() + 1);
        ExpectRow(std::tuple(got, written, buffer[c.size],
                             kWine && c.error == kUnchanged ? c.error : GetLastError()),
                  std::tuple(DWORD(c.want.size()), c.size == 0 ? "x" : c.want + '\0', 'x', c.error),
                  c.wine, c.name + (c.text.empty() ? ""s : ": " + PrintToString(c.text)));
    }
    // GetPrivateProfileIntA. Windows and Wine read the name list as the value of a null key or
    // section.
    struct Number {
        const char* name;
        const char* stored;  // null: no file
        INT def;
        UINT want;
        const char *app = "Test", *key = "k";
        bool wine = false;
    };
    // clang-format off
    const Number numbers[] = {
        {.name = "no file: the default, as unsigned", .stored = nullptr, .def = -1, .want = ~0u},
        {.name = "a plus sign", .stored = "+1", .def = -1, .want = 1},
        {.name = "2^32 + 1 wraps to 1", .stored = "4294967297", .def = -1, .want = 1},
        {.name = "a negative beyond 2^32 wraps", .stored = "-4294967297", .def = 1, .want = ~0u},
        {.name = "digits up to the first other character", .stored = "42x9", .def = -1, .want = 42},
        {.name = "no digits: 0, not the default", .stored = "B42", .def = -1, .want = 0},
        {.name = "quotes go first", .stored = "\"12\"", .def = 0, .want = 12},
        {.name = "an empty value: the default", .stored = "", .def = 7, .want = 7},
        {.name = "a missing key: the default", .stored = "5", .def = -2, .want = ~1u, .key = "j"},
        {.name = "no section: the default (Windows: the list)", .stored = "5", .def = 3,
         .want = kWine ? 0u : 3u, .app = nullptr},
    };
    // clang-format on
    for (const auto& c : numbers) {
        std::filesystem::remove("int.ini");
        if (c.stored) WriteFile("int.ini", "[Test]\r\nk="s + c.stored + "\r\n");
        ExpectRow(GetPrivateProfileIntA(c.app, c.key, c.def, "./int.ini"), c.want, c.wine, c.name);
    }
}

TEST_F(Profile, WritesLeaveTheBytesWindowsLeaves) {
    const std::string p1 = "[A1]\r\nk1=s1\r\nk2=s2\r\nk3=s3\r\n[A2]\r\nk4=s4\r\n[A3]\r\nk5=s5\r\n";
    const std::string messy = "a=0\n\n[One]\nA = 1\n  b=2\n; t\n\n[Two]\r\nc=3",
                      dups = "[a]\r\nk=1\r\n[a]\r\nj=2\r\n";
    const std::u16string u16 = u"[a]\r\nk=\u00E9\r\n";
    const std::u16string lone =
        u"[a]\r\nu="s + char16_t(0xD800) + u"A" + char16_t(0xDC00) + u"\r\nw=" + char16_t(0xDBFF);
    const char* const utf8 =
        "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
    const char* const notUtf8 = "\xC1\xBF\xE0\x80\x80\xF4\x90\x80\x80\xE0\xA0";
    // The arguments of each WritePrivateProfileStringA call, in order.
    struct Write {
        const char *app, *key, *value;
    };
    struct Case {
        const char* name;
        std::optional<std::string> start;  // nullopt: no file
        std::vector<Write> writes;
        std::string want;
        bool wine = false;
    };
    // clang-format off
    const Case cases[] = {
        {.name = "a new file, sections in the order written",
         .writes = {{"A1", "k1", "s1"}, {"A1", "k2", "s2"}, {"A1", "k3", "s3"}, {"A2", "k4", "s4"},
                    {"A3", "k5", "s5"}},
         .want = p1},
        {.name = "sections deleted whatever the value; the last key deleted keeps the header",
         .start = p1, .writes = {{"A1", nullptr, "s1"}, {"A2", nullptr, nullptr},
                                 {"A3", "k5", nullptr}},
         .want = "[A3]\r\n"},
        {.name = "existing keys stay where they are, new ones follow in order and bare lines",
         .start = "[s]\r\nb=v\r\na=v\r\nbare\r\n",
         .writes = {{"s", "z", ""}, {"s", "b", ""}, {"s", "y", ""}, {"s", "a", ""}},
         .want = "[s]\r\nb=\r\na=\r\nbare\r\nz=\r\ny=\r\n"},
        {.name = "comment keys go after the last key", .start = "",
         .writes = {{"s", "z", ""}, {"s", ";y", ""}, {"s", "a", ""}, {"s", ";b", ""},
                    {"s", ";c", ""}},
         .want = "[s]\r\nz=\r\na=\r\n;c=\r\n;b=\r\n;y=\r\n", .wine = kWineDiffers},
        {.name = "bytes before the first section stay, NULs too",
         .start = "Data \0 before \0 first \0 section"s, .writes = {{"s1", "k1", "v1"}},
         .want = "Data \0 before \0 first \0 section\r\n[s1]\r\nk1=v1\r\n"s,
         .wine = kWineDiffers},
        // A line is replaced in place, up to its '=' and with the file's spelling of the key;
        // new keys follow the section's last key line, before its comments; a delete keeps the
        // other lines.
        {.name = "every other byte stays", .start = messy,
         .writes = {{"one", "B", "new"}, {"One", "a", "x"}, {"Two", "c", "4"}, {"One", "d", "4"},
                    {"Two", "d", "4"}, {"One", "A", nullptr}, {"One", "zz", nullptr},
                    {"Nope", "a", nullptr}, {"Nope", nullptr, nullptr}},
         .want = "a=0\n\n[One]\n  b=new\nd=4\r\n; t\n\n[Two]\r\nc=4\r\nd=4\r\n",
         .wine = kWineDiffers},
        {.name = "only the first section of a name is written", .start = dups,
         .writes = {{"a", "j", "3"}}, .want = "[a]\r\nk=1\r\nj=3\r\n[a]\r\nj=2\r\n"},
        {.name = "a new section after a last line without its break", .start = "[a]\r\nk=1",
         .writes = {{"b", "k", "2"}}, .want = "[a]\r\nk=1\r\n[b]\r\nk=2\r\n"},
        {.name = "lines that end at CR, the last one too", .start = "[a]\rk=1\r",
         .writes = {{"a", "k", "x"}, {"a", "j", "y"}, {"b", "k", "2"}},
         .want = "[a]\rk=x\rj=y\r\n[b]\r\nk=2\r\n", .wine = kWineDiffers},
        {.name = "deleting a section keeps its comments, and a later section of its name",
         .start = ";c0\r\n[s]\r\nk=1\r\n;c1\r\n[t]\r\n;c2\r\n[s]\r\nj=2\r\n",
         .writes = {{"s", nullptr, nullptr}, {"t", nullptr, "x"}},
         .want = ";c0\r\n;c1\r\n;c2\r\n[s]\r\nj=2\r\n", .wine = kWineDiffers},
        {.name = "spaces around the names go, the value is as given", .start = "",
         .writes = {{" sec ", "  key ", " value "}}, .want = "[sec]\r\nkey= value \r\n",
         .wine = kWineDiffers},
        {.name = "a comment key never replaces nor deletes a comment", .start = "[s]\r\n;k=old\r\n",
         .writes = {{"s", ";k", "v"}, {"s", ";k", nullptr}}, .want = "[s]\r\n;k=v\r\n;k=old\r\n",
         .wine = kWineDiffers},
        {.name = "a write that changes nothing keeps a lone LF", .start = "[s]\r\nk=v\n",
         .writes = {{"s", "k", "v"}}, .want = "[s]\r\nk=v\n"},
        // UTF-16LE stays so: code points from 0x80 up, read as UTF-8, go back as UTF-16, each
        // UTF-8 length at its limits; bytes that are not UTF-8 stand for themselves, where
        // Windows puts U+FFFD for each bad sequence.
        {.name = "UTF-16LE stays so", .start = Utf16(u16),
         .writes = {{"a", "j", utf8}, {"a", "n", notUtf8}},
         .want = Utf16(u16 + u"j=\x7F\x80\u07FF\u0800\uFFFF\U00010000\U0010FFFF\r\nn=" +
                       (kWine ? std::u16string(8, 0xFFFD)
                              : u"\xC1\xBF\xE0\x80\x80\xF4\x90\x80\x80\xE0\xA0") + u"\r\n")},
        {.name = "an odd last byte of UTF-16LE stays", .start = Utf16(u16) + "Z",
         .writes = {{"a", "j", "x"}}, .want = Utf16(u16 + u"j=x\r\n") + "Z", .wine = kWineDiffers},
        {.name = "a UTF-16LE mark alone", .start = "\xFF\xFE", .writes = {{"a", "k", "v"}},
         .want = Utf16(u"[a]\r\nk=v\r\n")},
        {.name = "UTF-16LE, a value replaced at the end", .start = Utf16(u"[a]\r\nk=1"),
         .writes = {{"a", "k", "\xE0\xA0\x80"}}, .want = Utf16(u"[a]\r\nk=\u0800"),
         .wine = kWineDiffers},
        {.name = "UTF-16LE surrogates without their pair stay, the last one too",
         .start = Utf16(lone), .writes = {{"a", "k", "v"}}, .want = Utf16(lone + u"\r\nk=v\r\n")},
    };
    // clang-format on
    for (const auto& c : cases) {
        std::filesystem::remove("t.ini");
        if (c.start) WriteFile("t.ini", *c.start);
        for (const Write& w : c.writes)
            EXPECT_TRUE(WritePrivateProfileStringA(w.app, w.key, w.value, "./t.ini")) << c.name;
        ExpectRow(ReadFile("t.ini"), c.want, c.wine, c.name);
    }
}

TEST_F(Profile, CreatedAndRefusedFiles) {
    const std::string keep = "[a]\r\nk=1\r\n", made = "[a]\r\nk=v\r\n",
                      huge = keep + std::string(5u << 20, ';'),
                      full = keep + std::string((4u << 20) - keep.size(), ';');
    // The longest file name, 255 characters: its recovery copy's name must be shortened.
    const std::string longest = "./" + std::string(251, 'p') + ".ini";
    const std::pair<const char*, std::string> files[] = {
        {"keep.ini", keep}, {"empty.ini", ""},  {"huge.ini", huge},
        {"full.ini", full}, {"wide.ini", wide}, {"readonly.ini", keep}};
    for (const auto& [file, bytes] : files) WriteFile(file, bytes);
    std::filesystem::permissions("readonly.ini", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    // Wine's last error 2 after deletes, and 0 after a flush, are not confirmed on Windows.
    // libwinshim refuses files larger than profiles ever are, which Wine reads; Wine running as
    // root writes a read-only file.
    const DWORD deleted = kWine ? 2 : kUnchanged, flushed = kWine ? 0 : kUnchanged;
    const DWORD denied = ERROR_ACCESS_DENIED;
    struct Case {
        const char* name;
        std::string file;
        const char *app = "a", *key = "k", *value = "v";
        BOOL want;
        DWORD error;
        std::string bytes = "<none>";  // afterwards
        bool wine = false;
    };
    // clang-format off
    const Case cases[] = {
        {.name = "a new file: success, and 'file not found'", .file = "./new.ini", .want = TRUE,
         .error = 2, .bytes = made, .wine = kWineDiffers},
        {.name = "an empty file", .file = "./empty.ini", .want = TRUE, .error = kUnchanged,
         .bytes = made, .wine = kWineDiffers},
        {.name = "the longest name: its copy's name is shortened", .file = longest, .want = TRUE,
         .error = 2, .bytes = made, .wine = kWineDiffers},
        {.name = "deleting a key makes no file", .file = "./absent.ini", .value = nullptr,
         .want = TRUE, .error = deleted},
        {.name = "no section, a key to delete", .file = "./keep.ini", .app = nullptr,
         .value = nullptr, .want = FALSE, .error = 2, .bytes = keep},
        {.name = "nothing at all: a flush", .file = "./keep.ini", .app = nullptr, .key = nullptr,
         .value = nullptr, .want = FALSE, .error = flushed, .bytes = keep},
        {.name = "an empty name", .file = "", .want = FALSE, .error = denied},
        {.name = "a missing directory", .file = "./nodir/x.ini", .want = FALSE, .error = 3},
        {.name = "a directory", .file = cwd_, .value = nullptr, .want = FALSE, .error = denied},
        {.name = "a file larger than profiles are", .file = "./huge.ini", .want = FALSE,
         .error = 8, .bytes = huge, .wine = kWineDiffers},
        {.name = "a write that would make the file larger than profiles are", .file = "./full.ini",
         .key = "j", .want = FALSE, .error = 8, .bytes = full, .wine = kWineDiffers},
        {.name = "a file as large as profiles may be, edited within its size", .file = "./full.ini",
         .value = "2", .want = TRUE, .error = kUnchanged, .bytes = "[a]\r\nk=2" + full.substr(8),
         .wine = kWineDiffers},
        {.name = "a UTF-16LE file larger as UTF-8 than profiles are", .file = "./wide.ini",
         .want = FALSE, .error = 8, .bytes = wide, .wine = kWineDiffers},
        {.name = "a read-only file", .file = "./readonly.ini", .want = FALSE, .error = denied,
         .bytes = keep, .wine = kWineDiffers},
    };
    // clang-format on
    for (const auto& c : cases) {
        SetLastError(kUnchanged);
        const BOOL got = WritePrivateProfileStringA(c.app, c.key, c.value, c.file.c_str());
        const DWORD error = GetLastError();
        const std::string bytes = ReadFile(c.file);
        ExpectRow(std::tuple(got, error, bytes == c.bytes), std::tuple(c.want, c.error, true),
                  c.wine, c.name + ": the file holds "s + std::to_string(bytes.size()) + " bytes");
    }
#if !defined(_WIN32)
    // Nor is a file larger than profiles are read, but one as large is.
    const UINT larger = GetPrivateProfileIntA("a", "k", 7, "./huge.ini");
    EXPECT_EQ(std::pair(larger, GetLastError()), std::pair(7u, DWORD{8})) << "larger";
    EXPECT_EQ(GetPrivateProfileIntA("a", "k", 7, "./full.ini"), 2u) << "as large";
    // A failed write's error, or 0: a device is no profile, not even when it can be written; no
    // write without room for its copy (a full disk); a bare name that cannot be created is 'file
    // not found'; no write without a place for its copy.
    const auto error = [](const std::string& file) {
        return WritePrivateProfileStringA("a", "k", "v", file.c_str()) ? 0 : GetLastError();
    };
    EXPECT_EQ(error(xpmtest::DeviceOrTwin("/dev/zero", "./zero")), 5u);
    const auto noRoom = [&] {
        const struct rlimit small { 32, 32 };
        std::signal(SIGXFSZ, SIG_IGN);
        return ::setrlimit(RLIMIT_FSIZE, &small) == 0 ? int(error("./keep.ini")) : -1;
    };
    EXPECT_EQ(WEXITSTATUS(xpmtest::InChild(noRoom)), 112);
    ::setenv("WINDIR", (root_ + "/missing").c_str(), 1);
    ::setenv("TMPDIR", (root_ + "/missing").c_str(), 1);
    EXPECT_EQ(std::pair(error("bare.ini"), error(tmp_ + "/t.ini")), std::pair(2u, 5u));
#endif
}

#if !defined(_WIN32)
long FilesIn(const char* directory) {
    return std::distance(std::filesystem::directory_iterator(directory), {});
}

// Waits up to 5 s for a recovery copy of `bytes` bytes or more in the tree under root.
bool CopySaved(const std::string& root, uintmax_t bytes) {
    for (int wait = 0; wait < 5000; ++wait, ::usleep(1000)) {
        std::error_code error;  // files come and go meanwhile
        for (std::filesystem::recursive_directory_iterator it(root, error), end;
             !error && it != end; it.increment(error)) {
            const uintmax_t size = it->file_size(error);
            if (!error && it->path().extension() == ".~undo" && size >= bytes) return true;
        }
    }
    return false;
}

// This test write-locks the profile far past its end: readers, which look for writers' locks
// on the bytes they read, go on, but the writer stops there once its copy is saved. Then the
// writer takes a file size limit that makes writing the new bytes fail part way; with SIGXFSZ
// at its default the writer dies there instead. In root's directory "ro" the profile is
// nobody's, so its copy goes to the temporary directory: root's writer leaves it to the owner,
// whose reader repairs the file; then nobody writes, and root trusts the copy as the owner's.
// After the last death the file is edited by hand: that newer text stays, and so does the copy.
TEST_F(Profile, KilledAndRivalWritersLoseNothing) {
    std::filesystem::create_directory("ro");
    // Longer than the size limit, so that putting the old bytes back fails as well.
    const std::string old = "[a]\r\nk=1\r\n" + std::string(200, ';'), edited = "[a]\r\nk=2\r\n";
    for (const auto& [file, dies, asNobody, edit] : {std::tuple{"./big.ini", false, false, false},
                                                     {"./big.ini", true, false, false},
                                                     {"./ro/big.ini", true, false, false},
                                                     {"./ro/big.ini", true, true, false},
                                                     {"./big.ini", true, false, true}}) {
        WriteFile(file, old);
        const bool nobodys = file[2] == 'r';
        const int nobody = nobodys && ::geteuid() == 0 ? xpmtest::kNobody : -1;
        ASSERT_EQ(::chown(file, nobody, nobody) | ::chmod("ro", 0755), 0);
        const int held = ::open(file, O_RDWR);
        const struct flock past { .l_type = F_WRLCK, .l_start = 1 << 20 };
        ASSERT_EQ(::fcntl(held, F_OFD_SETLK, &past), 0);
        const auto write = [&] {
            const struct rlimit noCore {};
            std::signal(SIGXFSZ, dies ? SIG_DFL : SIG_IGN);
            std::signal(SIGUSR1, [](int) {
                const struct rlimit small { 128, 128 };
                ::setrlimit(RLIMIT_FSIZE, &small);
            });
            const BOOL written =
                ::close(held) == 0 && ::setrlimit(RLIMIT_CORE, &noCore) == 0 &&
                WritePrivateProfileStringA("a", "k", std::string(500, 'v').c_str(), file);
            return !written && GetLastError() == 112 ? 0 : 1;  // ERROR_DISK_FULL
        };
        const pid_t writer = xpmtest::StartChild(write, asNobody);
        EXPECT_TRUE(CopySaved(root_, 500) && ::kill(writer, SIGUSR1) == 0);
        ::close(held);
        const int status = xpmtest::FinishChild(writer);
        EXPECT_TRUE(dies ? WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ : status == 0)
            << file << ": " << status;
        if (edit) WriteFile(file, edited);
        // The reader repairs the file.
        const auto read = [&] { return int(GetPrivateProfileIntA("a", "k", 0, file)); };
        EXPECT_EQ(WEXITSTATUS(xpmtest::InChild(read, nobodys && !asNobody)), edit ? 2 : 1) << file;
        EXPECT_EQ(ReadFile(file), edit ? edited : old) << file;
        // The copy stays after a write that could not undo itself, and after a hand edit.
        EXPECT_EQ(FilesIn(nobodys ? "ro" : "."), nobodys ? 1 : 2 + (edit || !dies))
            << file << ": copies left behind";
        if (!dies) std::filesystem::remove("big.ini.~undo");  // the next writer's copy is awaited
    }
    // Four processes write 25 keys each at once; each waits for the ones it started.
    const auto writeKeys = [] {
        const int high = ::fork() == 0, writer = high * 2 + (::fork() == 0);
        int failed = 0, status = 0;
        for (int k = writer * 100; k < writer * 100 + 25; ++k)
            failed += !WritePrivateProfileStringA("s", std::to_string(k).c_str(), "v", "./s.ini");
        while (::wait(&status) > 0) failed += status != 0;
        return failed;
    };
    EXPECT_EQ(xpmtest::InChild(writeKeys), 0) << "a write returned FALSE";
    const std::string all = ReadFile("s.ini");
    EXPECT_EQ(std::count(all.begin(), all.end(), '='), 100) << all;
    EXPECT_EQ(FilesIn("."), 4) << "a copy was left behind";  // and big.ini's stale one
}

// In a directory shared by every user (as /tmp is), nobody plants files where the profile's
// copy and its owner's private directory would go, and any process locks the profile: the
// owner's writes still succeed at once, and reads do not wait for a writer's lock for long.
TEST_F(Profile, OtherUsersCannotBlockAProfile) {
    const std::string shared = root_ + "/shared", file = shared + "/p.ini",
                      mine = tmp_ + "/winshim-" + std::to_string(::geteuid());
    ASSERT_TRUE(::mkdir(shared.c_str(), 0) == 0 && ::chmod(shared.c_str(), 01777) == 0);
    for (const std::string& path : {file, "w.ini"s})
        ASSERT_EQ(::chmod(WriteFile(path, "[a]\r\nk=1\r\n").c_str(), 0777), 0);
    GetPrivateProfileIntA("a", "k", 0, file.c_str());  // makes no directory: nobody's come first
    // Nobody may write the profile too, and does, with a copy of its own; so too w.ini, where
    // it may not add the copy beside the profile.
    const auto plant = [&] {
        return ::close(::open((file + ".~undo").c_str(), O_CREAT | O_WRONLY, 0600)) |
               ::mkdir(mine.c_str(), 0700) | ::symlink(mine.c_str(), (mine + "-1").c_str()) |
               !WritePrivateProfileStringA("a", "n", "1", file.c_str()) |
               !WritePrivateProfileStringA("a", "n", "1", "./w.ini");
    };
    ASSERT_EQ(xpmtest::InChild(plant, true), 0);
    std::string last = "1";
    for (const short lock : {F_UNLCK, F_RDLCK, F_WRLCK}) {
        const int fd = ::open(file.c_str(), lock == F_WRLCK ? O_RDWR : O_RDONLY);
        const struct flock range { .l_type = lock };
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

// A hand edit made while a writer waits for the profile's lock stays, and so does a file put in
// the profile's place while the writer waits for its slot: the writer reads the file again.
TEST_F(Profile, AnEditWhileAWriterWaitsStays) {
    for (const bool forSlot : {false, true}) {
        WriteFile("e", "[a]\r\nk=1\r\n");
        const int held = ::open(forSlot ? "e.~undo" : "e", O_RDWR | O_CREAT, 0600);
        // The file's past its end: the writer reads, saves its copy, then waits.
        const struct flock range { .l_type = F_WRLCK, .l_start = forSlot ? 0 : 1 << 20 };
        ASSERT_EQ(::fcntl(held, F_OFD_SETLK, &range), 0);
        std::thread writer([] { EXPECT_TRUE(WritePrivateProfileStringA("a", "k", "2", "./e")); });
        EXPECT_TRUE(forSlot ? ::usleep(100 * 1000) == 0 : CopySaved(root_, 20));
        // Edited in place while the writer waits for the lock, else replaced.
        std::filesystem::rename(WriteFile(forSlot ? "n.ini" : "e", "[a]\r\nk=1\r\nj=3\r\n"), "e");
        ::close(held);
        writer.join();
        EXPECT_EQ(ReadFile("e"), "[a]\r\nk=2\r\nj=3\r\n") << (forSlot ? "slot" : "lock");
    }
}

// A copy is believed only where nobody but the profile's owner, the reader or root can have
// written it: a profile its writer left part way is then put back, or read with the old bytes
// where the reader may not write it; else it is read as it is, and no writer uses that slot.
TEST_F(Profile, OnlyCopiesNobodyElseCanWriteAreBelieved) {
    const std::string old = "[a]\r\nk=11\r\n", torn = "[a]\r\nk=21\r\n";
    const bool root = ::geteuid() == 0;
    for (const auto& [others, readOnly] : {std::pair{false, false}, {root, false}, {false, true}}) {
        struct stat file {};
        ::stat(WriteFile("t.ini", torn).c_str(), &file);
        const int copy = ::open("t.ini.~undo", O_CREAT | O_WRONLY | O_TRUNC, 0600);
        ::dprintf(copy, "winshim profile copy %ju %ju 11 11\n%s[a]\r\nk=23\r\n",
                  uintmax_t{file.st_dev}, uintmax_t{file.st_ino}, old.c_str());
        ASSERT_EQ(::fchown(copy, others ? xpmtest::kNobody : ::geteuid(), -1) | ::close(copy) |
                      ::chmod("t.ini", readOnly ? 0444 : 0644),
                  0);
        EXPECT_EQ(GetPrivateProfileIntA("a", "k", 0, "./t.ini"), others ? 21u : 11u);
        EXPECT_EQ(ReadFile("t.ini"), others || readOnly ? torn : old) << others << readOnly;
        EXPECT_EQ(WritePrivateProfileStringA("a", "j", "1", "./t.ini") ? 0 : GetLastError(),
                  others || readOnly ? 5u : 0u);  // denied
    }
}

// Parsed profiles are kept while their files stay as they were (a file changed in the last 3 s
// is not kept), the four last used and at most 8 MiB of text: a read of a kept profile reads
// nothing from the disk, which the allocations of a read tell.
TEST_F(Profile, ParsedProfilesKept) {
    const std::string big((29 << 20) / 10, ';');  // three are more than 8 MiB, not 9
    for (const std::string name : {"s0", "s1", "s2", "s3", "s4", "b0", "b1", "b2"})
        WriteFile(name + ".ini", "[a]\r\nk=" + name + "\r\n" + (name[0] == 'b' ? big : ""));
    std::this_thread::sleep_for(std::chrono::milliseconds(3100));
    WriteFile("s5.ini", "[a]\r\nk=s5\r\n");  // too new to be kept
    // A read from the disk allocates for the bytes and the parsed lines; one of a kept
    // profile allocates nothing.
    const auto read = [&](const std::string& name) {
        char value[8];
        xpmfault::StartCounting();
        xpmfault::Resume();
        GetPrivateProfileStringA("a", "k", "", value, sizeof value, ("./" + name + ".ini").c_str());
        xpmfault::Pause();
        EXPECT_EQ(value, name) << "read from " << name;
        return xpmfault::Seen(xpmfault::Kind::kAllocation) == 0 ? "kept" : "read";
    };
    // Each row: a profile, and whether its read finds it kept. s0 goes as the fifth comes; s1,
    // used again, stays when s0 comes back and s2 goes; of the big ones at most two fit, and
    // the small one read just before them goes too; s5, too new, is never kept.
    const std::pair<const char*, const char*> reads[] = {
        {"s0", "read"}, {"s1", "read"}, {"s2", "read"}, {"s3", "read"}, {"s4", "read"},
        {"s4", "kept"}, {"s1", "kept"}, {"s0", "read"}, {"s1", "kept"}, {"s2", "read"},
        {"b0", "read"}, {"b1", "read"}, {"b2", "read"}, {"b1", "kept"}, {"b0", "read"},
        {"b2", "read"}, {"s2", "read"}, {"s5", "read"}, {"s5", "read"}};
    for (size_t i = 0; i < std::size(reads); ++i)
        EXPECT_STREQ(read(reads[i].first), reads[i].second)
            << "read " << i + 1 << " of " << reads[i].first;
    // A kept profile rewritten with its old size and time is read anew; so is one rewritten so
    // at once, within a tick of the clock that stamps files, as a new file is not kept.
    const auto time = std::filesystem::last_write_time("s2.ini");
    for (const char* value : {"s8", "s9"}) {
        WriteFile("s2.ini", "[a]\r\nk="s + value + "\r\n");
        std::filesystem::last_write_time("s2.ini", time);
        char got[8];
        GetPrivateProfileStringA("a", "k", "", got, sizeof got, "./s2.ini");
        EXPECT_STREQ(got, value) << "a profile rewritten with its old size and time";
    }
}
#endif

}  // namespace
