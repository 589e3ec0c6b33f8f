// Where files and modules are: OpenFile as an existence test, module file names, the Windows
// and temporary directories; and the string tables and version data that modules register.
// The Windows build runs the parts that use only Win32 calls against the system's own.
#include "winshim_test.h"

namespace {

using namespace winshim_test;

#if defined(_WIN32)
std::string ProgramPath() {
    char path[MAX_PATH];
    return Slashes(std::string(path, GetModuleFileNameA(nullptr, path, MAX_PATH)));
}
HMODULE ProgramModule() {
    return GetModuleHandleA(nullptr);
}
#else
std::string ProgramPath() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}
HMODULE ProgramModule() {
    static int inProgram;
    return WinshimModuleFromAddress(&inProgram);
}
#endif

// OpenFile(name, OF_EXIST) on a record full of 0xCC, told as the full path found, or as
// "HFILE_ERROR last-error nErrCode" with "+" when szPathName was written.
std::string Open(const std::string& name) {
    OFSTRUCT of;
    std::memset(&of, 0xCC, sizeof of);
    SetLastError(kUnchanged);
    const HFILE got = OpenFile(name.c_str(), &of, OF_EXIST);
    const std::string error = std::to_string(GetLastError()),
                      path = Slashes({of.szPathName, strnlen(of.szPathName, 128)});
    if (got != 1)
        return std::to_string(got) + " " + error + " " + std::to_string(of.nErrCode) +
               (path[0] == '\xCC' ? "" : "+");
    // Found files are dated 2021-03-04 05:06:08 (DOS date 21092, time 10436) unless a row
    // says otherwise, on a fixed disk. Nothing is written past the name, and the last error
    // stays (Wine may write there, clears it, and does not say fixed disk).
    const bool record = of.cBytes == 136 && (kWine || of.fFixedDisk == 1) && of.nErrCode == 0 &&
                        (kWine || path.size() == 127 || of.szPathName[path.size() + 1] == '\xCC') &&
                        error == (kWine ? "0" : "3735928559");
    const std::string date = std::to_string(of.Reserved1) + " " + std::to_string(of.Reserved2);
    return path + (record ? "" : " with a wrong record") +
           (date == "21092 10436" ? "" : " dated " + date);
}

class Paths : public TempTreeTest {};

