// The Windows DLLs as a host sees them: xpmfilter.dll loads, binds vrgdi32.dll (which exports
// no names), carries its version and string resources, and imports pictures whose metafile
// handles GDI plays back pixel for pixel as the XPM describes them, in memory or as a named
// file that replaces an older one.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host_request.h"
#include "playback.h"
#include "resources/module_text.h"
#include "temp_dir.h"
#include "xpm_text.h"
#include "xpmfilter/xpmfilter.h"

namespace {

using windows_test::FilePlaysBack;
using windows_test::PlayBack;

struct Library {
    HMODULE module = ::LoadLibraryA("xpmfilter.dll");
    ~Library() {
        if (module != nullptr) ::FreeLibrary(module);
    }
    template <typename Procedure>
    Procedure Find(const char* name) const {
        return reinterpret_cast<Procedure>(
            reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
    }
};

TEST(Module, BindsTheLibraryByOrdinalAndCarriesItsResources) {
    Library filter;
    ASSERT_NE(filter.module, nullptr)
        << "LoadLibrary(xpmfilter.dll) failed, error " << ::GetLastError();
    const HMODULE library = ::GetModuleHandleA("vrgdi32.dll");
    ASSERT_NE(library, nullptr) << "vrgdi32.dll was not loaded with the filter";
    EXPECT_EQ(::GetProcAddress(library, "StreamOpen"), nullptr) << "vrgdi32.dll exports a name";
    EXPECT_NE(::GetProcAddress(library, MAKEINTRESOURCEA(kOrdStreamOpen)), nullptr);

    char path[MAX_PATH];
    ASSERT_NE(::GetModuleFileNameA(filter.module, path, sizeof path), 0u);
    DWORD ignored = 0;
    std::vector<char> info(::GetFileVersionInfoSizeA(path, &ignored));
    ASSERT_FALSE(info.empty()) << path << " has no version information";
    ASSERT_TRUE(::GetFileVersionInfoA(path, 0, static_cast<DWORD>(info.size()), info.data()));
#define XPMFILTER_CHECK_VERSION(key, value)                                           \
    {                                                                                 \
        char* text = nullptr;                                                         \
        UINT length = 0;                                                              \
        ASSERT_TRUE(::VerQueryValueA(info.data(), "\\StringFileInfo\\040904E4\\" key, \
                                     reinterpret_cast<void**>(&text), &length))       \
            << "no version string " key;                                              \
        EXPECT_STREQ(text, value) << "version string " key;                           \
    }
    XPMFILTER_VERSION_STRINGS(XPMFILTER_CHECK_VERSION)
#undef XPMFILTER_CHECK_VERSION
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedBytes = 0;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedBytes));
    const WORD want[4] = {XPMFILTER_FILE_VERSION};
    EXPECT_EQ(fixed->dwFileVersionMS, DWORD{want[0]} << 16 | want[1]);
    EXPECT_EQ(fixed->dwFileVersionLS, DWORD{want[2]} << 16 | want[3]);

#define XPMFILTER_CHECK_STRING(name, number, text)                                \
    {                                                                             \
        char got[260] = "unset";                                                  \
        const int length = ::LoadStringA(filter.module, number, got, sizeof got); \
        EXPECT_STREQ(got, text) << "string " << number << ", length " << length;  \
    }
    XPMFILTER_STRINGS(XPMFILTER_CHECK_STRING)
#undef XPMFILTER_CHECK_STRING
}

enum Input { kFromFile, kFromMemory, kToNamedFile };

struct Recipe {
    const char* name;
    xpmtest::PatternShape pattern;
    bool windowsMetafile;
    Input input;
};

// ImportFile to a named file, as a host with its own request does. Returns the job's result
// and the handle the library hands over (null when none).
int ImportToFile(const Library& filter, const std::string& input, const std::string& output,
                 bool windowsMetafile, void** picture) {
    const auto importFile = filter.Find<decltype(&ImportFile)>("ImportFile");
    const auto createSetup = filter.Find<decltype(&CreateSetup)>("CreateSetup");
    const auto destroySetup = filter.Find<decltype(&DestroySetup)>("DestroySetup");
    if (importFile == nullptr || createSetup == nullptr || destroySetup == nullptr) return -1;
    HostRequest host;
    host.request.optionSet = OptionSetCreate(0, 0, 0, 0);
    host.request.setup = createSetup(nullptr, nullptr, nullptr, nullptr);
    host.sink.userData = ImportJobBegin(nullptr, "dll test", input.c_str(), 0, 0x08000005u, 0);
    (void)importFile(0, output.c_str(), windowsMetafile ? "WMF" : "", input.c_str(), &host.request);
    const int result = ImportJobEnd(host.sink.userData);
    destroySetup(host.request.setup);
    ::GlobalFree(host.request.optionSet);
    *picture = reinterpret_cast<void*>(static_cast<uintptr_t>(host.sink.dataHandle));
    return result;
}

