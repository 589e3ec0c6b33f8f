// Where files and modules are: OpenFile as an existence test, module file names, the Windows
// directory; and the string tables and version data that modules register. The Windows build
// runs the parts that use only Win32 calls against the system's own.
#include "temp_files.h"

namespace {

using namespace winshim_test;

// The test program's file and module.
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
    // Found files are dated 2021-03-04 05:06:08: DOS date 21092, time 10436. Nothing is
    // written past the name, and the last error stays (Wine may write there, and clears it).
    const bool record = of.cBytes == 136 && of.nErrCode == 0 && of.Reserved1 == 21092 &&
                        of.Reserved2 == 10436 &&
                        (kWine || path.size() == 127 || of.szPathName[path.size() + 1] == '\xCC') &&
                        error == (kWine ? "0" : "3735928559");
    return path + (record ? "" : " with a wrong record");
}

class Paths : public TempTreeTest {};

TEST_F(Paths, OpenFile) {  // O2-O4, O-a..O-f
    const std::string exeDir = std::filesystem::path(ProgramPath()).parent_path().string();
    const std::string both =
        "winshim-open-" + std::filesystem::path(root_).filename().string() + ".ini";
    const std::string inExe = exeDir + "/" + both, x = cwd_ + "/sub/x.ini";
    const std::string fits = cwd_ + "/" + std::string(126 - cwd_.size(), 'n');  // 127 long
    struct tm date {
        8, 6, 5, 4, 2, 121, 0, 0, -1
    };
    const auto dated = std::chrono::time_point_cast<std::filesystem::file_time_type::duration>(
        std::filesystem::file_time_type::clock::from_sys(
            std::chrono::system_clock::from_time_t(::mktime(&date))));
    const auto touch = [&](const std::string& f) {
        std::error_code error;
        WriteBytes(f, "x");
        std::filesystem::last_write_time(f, dated, error);
        return !error;
    };
    ASSERT_TRUE(std::filesystem::create_directories("sub/dir"));
    for (const std::string& file :
         {x, windows_ + "/w.ini", "c.ini"s, both, windows_ + "/" + both, fits, fits + "m"})
        ASSERT_TRUE(touch(file)) << file;
    const bool exeDirFits = inExe.size() < OFS_MAXPATHNAME && touch(inExe);
    // Where Windows allows either answer, Wine and libwinshim chose differently: Wine writes the
    // path it tried, and says 13 (libwinshim 206) for a path too long. Wine opens a directory
    // and is refused it; libwinshim looks for files only.
    const std::string missing = kWine ? "-1 2 2+" : "-1 2 2",
                      tooLong = kWine ? "-1 13 13" : "-1 206 206";
    struct Case {
        std::string input, want;
        bool unprivileged = false;
    };
    std::vector<Case> cases = {
        {x, x},
        {"sub/x.ini", x},
        {"./sub/../sub/./x.ini", x},
        {fits, fits},  // O-a
        {"c.ini", cwd_ + "/c.ini"},
        {"w.ini", windows_ + "/w.ini"},  // O-d, O-f
        {both, exeDirFits
                   ? inExe
                   : cwd_ + "/" + both},  // O-e: the program's directory, then cwd, then Windows
        {"./foo-bar-foo.baz", missing},
        {"foo-bar-foo.baz", missing},
        {"sub/dir", kWine ? "-1 5 5+" : missing},  // O-b
        {fits + "m", tooLong},
        {"./foo-bar-foo.baz" + std::string(130, '+'), tooLong},  // O-c
    };
#if !defined(_WIN32)
    // Not regular, or not readable, is not found; a path that climbs above the root stays there.
    ASSERT_TRUE(::mkfifo("fifo", 0666) == 0 && touch("u") && ::chmod("u", 0) == 0);
    cases.insert(cases.end(), {{"./fifo", "-1 2 2"},
                               {"./u", "-1 2 2", true},
                               {"c.ini", cwd_ + "/c.ini", true},
                               {"/../.." + x, x}});
#endif
    for (const auto& c : cases) {
#if !defined(_WIN32)
        const auto asNobody = [&] {
            return InChild(true, [&] { return Open(c.input) == c.want ? 0 : 1; }) ? "?" : c.want;
        };
        EXPECT_EQ(c.unprivileged ? asNobody() : Open(c.input), c.want)
            << c.input << (c.unprivileged ? " as nobody" : "");
#else
        EXPECT_EQ(Open(c.input), c.want) << c.input;
#endif
    }
    if (exeDirFits) std::filesystem::remove(inExe);
    EXPECT_EQ(OpenFile("sub/x.ini", nullptr, OF_EXIST), HFILE_ERROR) << "no OFSTRUCT";
#if !defined(_WIN32)
    OFSTRUCT of{};  // OF_READ tests existence too (Windows opens the file)
    EXPECT_EQ(OpenFile("sub/x.ini", &of, OF_READ), 1);
    std::filesystem::current_path("/");
    EXPECT_EQ(Open(x.substr(1)), x) << "relative to the root directory";
#endif
}