TEST_F(Paths, OpenFile) {
    const std::string exeDir = std::filesystem::path(ProgramPath()).parent_path().string();
    const std::string both =
        "winshim-open-" + std::filesystem::path(root_).filename().string() + ".ini";
    const std::string inExe = exeDir + "/" + both, x = cwd_ + "/sub/x.ini";
    const std::string fits = cwd_ + "/" + std::string(126 - cwd_.size(), 'n');  // 127 long
    const auto touch = [&](const std::string& f, struct tm date = {8, 6, 5, 4, 2, 121, 0, 0, -1}) {
        using FileTime = std::filesystem::file_time_type;
        const auto at =
            FileTime::clock::from_sys(std::chrono::system_clock::from_time_t(::mktime(&date)));
        std::error_code error;
        WriteFile(f, "x");
        std::filesystem::last_write_time(f, std::chrono::time_point_cast<FileTime::duration>(at),
                                         error);
        return !error;
    };
    ASSERT_TRUE(std::filesystem::create_directories("sub/dir"));
    for (const std::string& file :
         {x, windows_ + "/w.ini", "c.ini"s, both, windows_ + "/" + both, fits, deep_ + "/d.ini"})
        ASSERT_TRUE(touch(file)) << file;
    const bool exeDirFits = inExe.size() < OFS_MAXPATHNAME && touch(inExe);
    // Where Windows allows either answer, Wine and libwinshim chose differently: Wine writes the
    // path it tried, and says 13 (libwinshim 206) for a path too long. Wine opens a directory
    // and is refused it; libwinshim looks for files only.
    const std::string missing = kWine ? "-1 2 2+" : "-1 2 2",
                      tooLong = kWine ? "-1 13 13" : "-1 206 206";
    struct Case {
        const char* name;
        std::string input, want;
        bool asNobody = false;
    };
    // clang-format off
    std::vector<Case> cases = {
        {.name = "an absolute path", .input = x, .want = x},
        {.name = "a relative path through . and ..", .input = "./sub/../sub/./x.ini", .want = x},
        {.name = "a full path of 127 characters, the most", .input = fits, .want = fits},
        {.name = "a bare name whose full path has 127 characters",
         .input = fits.substr(cwd_.size() + 1), .want = fits},
        {.name = "a bare name in the current directory", .input = "c.ini", .want = cwd_ + "/c.ini"},
        {.name = "a bare name in the Windows directory", .input = "w.ini",
         .want = windows_ + "/w.ini"},
        {.name = "a bare name: the program's directory comes before the current one",
         .input = both, .want = exeDirFits ? inExe : cwd_ + "/" + both},
        {.name = "a missing file", .input = "./foo-bar-foo.baz", .want = missing},
        {.name = "a bare name found nowhere", .input = "foo-bar-foo.baz", .want = missing},
        {.name = "a directory is no file", .input = "sub/dir", .want = kWine ? "-1 5 5+" : missing},
        {.name = "a missing file whose path would be too long",
         .input = "./foo-bar-foo.baz" + std::string(130, '+'), .want = tooLong},
    };
#if !defined(_WIN32)
    ASSERT_TRUE(touch("u") && ::chmod("u", 0) == 0 && touch(tmp_ + "/p.ini") &&
                touch("1980", {0, 0, 0, 1, 0, 80, 0, 0, -1}) &&
                touch("1979", {58, 59, 23, 31, 11, 79, 0, 0, -1}));
    const std::string path = std::getenv("PATH");
    ::setenv("PATH", ("/no/such::" + tmp_).c_str(), 1);
    cases.insert(cases.end(), {
        {.name = "a bare name on PATH", .input = "p.ini", .want = tmp_ + "/p.ini"},
        {.name = "the first DOS date", .input = "./1980", .want = cwd_ + "/1980 dated 33 0"},
        {.name = "a file older than DOS dates", .input = "./1979", .want = cwd_ + "/1979 dated 0 0"},
        {.name = "an unreadable file: missing", .input = "./u", .want = missing, .asNobody = true},
        {.name = "a bare name, as another user", .input = "c.ini", .want = cwd_ + "/c.ini",
         .asNobody = true},
        {.name = "a path that climbs above the root stays there", .input = "/../.." + x, .want = x},
    });
#endif
    // clang-format on
    for (const auto& c : cases) {
#if !defined(_WIN32)
        if (c.asNobody) {
            xpmtest::ExpectInChild([&] { EXPECT_EQ(Open(c.input), c.want) << c.name; }, true,
                                   c.name);
            continue;
        }
#endif
        EXPECT_EQ(Open(c.input), c.want) << c.name << ": " << c.input;
    }
    if (exeDirFits) std::filesystem::remove(inExe);
    EXPECT_EQ(OpenFile("sub/x.ini", nullptr, OF_EXIST), HFILE_ERROR) << "no OFSTRUCT";
#if !defined(_WIN32)
    ::setenv("PATH", path.c_str(), 1);
    // OF_READ tests existence too (Windows opens the file); OF_DELETE (0x200) is refused.
    OFSTRUCT of{};
    EXPECT_TRUE(OpenFile("sub/x.ini", &of, OF_READ) == 1 &&
                OpenFile(nullptr, &of, OF_EXIST) == HFILE_ERROR &&
                OpenFile("sub/x.ini", &of, OF_EXIST | 0x200) == HFILE_ERROR &&
                of.nErrCode == ERROR_INVALID_PARAMETER);
    ::setenv("WINDIR", deep_.c_str(), 1);
    EXPECT_EQ(Open("d.ini"), tooLong) << "a bare name found where its full path is too long";
    std::filesystem::current_path("/");
    EXPECT_EQ(Open(x.substr(1)), x) << "relative to the root directory";
#endif
}

