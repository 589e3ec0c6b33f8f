// Module file names, the Windows directory, registered string tables and version data.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "winshim/winshim.h"

namespace {

constexpr DWORD kUnchanged = 0xDEADBEEF;

std::string Canonical(const std::string& path) {
    return std::filesystem::weakly_canonical(path).string();
}

std::string ModuleName(HMODULE module) {
    char buffer[MAX_PATH * 4];
    DWORD length = GetModuleFileNameA(module, buffer, sizeof buffer);
    return std::string(buffer, length);
}

TEST(ModuleFileName, NamesTheProgramAndTheLibrary) {  // D1, D2, GM1
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(ModuleName(nullptr), exe) << "null module";
    HMODULE testModule = WinshimModuleFromAddress(reinterpret_cast<const void*>(&ModuleName));
    ASSERT_NE(testModule, nullptr);
    EXPECT_EQ(Canonical(ModuleName(testModule)), Canonical(exe)) << "the test program's handle";

    HMODULE library = WinshimModuleFromAddress(reinterpret_cast<const void*>(&GlobalAlloc));
    ASSERT_NE(library, nullptr);
    EXPECT_NE(library, testModule);
    EXPECT_EQ(WinshimModuleFromAddress(reinterpret_cast<const void*>(&LoadStringA)), library)
        << "two functions of one library";
    const std::string libraryPath = ModuleName(library);
    EXPECT_EQ(std::filesystem::path(libraryPath).filename(), "libwinshim.so") << libraryPath;
    EXPECT_EQ(libraryPath.front(), '/') << "a full path: " << libraryPath;
    if (const char* build = std::getenv("XPMFILTER_BUILD_DIR")) {
        EXPECT_EQ(Canonical(libraryPath), Canonical(std::string(build) + "/lib/libwinshim.so"));
    }
}

TEST(ModuleFileName, CutsToTheBufferAndRefusesUnknownHandles) {  // D3-D5, GM2
    const std::string full = ModuleName(nullptr);
    const DWORD len = static_cast<DWORD>(full.size());
    ASSERT_GT(len, 4u);
    struct Case {
        const char* name;
        DWORD size;
        DWORD want;
        std::string wantText;
        DWORD wantError;
    };
    const Case cases[] = {
        {"D3 half", len / 2, len / 2, full.substr(0, len / 2 - 1), ERROR_INSUFFICIENT_BUFFER},
        {"D4 len + 1", len + 1, len, full, kUnchanged},
        {"D4 len", len, len, full.substr(0, len - 1), ERROR_INSUFFICIENT_BUFFER},
        {"size 1", 1, 1, "", ERROR_INSUFFICIENT_BUFFER},
    };
    for (const Case& c : cases) {
        std::vector<char> buffer(len + 8, 'x');
        SetLastError(kUnchanged);
        DWORD got = GetModuleFileNameA(nullptr, buffer.data(), c.size);
        EXPECT_EQ(got, c.want) << c.name;
        EXPECT_STREQ(buffer.data(), c.wantText.c_str()) << c.name;
        EXPECT_EQ(GetLastError(), c.wantError) << c.name;
    }
    static int notAModuleStart;
    for (HMODULE bad : {reinterpret_cast<HMODULE>(0xffffffff), reinterpret_cast<HMODULE>(&notAModuleStart),
                        reinterpret_cast<HMODULE>(GlobalAlloc)}) {
        char buffer[16] = "untouched";
        EXPECT_EQ(GetModuleFileNameA(bad, buffer, sizeof buffer), 0u) << bad;
        EXPECT_STREQ(buffer, "untouched") << bad;
    }
}

TEST(WindowsDirectory, FollowsWINDIR) {  // D6, GW1
    const char* saved = std::getenv("WINDIR");
    const std::optional<std::string> old = saved ? std::optional<std::string>(saved) : std::nullopt;
    ::setenv("WINDIR", "/opt/windows", 1);
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 12u);
    EXPECT_STREQ(buffer, "/opt/windows");
    EXPECT_EQ(GetWindowsDirectoryA(buffer, 13), 12u);
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GetWindowsDirectoryA(buffer, 12), 13u) << "too small: the size needed";
    EXPECT_EQ(buffer[0], 'x') << "too small: untouched";
    EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), 13u);
    ::setenv("WINDIR", "/opt/windows/", 1);
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 12u) << "no trailing separator";
    ::unsetenv("WINDIR");
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 4u);
    EXPECT_STREQ(buffer, "/etc");
    if (old) ::setenv("WINDIR", old->c_str(), 1);
}