TEST_F(Paths, ModuleAndDirectoryNames) {  // D1-D6, GM1, GM2, GW1, GW2
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
        HMODULE module;
        DWORD size, want;
        std::string text;
        DWORD error;
    };
    std::vector<Case> cases = {
        {nullptr, sizeof buffer, len, exe, whole},
        {ProgramModule(), 4096, len, exe, whole},
        {nullptr, len + 1, len, exe, whole},
        {nullptr, 0, 0, "untouched", 122},  // D4
        {reinterpret_cast<HMODULE>(0xffffffff), 16, 0, "untouched", 126},
        {reinterpret_cast<HMODULE>(&inProgram), 16, 0, "untouched", 126},
        {reinterpret_cast<HMODULE>(&GlobalAlloc), 16, 0, "untouched", 126},
    };
#if !defined(_WIN32)
    cases.insert(cases.end(), {{nullptr, len / 2, len / 2, exe.substr(0, len / 2 - 1), 122},  // D3
                               {nullptr, len, len, exe.substr(0, len - 1), 122},
                               {nullptr, 1, 1, "", 122}});
    // A copy of the library in a directory deeper than MAX_PATH, loaded beside the real one.
    HMODULE library = WinshimModuleFromAddress(reinterpret_cast<const void*>(&GlobalAlloc));
    const std::string libraryPath(buffer, GetModuleFileNameA(library, buffer, sizeof buffer)),
        deep = deep_ + "/libcopy.so";
    std::filesystem::copy_file(libraryPath, deep);
    void* loaded = ::dlopen(deep.c_str(), RTLD_NOW | RTLD_LOCAL);
    HMODULE copy = WinshimModuleFromAddress(::dlsym(loaded, "GlobalAlloc"));
    ASSERT_TRUE(copy != nullptr && copy != library);
    cases.insert(cases.end(), {{copy, sizeof buffer, DWORD(deep.size()), deep, kUnchanged},
                               {copy, MAX_PATH, MAX_PATH, deep.substr(0, MAX_PATH - 1), 122}});
#endif
    for (const auto& c : cases) {
        std::strcpy(buffer, "untouched");
        SetLastError(kUnchanged);
        const DWORD got = GetModuleFileNameA(c.module, buffer, c.size);
        EXPECT_EQ(std::tuple(got, Slashes(buffer), GetLastError()),
                  std::tuple(c.want, c.text, c.error))
            << c.module << ", size " << c.size;
    }
    // GetWindowsDirectoryA: D6, GW1; then, on POSIX, $WINDIR: GW2 (the root keeps its
    // separator), and beyond MAX_PATH. GetTempPathA (temporary): its variable (POSIX $TMPDIR,
    // Windows %TMP%) with one trailing separator; on POSIX /tmp/ when it is not absolute.
    const auto windowsLen = static_cast<UINT>(windows_.size());
    const auto tempLen = static_cast<UINT>(root_.size() + 1);
    const std::string windir = "/" + std::string(250, 'w') + "/" + std::string(40, 'v');
    struct Directory {
        const char* value;  // null: unset
        UINT size, want;
        std::string text;
        bool temporary = false;
    };
    const char* fixture = windows_.c_str();
    std::vector<Directory> directories = {{fixture, 64, windowsLen, windows_},
                                          {fixture, windowsLen + 1, windowsLen, windows_},
                                          {fixture, windowsLen, windowsLen + 1, "untouched"},
                                          {root_.c_str(), 512, tempLen, root_ + "/", true},
                                          {root_.c_str(), tempLen + 1, tempLen, root_ + "/", true},
                                          {root_.c_str(), tempLen, tempLen + 1, "untouched", true},
                                          {root_.c_str(), 0, tempLen + 1, "untouched", true}};
#if !defined(_WIN32)
    EXPECT_EQ(::dlclose(loaded), 0);
    directories.insert(directories.end(), {{"/opt/windows//", 64, 12, "/opt/windows"},
                                           {"/", 64, 1, "/"},
                                           {"//", 64, 1, "/"},
                                           {windir.c_str(), 512, 292, windir},
                                           {windir.c_str(), MAX_PATH, 293, "untouched"},
                                           {nullptr, 64, 4, "/etc"},
                                           {"", 64, 4, "/etc"},
                                           {"/var/tmp//", 64, 9, "/var/tmp/", true},
                                           {"//", 64, 1, "/", true},
                                           {"tmp", 64, 5, "/tmp/", true},
                                           {nullptr, 64, 5, "/tmp/", true}});
