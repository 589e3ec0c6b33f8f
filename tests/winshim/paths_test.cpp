// Where files and modules are: OpenFile as an existence test, module file names, the Windows
// directory; and the string tables and version data that modules register.
#include "temp_files.h"

namespace {

using namespace winshim_test;

// OpenFile(name, OF_EXIST) on a record full of 0xCC, told as the full path found, or as
// "HFILE_ERROR last-error nErrCode" with "+" when szPathName was written.
std::string Open(const std::string& name) {
    OFSTRUCT of;
    std::memset(&of, 0xCC, sizeof of);
    SetLastError(kUnchanged);
    const HFILE got = OpenFile(name.c_str(), &of, OF_EXIST);
    const std::string error = std::to_string(GetLastError()), path(of.szPathName, strnlen(of.szPathName, 128));
    if (got != 1) return std::to_string(got) + " " + error + " " + std::to_string(of.nErrCode) + (path[0] == '\xCC' ? "" : "+");
    // Found files are dated 2021-03-04 05:06:08: DOS date 21092, time 10436. Nothing is
    // written past the name, and the last error stays.
    const bool record = of.cBytes == 136 && of.nErrCode == 0 && of.Reserved1 == 21092 && of.Reserved2 == 10436 &&
                        (path.size() == 127 || of.szPathName[path.size() + 1] == '\xCC') && error == "3735928559";
    return path + (record ? "" : " with a wrong record");
}

class Paths : public TempTreeTest {};

TEST_F(Paths, OpenFile) {  // O2-O4, O-a..O-f
    const std::string exeDir = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    const std::string both = "winshim-open-file-" + std::to_string(::getpid()) + ".ini", inExe = exeDir + "/" + both;
    const std::string fits = cwd_ + "/" + std::string(126 - cwd_.size(), 'n'), x = cwd_ + "/sub/x.ini";  // 127 long
    struct tm date {8, 6, 5, 4, 2, 121, 0, 0, -1};
    const struct timespec times[2] = {{::mktime(&date), 0}, {::mktime(&date), 0}};
    const auto touch = [&](const std::string& f) { WriteBytes(f, "x"); return ::utimensat(AT_FDCWD, f.c_str(), times, 0); };
    ASSERT_TRUE(std::filesystem::create_directories("sub/dir") && ::mkfifo("fifo", 0666) == 0);
    for (const std::string& file : {x, windows_ + "/w.ini", "c.ini"s, both, windows_ + "/" + both, fits, fits + "m", "u"s})
        ASSERT_EQ(touch(file), 0) << file;
    ASSERT_EQ(::chmod("u", 0), 0);
    const bool exeDirFits = inExe.size() < OFS_MAXPATHNAME && touch(inExe) == 0;
    const struct { std::string input, want; bool unprivileged = false; } cases[] = {
        {x, x}, {"sub/x.ini", x}, {"./sub/../sub/./x.ini", x}, {"/../.." + x, x}, {fits, fits},  // O-a
        {"c.ini", cwd_ + "/c.ini"}, {"w.ini", windows_ + "/w.ini"}, {"c.ini", cwd_ + "/c.ini", true},  // O-d, O-f
        {both, exeDirFits ? inExe : cwd_ + "/" + both},  // O-e: the program's directory, then cwd, then Windows
        {"./foo-bar-foo.baz", "-1 2 2"}, {"foo-bar-foo.baz", "-1 2 2"}, {"sub/dir", "-1 2 2"},  // O-b
        {"./fifo", "-1 2 2"}, {"./u", "-1 2 2", true},  // not regular, or not readable, is not found
        {fits + "m", "-1 206 206"}, {"./foo-bar-foo.baz" + std::string(130, '+'), "-1 206 206"},  // O-c
    };
    for (const auto& c : cases) {
        const auto asNobody = [&] { return InChild(true, [&] { return Open(c.input) == c.want ? 0 : 1; }) ? "?" : c.want; };
        EXPECT_EQ(c.unprivileged ? asNobody() : Open(c.input), c.want) << c.input << (c.unprivileged ? " as nobody" : "");
    }
    if (exeDirFits) std::filesystem::remove(inExe);
    OFSTRUCT of{};  // no OFSTRUCT is refused; OF_READ tests existence too
    EXPECT_TRUE(OpenFile("sub/x.ini", nullptr, OF_EXIST) == HFILE_ERROR && OpenFile("sub/x.ini", &of, OF_READ) == 1);
    std::filesystem::current_path("/");
    EXPECT_EQ(Open(x.substr(1)), x) << "relative to the root directory";
}

TEST_F(Paths, ModuleAndWindowsDirectoryNames) {  // D1-D6, GM1, GM2, GW1, GW2
    char buffer[4096];
    HMODULE library = WinshimModuleFromAddress(reinterpret_cast<const void*>(&GlobalAlloc));
    const std::string libraryPath(buffer, GetModuleFileNameA(library, buffer, sizeof buffer));
    // A copy of the library in a directory deeper than MAX_PATH, loaded beside the real one.
    const std::string deep = deep_ + "/libcopy.so", exe = std::filesystem::read_symlink("/proc/self/exe");
    std::filesystem::copy_file(libraryPath, deep);
    void* loaded = ::dlopen(deep.c_str(), RTLD_NOW | RTLD_LOCAL);
    HMODULE copy = WinshimModuleFromAddress(::dlsym(loaded, "GlobalAlloc"));
    ASSERT_TRUE(copy != nullptr && copy != library);
    const auto len = static_cast<DWORD>(exe.size()), deepLen = static_cast<DWORD>(deep.size());
    static int inProgram;
    const struct { HMODULE module; DWORD size, want; std::string text; DWORD error; } cases[] = {
        {nullptr, sizeof buffer, len, exe, kUnchanged}, {WinshimModuleFromAddress(&inProgram), 4096, len, exe, kUnchanged},
        {copy, sizeof buffer, deepLen, deep, kUnchanged}, {copy, MAX_PATH, MAX_PATH, deep.substr(0, MAX_PATH - 1), 122},
        {nullptr, len / 2, len / 2, exe.substr(0, len / 2 - 1), 122}, {nullptr, len + 1, len, exe, kUnchanged},  // D3
        {nullptr, len, len, exe.substr(0, len - 1), 122}, {nullptr, 1, 1, "", 122}, {nullptr, 0, 0, "untouched", 122},
        {reinterpret_cast<HMODULE>(0xffffffff), 16, 0, "untouched", 126}, {&inProgram, 16, 0, "untouched", 126},
        {reinterpret_cast<HMODULE>(&GlobalAlloc), 16, 0, "untouched", 126},
    };
    for (const auto& c : cases) {
        std::strcpy(buffer, "untouched");
        SetLastError(kUnchanged);
        const DWORD got = GetModuleFileNameA(c.module, buffer, c.size);
        EXPECT_EQ(std::tuple(got, std::string(buffer), GetLastError()), std::tuple(c.want, c.text, c.error))
            << c.module << ", size " << c.size;
    }
    EXPECT_EQ(::dlclose(loaded), 0);
    // GetWindowsDirectoryA: D6, GW1, GW2 (the root keeps its separator), and beyond MAX_PATH.
    const std::string windir = "/" + std::string(250, 'w') + "/" + std::string(40, 'v');
    const struct { const char* windir; UINT size, want; std::string text; } directories[] = {  // windir null: unset
        {"/opt/windows", 64, 12, "/opt/windows"}, {"/opt/windows", 13, 12, "/opt/windows"},
        {"/opt/windows", 12, 13, "untouched"}, {"/opt/windows//", 64, 12, "/opt/windows"}, {"/", 64, 1, "/"},
        {"//", 64, 1, "/"}, {windir.c_str(), 512, 292, windir}, {windir.c_str(), MAX_PATH, 293, "untouched"},
        {nullptr, 64, 4, "/etc"}, {"", 64, 4, "/etc"},
    };
    for (const auto& c : directories) {
        c.windir ? ::setenv("WINDIR", c.windir, 1) : ::unsetenv("WINDIR");
        char buffer[512] = "untouched";
        const UINT got = GetWindowsDirectoryA(buffer, c.size);
        EXPECT_EQ(std::tuple(got, std::string(buffer)), std::tuple(c.want, c.text)) << (c.windir ? c.windir : "unset");
    }
    EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), 5u) << "the size needed";
}