TEST(Import, PlaysBackAsTheRecipeSays) {
    Library filter;
    ASSERT_NE(filter.module, nullptr);
    const auto importGR = filter.Find<decltype(&ImportGR)>("ImportGR");
    ASSERT_NE(importGR, nullptr);
    // Named outputs replace an older file and come back as a handle too. Sides of 1 (2 units
    // to the pixel in a file), 2, 17, 95, 96 and 1000 pixels.
    // clang-format off
    const Recipe recipes[] = {
        {.name = "one pixel", .pattern = {.width = 1, .height = 1, .colors = 3}, .windowsMetafile = false, .input = kFromFile},
        {.name = "odd width", .pattern = {.width = 17, .height = 5, .colors = 3}, .windowsMetafile = false, .input = kFromMemory},
        {.name = "many bands", .pattern = {.width = 203, .height = 150, .colors = 4, .charsPerPixel = 2}, .windowsMetafile = false, .input = kFromFile},
        {.name = "wmf", .pattern = {.width = 31, .height = 70, .colors = 4, .charsPerPixel = 2}, .windowsMetafile = true, .input = kFromFile},
        {.name = "wmf from memory", .pattern = {.width = 5, .height = 3, .colors = 3}, .windowsMetafile = true, .input = kFromMemory},
        {.name = "named emf", .pattern = {.width = 37, .height = 90, .colors = 4, .charsPerPixel = 2}, .windowsMetafile = false, .input = kToNamedFile},
        {.name = "named wmf 1 x 1", .pattern = {.width = 1, .height = 1, .colors = 3}, .windowsMetafile = true, .input = kToNamedFile},
        {.name = "named wmf 1000 x 1", .pattern = {.width = 1000, .height = 1, .colors = 3}, .windowsMetafile = true, .input = kToNamedFile},
        {.name = "named wmf 2 x 1000", .pattern = {.width = 2, .height = 1000, .colors = 4, .charsPerPixel = 2}, .windowsMetafile = true, .input = kToNamedFile},
        {.name = "named wmf 95 x 17", .pattern = {.width = 95, .height = 17, .colors = 4, .charsPerPixel = 2}, .windowsMetafile = true, .input = kToNamedFile},
        {.name = "named wmf 96 x 96", .pattern = {.width = 96, .height = 96, .colors = 3}, .windowsMetafile = true, .input = kToNamedFile},
    };
    // clang-format on
    xpmtest::TempDir dir("xpmfilter-dll-test");
    // As a host names them: with the system's separator.
    const std::string path = std::filesystem::path(dir.file("in.xpm")).make_preferred().string();
    for (const Recipe& r : recipes) {
        const std::string text = xpmtest::MakePattern(r.pattern).File();
        xpmtest::WriteFile(path, text);
        if (r.input == kToNamedFile) {
            const std::string name = r.windowsMetafile ? "out.wmf" : "out.emf";
            const std::string output =
                std::filesystem::path(dir.Write(name, "an older file, longer than nothing"))
                    .make_preferred()
                    .string();
            void* handed = nullptr;
            EXPECT_EQ(ImportToFile(filter, path, output, r.windowsMetafile, &handed), 0) << r.name;
            EXPECT_EQ(PlayBack(handed, r.windowsMetafile, r.pattern), "")
                << r.name << ": the handed-over picture";
            EXPECT_EQ(FilePlaysBack(xpmtest::ReadFile(output), r.windowsMetafile, r.pattern), "")
                << output;
            EXPECT_EQ(dir.Names(), (std::set<std::string>{"in.xpm", name}))
                << r.name << ": no temporary file may stay";
            EXPECT_TRUE(::DeleteFileA(output.c_str())) << output;
            continue;
        }
        auto source = std::make_unique<SourceSpec>();
        HGLOBAL memory =
            r.input == kFromMemory ? ::GlobalAlloc(GMEM_MOVEABLE, text.size()) : nullptr;
        if (memory != nullptr) {
            std::memcpy(::GlobalLock(memory), text.data(), text.size());
            ::GlobalUnlock(memory);
            source->memory = memory;
        } else {
            std::snprintf(source->path, sizeof source->path, "%s", path.c_str());
        }
        VrHostHooks hooks{.size = sizeof hooks,
                          .metafileKind = r.windowsMetafile ? 1u : 0u};  // WMF : EMF
        PictureResult result{};
        EXPECT_EQ(importGR(&hooks, source.get(), &result, nullptr), 0u) << r.name;
        if (memory != nullptr) ::GlobalFree(memory);
        EXPECT_EQ(::GetObjectType(result.picture),
                  r.windowsMetafile ? DWORD{OBJ_METAFILE} : DWORD{OBJ_ENHMETAFILE})
            << r.name;
        EXPECT_EQ(result.bounds[2] - result.bounds[0], r.pattern.width) << r.name;
        EXPECT_EQ(result.bounds[3] - result.bounds[1], r.pattern.height) << r.name;
        EXPECT_EQ(PlayBack(result.picture, r.windowsMetafile, r.pattern), "") << r.name;
    }
}

}  // namespace