#endif
    for (const auto& c : directories) {
        char buffer[512] = "untouched";
#if !defined(_WIN32)
        const char* variable = c.temporary ? "TMPDIR" : "WINDIR";
        c.value ? ::setenv(variable, c.value, 1) : ::unsetenv(variable);
#else
        if (c.temporary) SetEnvironmentVariableA("TMP", c.value);
#endif
        const UINT got =
            c.temporary ? GetTempPathA(c.size, buffer) : GetWindowsDirectoryA(buffer, c.size);
        EXPECT_EQ(std::tuple(got, Slashes(buffer)), std::tuple(c.want, c.text))
            << (c.value ? c.value : "unset") << (c.temporary ? " (temporary)" : "");
    }
#if !defined(_WIN32)
    ::setenv("TMPDIR", tmp_.c_str(), 1);
#else
    SetEnvironmentVariableA("TMP", temporary.c_str());  // for the tests after this one
#endif
    EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), kWine ? windowsLen + 1 : 5u)
        << "the size needed (POSIX: of /etc)";
}

#if !defined(_WIN32)
// A fake module: any unique address serves as its handle. (On Windows the strings are the
// test program's own resources, from tests/windows/strings.rc.)
int g_fakeModule;
const WinshimStringResource kStrings[] = {
    {0, "String resource"}, {1, "one"}, {65534, "last slot"}, {7, ""}};
// An entry without a value (or key) is skipped, not read.
const WinshimVersionString kVersion[] = {{"Nope", nullptr},
                                         {nullptr, "x"},
                                         {"FileVersion", "8.5.3.0"},
                                         {"FilterDefinitions", "XPM Format,0,.XPM"}};
const WinshimModuleResources kResources = {kStrings, 4, kVersion, 4, {8, 5, 3, 0}};

#endif

TEST(Resources, StringsAndVersionData) {  // R1-R7, L1-L5
#if defined(_WIN32)
    HMODULE module = GetModuleHandleA(nullptr);
#else
    HMODULE module = &g_fakeModule;
    ASSERT_TRUE(WinshimRegisterModuleResources(module, &kResources));
#endif
    // R1-R3, R4 (the last error stays), R5, R6 and L1 (only the low word counts), L3, R7, L5 (for
    // a missing string libwinshim says ERROR_RESOURCE_NAME_NOT_FOUND; Wine leaves the last error).
    const DWORD missing = kWine ? kUnchanged : 1814;
    const struct {
        UINT id;
        int size, want;
        std::string text;
        DWORD error = kUnchanged;
    } cases[] = {
        {0, 128, 15, "String resource"}, {0, 16, 15, "String resource"},
        {0, 15, 14, "String resourc"},   {1, 1, 0, ""},
        {0, 0, -1, "untouched"},         {0xFFFFFFFEu, 128, 9, "last slot"},
        {0x80000001u, 128, 3, "one"},    {3, 1, 0, ""},
        {3, 2, 0, "", missing},          {7, 128, 0, "", missing},
    };
    for (const auto& c : cases) {
        char buffer[130] = "untouched";
        SetLastError(kUnchanged);
        const int got = LoadStringA(module, c.id, buffer, c.size);
        EXPECT_EQ(std::tuple(got, std::string(buffer), GetLastError()),
                  std::tuple(c.want, c.text, c.error))
            << c.id;
    }
#if !defined(_WIN32)
    char b[2][64] = {};
    WORD v[4] = {};
    const std::vector<std::string> got = {
        // in order: any case; cut to the buffer; unknown keys and modules
        std::to_string(WinshimQueryVersionString(module, "filterdefinitions", b[0], 64)),
        b[0],
        std::to_string(WinshimQueryVersionString(module, "FileVersion", b[1], 4)),
        b[1],
        std::to_string(WinshimQueryVersionString(module, "Nope", b[1], 64) +
                       WinshimQueryVersionString(b, "FileVersion", b[1], 64)),
        WinshimQueryFileVersion(module, v)
            ? std::to_string(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3])
            : ""};
    EXPECT_EQ(got, (std::vector<std::string>{"17", "XPM Format,0,.XPM", "3", "8.5", "0", "8530"}));
    EXPECT_FALSE(WinshimQueryFileVersion(b, v) ||
                 WinshimRegisterModuleResources(nullptr, &kResources) ||
                 WinshimRegisterModuleResources(b, nullptr));
    WinshimUnregisterModuleResources(module);
    EXPECT_TRUE(LoadStringA(module, 0, b[0], 64) == 0 && LoadStringA(nullptr, 0, b[0], 64) == 0)
        << "unregistered";
#endif
}

}  // namespace