// A fake module: any unique address serves as its handle.
int g_fakeModule;
const WinshimStringResource kStrings[] = {{0, "String resource"}, {1, "one"}, {65534, "last slot"}, {7, ""}};
// An entry without a value (or key) is skipped, not read.
const WinshimVersionString kVersion[] = {{"Nope", nullptr}, {nullptr, "x"}, {"FileVersion", "8.5.3.0"},
                                         {"FilterDefinitions", "XPM Format,0,.XPM"}};
const WinshimModuleResources kResources = {kStrings, 4, kVersion, 4, {8, 5, 3, 0}};

TEST(Resources, StringsAndVersionData) {  // R1-R7, L1-L5
    HMODULE module = &g_fakeModule;
    ASSERT_TRUE(WinshimRegisterModuleResources(module, &kResources));
    // R1-R3, R4 (the last error stays), R5, R6 and L1 (only the low word counts), L3, R7, L5.
    const struct { UINT id; int size, want; std::string text; DWORD error = kUnchanged; } cases[] = {
        {0, 128, 15, "String resource"}, {0, 16, 15, "String resource"}, {0, 15, 14, "String resourc"}, {1, 1, 0, ""},
        {0, 0, -1, "untouched"}, {0xFFFFFFFEu, 128, 9, "last slot"}, {0x80000001u, 128, 3, "one"}, {3, 1, 0, ""},
        {3, 2, 0, "", 1814}, {7, 128, 0, "", 1814},  // ERROR_RESOURCE_NAME_NOT_FOUND
    };
    for (const auto& c : cases) {
        char buffer[130] = "untouched";
        SetLastError(kUnchanged);
        const int got = LoadStringA(module, c.id, buffer, c.size);
        EXPECT_EQ(std::tuple(got, std::string(buffer), GetLastError()), std::tuple(c.want, c.text, c.error)) << c.id;
    }
    char b[2][64] = {};
    WORD v[4] = {};
    const std::vector<std::string> got = {  // in order: any case; cut to the buffer; unknown keys and modules
        std::to_string(WinshimQueryVersionString(module, "filterdefinitions", b[0], 64)), b[0],
        std::to_string(WinshimQueryVersionString(module, "FileVersion", b[1], 4)), b[1],
        std::to_string(WinshimQueryVersionString(module, "Nope", b[1], 64) + WinshimQueryVersionString(b, "FileVersion", b[1], 64)),
        WinshimQueryFileVersion(module, v) ? std::to_string(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3]) : ""};
    EXPECT_EQ(got, (std::vector<std::string>{"17", "XPM Format,0,.XPM", "3", "8.5", "0", "8530"}));
    EXPECT_FALSE(WinshimQueryFileVersion(b, v) || WinshimRegisterModuleResources(nullptr, &kResources) ||
                 WinshimRegisterModuleResources(b, nullptr));
    WinshimUnregisterModuleResources(module);
    EXPECT_TRUE(LoadStringA(module, 0, b[0], 64) == 0 && LoadStringA(nullptr, 0, b[0], 64) == 0) << "unregistered";
}

}  // namespace