TEST_F(Paths, ModuleAndDirectoryNames) {
    char buffer[4096];
#if defined(_WIN32)
    const std::string temporary(buffer, GetEnvironmentVariableA("TMP", buffer, sizeof buffer));
#endif
    const std::string exe = ProgramPath();
    const auto len = static_cast<DWORD>(exe.size());
    static int inProgram;
    // Wine clears the last error after a whole name, and leaves a cut name without its NUL, as
    // Windows XP did (so those rows are left out there).
    const DWORD whole = kWine ? 0 : kUnchanged;
    struct Case {
        const char* name;
        HMODULE module = nullptr;
        DWORD size = 16, want = 0;
        std::string text = "untouched";
        DWORD error = kUnchanged;
    };
    // clang-format off
    std::vector<Case> cases = {
        {.name = "the program by its handle, room for its NUL", .module = ProgramModule(),
         .size = len + 1, .want = len, .text = exe, .error = whole},
        {.name = "no room", .size = 0, .error = ERROR_INSUFFICIENT_BUFFER},
        {.name = "no module", .module = HMODULE(0xffffffff), .error = 126},
        {.name = "an address inside a module", .module = HMODULE(&inProgram), .error = 126},
    };
#if !defined(_WIN32)
    cases.push_back({.name = "no room for the NUL", .size = len, .want = len,
                     .text = exe.substr(0, len - 1), .error = ERROR_INSUFFICIENT_BUFFER});
    // clang-format on
    // Copies of the library loaded beside the real one: in a directory deeper than MAX_PATH,
    // and by relative names. The one asked for before the current directory changes keeps its
    // full path; the one first asked for afterwards has only the name it was loaded by.
    HMODULE library = WinshimModuleFromAddress(reinterpret_cast<const void*>(&GlobalAlloc));
    const std::string libraryPath(buffer, GetModuleFileNameA(library, buffer, sizeof buffer));
    const std::string names[] = {deep_ + "/libcopy.so", "near/libcopy.so", "near/lost.so"};
    std::filesystem::create_directory(cwd_ + "/near");
    void* loaded[3];
    HMODULE copies[3];
    for (int i = 0; i < 3; ++i) {
        std::filesystem::copy_file(libraryPath, names[i]);
        loaded[i] = ::dlopen(names[i].c_str(), RTLD_NOW | RTLD_LOCAL);
        copies[i] = WinshimModuleFromAddress(::dlsym(loaded[i], "GlobalAlloc"));
        ASSERT_TRUE(copies[i] != nullptr && copies[i] != library) << names[i];
    }
    ASSERT_EQ(GetModuleFileNameA(copies[1], buffer, sizeof buffer), cwd_.size() + 16);
    std::filesystem::current_path(root_);
    // clang-format off
    cases.insert(cases.end(), {
        {.name = "a path longer than MAX_PATH", .module = copies[0], .size = 4096,
         .want = DWORD(names[0].size()), .text = names[0]},
        {.name = "loaded by a relative name", .module = copies[1], .size = 4096,
         .want = DWORD(cwd_.size() + 16), .text = cwd_ + "/" + names[1]},
        {.name = "loaded by a relative name, first asked for elsewhere", .module = copies[2],
         .size = 4096, .want = 12, .text = names[2]}});
    // clang-format on
#endif
    // Whether the buffer is still all 'x' past the NUL of the text (or of "untouched").
    const auto past = [](const char* b, size_t size, const std::string& text) {
        const size_t end = std::max<size_t>(text.size(), 9) + 1;
        return std::string(b + end, b + size) == std::string(size - end, 'x');
    };
    for (const auto& c : cases) {
        std::strcpy(static_cast<char*>(std::memset(buffer, 'x', sizeof buffer)), "untouched");
        SetLastError(kUnchanged);
        const DWORD got = GetModuleFileNameA(c.module, buffer, c.size);
        EXPECT_EQ(std::tuple(got, Slashes(buffer), GetLastError(), past(buffer, 4096, c.text)),
                  std::tuple(c.want, c.text, c.error, true))
            << c.name << ": GetModuleFileNameA(" << c.module << ", " << c.size << ")";
    }
    // GetWindowsDirectoryA, then GetTempPathA (temporary): its variable (POSIX $TMPDIR, Windows
    // %TMP%) with one trailing separator; on POSIX /tmp/ when it is not absolute. A buffer too
    // small stays untouched and the size needed is returned.
    const auto windowsLen = static_cast<UINT>(windows_.size());
    const auto tempLen = static_cast<UINT>(root_.size() + 1);
    const std::string windir = "/" + std::string(250, 'w') + "/" + std::string(40, 'v');
    struct Directory {
        const char* name;
        bool temporary = false;
        const char* value;         // null: unset
        UINT size = 64, want = 0;  // 0: the text's length
        std::string text;
    };
    const char *fixture = windows_.c_str(), *root = root_.c_str();
    // clang-format off
    std::vector<Directory> directories = {
        {.name = "Windows, room for its NUL", .value = fixture, .size = windowsLen + 1,
         .text = windows_},
        {.name = "Windows, no room for the NUL", .value = fixture, .size = windowsLen,
         .want = windowsLen + 1, .text = "untouched"},
        {.name = "temporary, room for its NUL", .temporary = true, .value = root,
         .size = tempLen + 1, .text = root_ + "/"},
        {.name = "temporary, no room for the NUL", .temporary = true, .value = root,
         .size = tempLen, .want = tempLen + 1, .text = "untouched"}};
#if !defined(_WIN32)
    directories.insert(directories.end(), {
        {.name = "Windows, separators dropped", .value = "/opt/windows//", .text = "/opt/windows"},
        {.name = "Windows at the root", .value = "//", .text = "/"},
        {.name = "Windows beyond MAX_PATH", .value = windir.c_str(), .size = 512, .text = windir},
        {.name = "Windows unset: /etc", .value = nullptr, .text = "/etc"},
        {.name = "Windows empty: /etc", .value = "", .text = "/etc"},
        {.name = "temporary, one separator", .temporary = true, .value = "/var/tmp//",
         .text = "/var/tmp/"},
        {.name = "temporary at the root", .temporary = true, .value = "//", .text = "/"},
        {.name = "temporary, relative: /tmp/", .temporary = true, .value = "tmp", .text = "/tmp/"},
        {.name = "temporary unset: /tmp/", .temporary = true, .value = nullptr, .text = "/tmp/"}});
#endif
    // clang-format on
    for (const auto& c : directories) {
        char buffer[512];
        std::strcpy(static_cast<char*>(std::memset(buffer, 'x', sizeof buffer)), "untouched");
#if !defined(_WIN32)
        const char* variable = c.temporary ? "TMPDIR" : "WINDIR";
        c.value ? ::setenv(variable, c.value, 1) : ::unsetenv(variable);
#else
        if (c.temporary) SetEnvironmentVariableA("TMP", c.value);
#endif
        const UINT got =
            c.temporary ? GetTempPathA(c.size, buffer) : GetWindowsDirectoryA(buffer, c.size);
        EXPECT_EQ(std::tuple(got, Slashes(buffer), past(buffer, 512, c.text)),
                  std::tuple(c.want ? c.want : UINT(c.text.size()), c.text, true))
            << c.name << ": " << (c.value ? c.value : "unset") << ", room " << c.size;
    }
#if !defined(_WIN32)
    ::setenv("TMPDIR", tmp_.c_str(), 1);
    for (void* handle : loaded) EXPECT_EQ(::dlclose(handle), 0);
#else
    SetEnvironmentVariableA("TMP", temporary.c_str());  // for the tests after this one
#endif
    EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), kWine ? windowsLen + 1 : 5u)
        << "the size needed (POSIX: of /etc)";
}