// A fake module: any unique address serves as its handle.
int g_fakeModule;
const WinshimStringResource kStrings[] = {
    {0, "String resource"},
    {1, "one"},
    {65534, "last slot"},
    {7, ""},
};
const WinshimVersionString kVersion[] = {
    {"FileVersion", "8.5.3.0"},
    {"FilterDefinitions", "XPM Format,0,.XPM"},
};
const WinshimModuleResources kResources = {kStrings, 4, kVersion, 2, {8, 5, 3, 0}};

class Resources : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(WinshimRegisterModuleResources(module_, &kResources)); }
    void TearDown() override { WinshimUnregisterModuleResources(module_); }
    HMODULE module_ = &g_fakeModule;
};

TEST_F(Resources, LoadStringRules) {  // R1-R7, L1-L5
    struct Case {
        const char* name;
        UINT id;
        int size;
        int want;
        std::string wantText;  // nullopt-like "<untouched>" when the buffer must stay
        DWORD wantError;
    };
    const Case cases[] = {
        {"R1", 0, 128, 15, "String resource", kUnchanged},
        {"R2", 0, 16, 15, "String resource", kUnchanged},
        {"R3", 0, 15, 14, "String resourc", kUnchanged},
        {"R4 size 1", 1, 1, 0, "", kUnchanged},
        {"R5 size 0", 0, 0, -1, "<untouched>", kUnchanged},
        {"R6 high word ignored", 0xFFFFFFFEu, 128, 9, "last slot", kUnchanged},
        {"L1 MAKELONG(1, 0x8000)", 0x80000001u, 128, 3, "one", kUnchanged},
        {"R7 missing id", 3, 128, 0, "", kUnchanged},
        {"L5 empty string", 7, 128, 0, "", kUnchanged},
    };
    for (const Case& c : cases) {
        char buffer[130];
        std::strcpy(buffer, "<untouched>");
        SetLastError(kUnchanged);
        int got = LoadStringA(module_, c.id, buffer, c.size);
        EXPECT_EQ(got, c.want) << c.name;
        EXPECT_STREQ(buffer, c.wantText.c_str()) << c.name;
        if (c.wantError != kUnchanged || c.size == 1) {
            EXPECT_EQ(GetLastError(), c.wantError) << c.name;
        }
    }
    char buffer[16] = "x";
    EXPECT_EQ(LoadStringA(nullptr, 0, buffer, sizeof buffer), 0) << "unregistered module";
    WinshimUnregisterModuleResources(module_);
    EXPECT_EQ(LoadStringA(module_, 0, buffer, sizeof buffer), 0) << "after unregistering";
    EXPECT_STREQ(buffer, "");
}

TEST_F(Resources, VersionData) {
    char buffer[64];
    EXPECT_EQ(WinshimQueryVersionString(module_, "FilterDefinitions", buffer, sizeof buffer), 17u);
    EXPECT_STREQ(buffer, "XPM Format,0,.XPM");
    EXPECT_EQ(WinshimQueryVersionString(module_, "filterdefinitions", buffer, sizeof buffer), 17u)
        << "keys ignore case";
    EXPECT_EQ(WinshimQueryVersionString(module_, "FileVersion", buffer, 4), 3u);
    EXPECT_STREQ(buffer, "8.5");
    EXPECT_EQ(WinshimQueryVersionString(module_, "NoSuchKey", buffer, sizeof buffer), 0u);
    EXPECT_EQ(WinshimQueryVersionString(nullptr, "FileVersion", buffer, sizeof buffer), 0u);
    WORD version[4] = {};
    EXPECT_TRUE(WinshimQueryFileVersion(module_, version));
    EXPECT_EQ(std::vector<WORD>(version, version + 4), (std::vector<WORD>{8, 5, 3, 0}));
    static int otherModule;
    EXPECT_FALSE(WinshimQueryFileVersion(&otherModule, version));
    EXPECT_FALSE(WinshimRegisterModuleResources(nullptr, &kResources));
    EXPECT_FALSE(WinshimRegisterModuleResources(&otherModule, nullptr));
}

TEST(ActiveWindow, ThereIsNone) { EXPECT_EQ(GetActiveWindow(), nullptr); }

}  // namespace
