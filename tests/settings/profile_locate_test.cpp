// Where the profile file is looked for: the name as given, beside the module, in the Windows
// directory; and what the path holds when nothing is found.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "profile_sandbox.h"
#include "output/vrgdi32_binding.h"
#include "recording_library.h"
#include "resources/module_instance.h"
#include "resources/resource_ids.h"
#include "settings/profile_setup.h"

namespace xpmtest {
namespace {

class ProfileLocate : public testing::Test {
  protected:
    void TearDown() override {
        ProfileSandbox::Get().Clean();
        setenv("WINDIR", ProfileSandbox::Get().WindowsDir().c_str(), 1);
    }
    RecordingLibrary library;
};

TEST_F(ProfileLocate, SearchesGivenNameThenModuleThenWindowsDirectory) {
    struct Case {
        const char* what;
        std::vector<std::string> files;
        std::string given;
        int32_t wantResult;
        std::string wantPath;
    };
    const std::string missing = "xf_no_such_profile_5c1e.ini";
    const Case cases[] = {
        {"given path exists", {"{other}/given.ini"}, "{other}/given.ini", 0, "{other}/given.ini"},
        {"given path wins over the module's directory",
         {"{other}/given.ini", "{module}/given.ini", "{windows}/given.ini"},
         "{other}/given.ini", 0, "{other}/given.ini"},
        {"given path missing, its file name beside the module", {"{module}/given.ini"},
         "{other}/given.ini", 0, "{module}/given.ini"},
        {"beside the module wins over the Windows directory",
         {"{module}/given.ini", "{windows}/given.ini"}, "{other}/given.ini", 0,
         "{module}/given.ini"},
        {"given path missing, its file name in the Windows directory", {"{windows}/given.ini"},
         "{other}/given.ini", 0, "{windows}/given.ini"},
        {"relative name appended whole beside the module", {"{module}/sub/rel.ini"},
         "sub/rel.ini", 0, "{module}/sub/rel.ini"},
        {"given path missing everywhere", {}, "{other}/nowhere.ini", 1, "{windows}/nowhere.ini"},
        {"bare name missing everywhere", {}, missing, 1, "{windows}/" + missing},
        {"no name, the module's own profile beside it", {"{module}/libxfprobe.INI"}, "", 0,
         "{module}/libxfprobe.INI"},
        {"no name, the module's profile in the Windows directory",
         {"{windows}/libxfprobe.INI"}, "", 0, "{windows}/libxfprobe.INI"},
        {"no name, beside the module wins",
         {"{module}/libxfprobe.INI", "{windows}/libxfprobe.INI"}, "", 0,
         "{module}/libxfprobe.INI"},
        {"no name, no profile anywhere", {}, "", 1, "{windows}/libxfprobe.INI"},
        {"no name, another file beside the module is not its profile", {"{module}/libxfprobe.ini.bak"},
         "", 1, "{windows}/libxfprobe.INI"},
    };
    ProfileSandbox& box = ProfileSandbox::Get();
    for (const Case& c : cases) {
        box.Clean();
        for (const std::string& file : c.files) box.WriteFile(file, "[s]\nDriver=d\n");
        char path[xpmfilter::kPathChars] = {};
        std::strncpy(path, box.Expand(c.given).c_str(), sizeof path - 1);
        int32_t result = xpmfilter::LocateProfile(path);
        EXPECT_EQ(result, c.wantResult) << c.what << ": got result " << result;
        EXPECT_EQ(std::string(path), box.Expand(c.wantPath)) << c.what;
    }
}

TEST_F(ProfileLocate, TheWindowsDirectoryCandidate) {
    ProfileSandbox& box = ProfileSandbox::Get();
    struct Case {
        const char* what;
        std::string windows;
        std::string wantPath;  // the candidate left in the path; empty: none
    };
    const Case cases[] = {
        {"ending with a separator gets no second one", box.WindowsDir() + "/",
         box.WindowsDir() + "/libxfprobe.INI"},
        {"the root", "/", "/libxfprobe.INI"},
        {"260 characters do not fit: no candidate", "/" + std::string(259, 'w'), ""},
        {"far longer: no candidate", "/" + std::string(400, 'w'), ""},
    };
    for (const Case& c : cases) {
        setenv("WINDIR", c.windows.c_str(), 1);
        char path[xpmfilter::kPathChars] = {};
        EXPECT_EQ(xpmfilter::LocateProfile(path), 1) << c.what;
        EXPECT_EQ(std::string(path), c.wantPath) << c.what;
    }
}

// A host that loads the module by a relative path and then changes directory still finds the
// module's own profile beside it.
TEST_F(ProfileLocate, AModuleLoadedByARelativePathKeepsItsProfile) {
    ProfileSandbox& box = ProfileSandbox::Get();
    const std::string directory = box.OtherDir() + "/rel";
    box.WriteFile("{other}/rel/libxfrel.INI", "[s]\nDriver=d\n");
    std::filesystem::copy_file(box.ModuleDir() + "/libxfprobe.so", directory + "/libxfrel.so");
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(box.OtherDir());
    void* library = dlopen("./rel/libxfrel.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    HMODULE module = WinshimModuleFromAddress(dlsym(library, "xf_probe_module_marker"));
    // What the module does as it loads.
    ASSERT_TRUE(WinshimRegisterModuleResources(module, &xpmfilter::ModuleResources()));
    xpmfilter::SetModuleInstance(module);
    std::filesystem::current_path("/");
    char path[xpmfilter::kPathChars] = {};
    EXPECT_EQ(xpmfilter::LocateProfile(path), 0);
    EXPECT_EQ(std::string(path), directory + "/libxfrel.INI");
    std::filesystem::current_path(previous);
    WinshimUnregisterModuleResources(module);
    dlclose(library);
    box.RestoreModuleInstance();
}

TEST_F(ProfileLocate, LongNamesStayWithinThePathBuffer) {
    ProfileSandbox& box = ProfileSandbox::Get();
    for (size_t length : {200u, 250u, 259u}) {
        // The buffer is followed by a guard so that a write past 260 characters shows.
        struct {
            char path[xpmfilter::kPathChars];
            char guard[16];
        } buffer;
        std::memset(&buffer, 0, sizeof buffer);
        std::memset(buffer.guard, 'G', sizeof buffer.guard);
        std::memset(buffer.path, 'n', length);
        EXPECT_EQ(xpmfilter::LocateProfile(buffer.path), 1) << "name of " << length;
        size_t got = strnlen(buffer.path, sizeof buffer.path);
        EXPECT_LT(got, sizeof buffer.path) << "name of " << length << ": path not terminated";
        EXPECT_EQ(std::string(buffer.path, std::min<size_t>(got, box.WindowsDir().size())),
                  box.WindowsDir())
            << "name of " << length;
        EXPECT_EQ(std::string(buffer.guard, sizeof buffer.guard), std::string(16, 'G'))
            << "name of " << length << ": written past the path buffer";
    }
}

// The same search with the graphics library's own path operations bound in place of the fake.
TEST(ProfileLocateWithLibrary, FindsTheModuleProfileWhereTheFakeDoes) {
    struct Case {
        const char* what;
        const char* file;  // null: none
        std::string given;
        int32_t wantResult;
        std::string wantPath;
    };
    const Case cases[] = {
        {"no name, Windows directory", "{windows}/libxfprobe.INI", "", 0, "{windows}/libxfprobe.INI"},
        {"no name, nothing", nullptr, "", 1, "{windows}/libxfprobe.INI"},
        {"absolute name, beside the module", "{module}/n.ini", "{other}/n.ini", 0, "{module}/n.ini"},
        {"absolute name, Windows directory", "{windows}/n.ini", "{other}/n.ini", 0, "{windows}/n.ini"},
    };
    ProfileSandbox& box = ProfileSandbox::Get();
    xpmfilter::BindGraphicsLibrary(&xpmfilter::Vrgdi32Library());
    for (const Case& c : cases) {
        box.Clean();
        if (c.file != nullptr) box.WriteFile(c.file, "[s]\nDriver=d\n");
        char path[xpmfilter::kPathChars] = {};
        std::strncpy(path, box.Expand(c.given).c_str(), sizeof path - 1);
        EXPECT_EQ(xpmfilter::LocateProfile(path), c.wantResult) << c.what;
        EXPECT_EQ(std::string(path), box.Expand(c.wantPath)) << c.what;
    }
    box.Clean();
    xpmfilter::BindGraphicsLibrary(nullptr);
}

}  // namespace
}  // namespace xpmtest