#if !defined(_WIN32)
// A fake module: any unique address serves as its handle. (On Windows the strings are the
// test program's own resources, from tests/windows/strings.rc.) The last entry of each table
// lies past the count registered, and is never read.
int g_fakeModule;
const WinshimStringResource kStrings[] = {
    {0, "String resource"}, {1, "one"}, {65534, "last slot"}, {7, ""}, {3, "past the count"}};
// An entry without a value (or key) is skipped, not read.
const WinshimVersionString kVersion[] = {{"Nope", nullptr},
                                         {nullptr, "x"},
                                         {"FileVersion", "8.5.3.0"},
                                         {"FilterDefinitions", "XPM Format,0,.XPM"},
                                         {"Nope", "past the count"}};
const WinshimModuleResources kResources = {kStrings, 4, kVersion, 4, {8, 5, 3, 0}};
#endif

TEST(Resources, StringsAndVersionData) {
#if defined(_WIN32)
    HMODULE module = GetModuleHandleA(nullptr);
#else
    HMODULE module = &g_fakeModule;
    ASSERT_TRUE(WinshimRegisterModuleResources(module, &kResources));
#endif
    // For a missing string libwinshim says ERROR_RESOURCE_NAME_NOT_FOUND; Wine leaves the last
    // error.
    const DWORD missing = kWine ? kUnchanged : 1814;
    const struct {
        const char* name;
        UINT id = 0;
        int size = 128, want = 0;
        std::string text;
        DWORD error = kUnchanged;
    } cases[] = {
        // clang-format off
        {.name = "a string, room for its NUL", .size = 16, .want = 15, .text = "String resource"},
        {.name = "a string cut to the room", .size = 15, .want = 14, .text = "String resourc"},
        {.name = "room for the NUL alone", .id = 1, .size = 1, .text = ""},
        {.name = "no room: the buffer stays", .size = 0, .want = -1, .text = "untouched"},
        {.name = "only the id's low word", .id = 0xFFFFFFFEu, .want = 9, .text = "last slot"},
        {.name = "a missing string, room for the NUL alone", .id = 3, .size = 1, .text = ""},
        {.name = "a missing string", .id = 3, .size = 2, .text = "", .error = missing},
        {.name = "an empty string", .id = 7, .text = "", .error = missing},
        // clang-format on
    };
    for (const auto& c : cases) {
        char buffer[130] = "untouched";
        std::memset(buffer + 10, 'x', sizeof buffer - 11);  // a string must end in its own NUL
        SetLastError(kUnchanged);
        const int got = LoadStringA(module, c.id, buffer, c.size);
        EXPECT_EQ(std::tuple(got, std::string(buffer), GetLastError()),
                  std::tuple(c.want, c.text, c.error))
            << c.name << ": LoadStringA(" << c.id << ", room " << c.size << ")";
    }
#if !defined(_WIN32)
    char b[2][64] = {};
    std::memset(b, 'x', sizeof b - 1);  // the value cut must end in its own NUL
    WORD v[4] = {};
    // In order: any case of the key; cut to the buffer; unknown keys and modules, no key, no
    // buffer; the version.
    const std::vector<std::string> got = {
        std::to_string(WinshimQueryVersionString(module, "filterdefinitions", b[0], 64)),
        b[0],
        std::to_string(WinshimQueryVersionString(module, "FileVersion", b[1], 4)),
        b[1],
        std::to_string(WinshimQueryVersionString(module, "Nope", b[1], 64) +
                       WinshimQueryVersionString(b, "FileVersion", b[1], 64) +
                       WinshimQueryVersionString(module, nullptr, b[1], 64) +
                       WinshimQueryVersionString(module, "FileVersion", nullptr, 64)),
        WinshimQueryFileVersion(module, v)
            ? std::to_string(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3])
            : ""};
    EXPECT_EQ(got, (std::vector<std::string>{"17", "XPM Format,0,.XPM", "3", "8.5", "0", "8530"}));
    EXPECT_FALSE(WinshimQueryFileVersion(b, v) ||
                 WinshimRegisterModuleResources(nullptr, &kResources) ||
                 WinshimRegisterModuleResources(b, nullptr));
    WinshimUnregisterModuleResources(module);
    EXPECT_TRUE(LoadStringA(module, 0, b[0], 64) == 0 && LoadStringA(nullptr, 0, b[0], 64) == 0 &&
                LoadStringA(module, 0, nullptr, 64) == 0)
        << "unregistered, or no buffer";
#endif
}

}  // namespace
