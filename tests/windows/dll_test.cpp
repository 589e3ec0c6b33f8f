// The Windows DLLs as a host sees them: xpmfilter.dll loads, binds vrgdi32.dll (which exports
// no names), carries its version and string resources, and imports pictures whose metafile
// handles GDI plays back pixel for pixel as the XPM describes them, in memory or as a named
// file that replaces an older one.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host_request.h"
#include "metafile_files.h"
#include "resources/module_text.h"
#include "xpmfilter/xpmfilter.h"

namespace {

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

std::string ModulePath(HMODULE module) {
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(module, path, sizeof path);
    return std::string(path, length);
}

TEST(Module, BindsTheLibraryByOrdinalAndCarriesItsResources) {
    Library filter;
    ASSERT_NE(filter.module, nullptr)
        << "LoadLibrary(xpmfilter.dll) failed, error " << ::GetLastError();
    const HMODULE library = ::GetModuleHandleA("vrgdi32.dll");
    ASSERT_NE(library, nullptr) << "vrgdi32.dll was not loaded with the filter";
    EXPECT_EQ(::GetProcAddress(library, "StreamOpen"), nullptr) << "vrgdi32.dll exports a name";
    EXPECT_NE(::GetProcAddress(library, MAKEINTRESOURCEA(kOrdStreamOpen)), nullptr);

    const std::string path = ModulePath(filter.module);
    DWORD ignored = 0;
    std::vector<char> info(::GetFileVersionInfoSizeA(path.c_str(), &ignored));
    ASSERT_FALSE(info.empty()) << path << " has no version information";
    ASSERT_TRUE(
        ::GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
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

// A picture as a recipe: colours with their pixel codes, and which colour each pixel has.
struct Colour {
    const char* code;
    const char* value;  // the XPM "c" value
    COLORREF rgb;       // what it means
};

enum Input { kFromFile, kFromMemory, kToNamedFile };

struct Recipe {
    const char* name;
    int width;
    int height;
    std::vector<Colour> colours;
    bool windowsMetafile;
    Input input;
    int IndexAt(int x, int y) const {
        return (x * 7 + y * 3 + x * y / 5) % static_cast<int>(colours.size());
    }
};

std::string XpmText(const Recipe& r) {
    const std::size_t codeChars = std::string(r.colours[0].code).size();
    std::string text = "/* XPM */\nstatic char *p[] = {\n\"" + std::to_string(r.width) + " " +
                       std::to_string(r.height) + " " + std::to_string(r.colours.size()) + " " +
                       std::to_string(codeChars) + "\",\n";
    for (const Colour& c : r.colours)
        text += std::string("\"") + c.code + " c " + c.value + "\",\n";
    for (int y = 0; y < r.height; ++y) {
        text += "\"";
        for (int x = 0; x < r.width; ++x) text += r.colours[r.IndexAt(x, y)].code;
        text += y + 1 < r.height ? "\",\n" : "\"\n};\n";
    }
    return text;
}

// Plays the picture into a top-down 32-bit DIB section of the picture's size, first filled
// with a colour that no recipe uses, and returns its pixels as COLORREFs. A Windows
// Metafile is played as hosts play them: in MM_ANISOTROPIC with the viewport on the
// bitmap, and the window a file's placeable header gives (a handle sets its own).
std::vector<COLORREF> Play(void* picture, bool windowsMetafile, int width, int height,
                           SIZE window) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC dc = ::CreateCompatibleDC(nullptr);
    const HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<COLORREF> pixels;
    if (dc == nullptr || bitmap == nullptr) return pixels;
    const HGDIOBJ previous = ::SelectObject(dc, bitmap);
    auto* quads = static_cast<uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i) quads[i] = 0x00123456;
    const RECT frame{0, 0, width, height};
    if (windowsMetafile) {
        ::SetMapMode(dc, MM_ANISOTROPIC);
        if (window.cx != 0) ::SetWindowExtEx(dc, window.cx, window.cy, nullptr);
        ::SetViewportExtEx(dc, width, height, nullptr);
        ::PlayMetaFile(dc, static_cast<HMETAFILE>(picture));
    } else {
        ::PlayEnhMetaFile(dc, static_cast<HENHMETAFILE>(picture), &frame);
    }
    ::GdiFlush();
    for (int i = 0; i < width * height; ++i) {
        const uint32_t q = quads[i];  // 0x00RRGGBB
        pixels.push_back(RGB((q >> 16) & 0xFF, (q >> 8) & 0xFF, q & 0xFF));
    }
    ::SelectObject(dc, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    return pixels;
}

// The picture's pixels that differ from the recipe's (-1: it could not be played).
int WrongPixels(void* picture, const Recipe& r, SIZE window = {}) {
    const std::vector<COLORREF> pixels =
        Play(picture, r.windowsMetafile, r.width, r.height, window);
    if (pixels.size() != std::size_t(r.width) * r.height) return -1;
    int wrong = 0;
    for (int y = 0; y < r.height; ++y) {
        for (int x = 0; x < r.width; ++x)
            wrong += pixels[std::size_t(y) * r.width + x] != r.colours[r.IndexAt(x, y)].rgb;
    }
    return wrong;
}

void DeletePicture(void* picture, bool windowsMetafile) {
    if (windowsMetafile) {
        EXPECT_TRUE(::DeleteMetaFile(static_cast<HMETAFILE>(picture)));
    } else {
        EXPECT_TRUE(::DeleteEnhMetaFile(static_cast<HENHMETAFILE>(picture)));
    }
}

// ImportFile to a named file, as a host with its own request does. Returns the job's result
// and the handle the library hands over (null when none).
int ImportToFile(const Library& filter, const std::string& input, const std::string& output,
                 bool windowsMetafile, void** picture) {
    const auto importFile = filter.Find<decltype(&ImportFile)>("ImportFile");
    const auto createSetup = filter.Find<decltype(&CreateSetup)>("CreateSetup");
    const auto destroySetup = filter.Find<decltype(&DestroySetup)>("DestroySetup");
    if (importFile == nullptr || createSetup == nullptr || destroySetup == nullptr) return -1;
    HostRequest host;
    ImportRequest& request = host.request;
    StatusSink& sink = host.sink;
    request.optionSet = OptionSetCreate(0, 0, 0, 0);
    request.setup = createSetup(nullptr, nullptr, nullptr, nullptr);
    sink.userData = ImportJobBegin(nullptr, "dll test", input.c_str(), 0, 0x08000005u, 0);
    (void)importFile(0, output.c_str(), windowsMetafile ? "WMF" : "", input.c_str(), &request);
    const int result = ImportJobEnd(sink.userData);
    destroySetup(request.setup);
    ::GlobalFree(request.optionSet);
    *picture = reinterpret_cast<void*>(static_cast<uintptr_t>(sink.dataHandle));
    return result;
}

// The named file as GDI reads it back (a WMF on disk starts with its placeable header, whose
// box is the window to play it with).
void* ReadBack(const std::string& path, bool windowsMetafile, SIZE* window) {
    if (!windowsMetafile) return ::GetEnhMetaFileA(path.c_str());
    const std::vector<uint8_t> bits = MetafileBits(ReadAll(path), true, window);
    return bits.empty() ? nullptr
                        : ::SetMetaFileBitsEx(static_cast<UINT>(bits.size()), bits.data());
}

TEST(Import, PlaysBackAsTheRecipeSays) {
    Library filter;
    ASSERT_NE(filter.module, nullptr);
    const auto importGR = filter.Find<decltype(&ImportGR)>("ImportGR");
    ASSERT_NE(importGR, nullptr);
    const std::vector<Colour> three = {{"r", "#FF0000", RGB(255, 0, 0)},
                                       {"n", "navy", RGB(0, 0, 128)},
                                       {"a", "#abc", RGB(171, 191, 239)}};
    const std::vector<Colour> twoChars = {{"  ", "white", RGB(255, 255, 255)},
                                          {"x.", "#000000000000", RGB(0, 0, 0)},
                                          {"..", "dark sea green", RGB(143, 188, 143)},
                                          {"q ", "#102030", RGB(16, 32, 48)}};
    // Named outputs replace an older file and come back as a handle too.
    const Recipe recipes[] = {
        {"one pixel", 1, 1, three, false, kFromFile},
        {"odd width", 17, 5, three, false, kFromMemory},
        {"many bands", 203, 150, twoChars, false, kFromFile},
        {"wmf", 31, 70, twoChars, true, kFromFile},
        {"wmf from memory", 5, 3, three, true, kFromMemory},
        {"named emf", 37, 90, twoChars, false, kToNamedFile},
        {"named wmf", 37, 90, three, true, kToNamedFile},
        // Sides of 1 (2 units to the pixel in a file), 2, 17, 95, 96 and 1000 pixels.
        {"named wmf 1 x 1", 1, 1, three, true, kToNamedFile},
        {"named wmf 1000 x 1", 1000, 1, three, true, kToNamedFile},
        {"named wmf 2 x 1000", 2, 1000, twoChars, true, kToNamedFile},
        {"named wmf 95 x 17", 95, 17, twoChars, true, kToNamedFile},
        {"named wmf 96 x 96", 96, 96, three, true, kToNamedFile},
    };
    char directory[MAX_PATH];
    ASSERT_NE(::GetTempPathA(sizeof directory, directory), 0u);
    const std::string path = std::string(directory) + "xpmfilter-dll-test.xpm";
    for (const Recipe& r : recipes) {
        const std::string text = XpmText(r);
        auto source = std::make_unique<SourceSpec>();
        HGLOBAL memory = nullptr;
        if (r.input == kFromMemory) {
            memory = ::GlobalAlloc(GMEM_MOVEABLE, text.size());
            ASSERT_NE(memory, nullptr);
            std::memcpy(::GlobalLock(memory), text.data(), text.size());
            ::GlobalUnlock(memory);
            source->memory = memory;
        } else {
            FILE* file = std::fopen(path.c_str(), "wb");
            ASSERT_NE(file, nullptr) << path;
            std::fwrite(text.data(), 1, text.size(), file);
            std::fclose(file);
            std::snprintf(source->path, sizeof source->path, "%s", path.c_str());
        }
        if (r.input == kToNamedFile) {
            const std::string output = std::string(directory) + "xpmfilter-dll-test." +
                                       (r.windowsMetafile ? "wmf" : "emf");
            FILE* old = std::fopen(output.c_str(), "wb");
            ASSERT_NE(old, nullptr) << output;
            std::fputs("an older file, longer than nothing", old);
            std::fclose(old);
            void* handed = nullptr;
            EXPECT_EQ(ImportToFile(filter, path, output, r.windowsMetafile, &handed), 0) << r.name;
            ASSERT_NE(handed, nullptr) << r.name;
            EXPECT_EQ(WrongPixels(handed, r), 0) << r.name << ": the handed-over picture";
            DeletePicture(handed, r.windowsMetafile);
            SIZE window{};
            void* file = ReadBack(output, r.windowsMetafile, &window);
            ASSERT_NE(file, nullptr) << output << " is not a metafile";
            EXPECT_EQ(WrongPixels(file, r, window), 0) << output;
            DeletePicture(file, r.windowsMetafile);
            WIN32_FIND_DATAA found{};
            const HANDLE search = ::FindFirstFileA(
                (std::string(directory) + ".xpmfilter-dll-test.*").c_str(), &found);
            EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "left behind: " << found.cFileName;
            if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
            EXPECT_TRUE(::DeleteFileA(output.c_str())) << output;
            continue;
        }
        VrHostHooks hooks{};
        hooks.size = sizeof hooks;
        hooks.metafileKind = r.windowsMetafile ? kVrMetafileWmf : kVrMetafileEmf;
        PictureResult result{};
        const uint32_t code = importGR(&hooks, source.get(), &result, nullptr);
        if (memory != nullptr) ::GlobalFree(memory);
        ASSERT_EQ(code, 0u) << r.name;
        ASSERT_NE(result.picture, nullptr) << r.name;
        EXPECT_EQ(::GetObjectType(result.picture),
                  r.windowsMetafile ? DWORD{OBJ_METAFILE} : DWORD{OBJ_ENHMETAFILE})
            << r.name;
        EXPECT_EQ(result.bounds[2] - result.bounds[0], r.width) << r.name;
        EXPECT_EQ(result.bounds[3] - result.bounds[1], r.height) << r.name;
        EXPECT_EQ(WrongPixels(result.picture, r), 0) << r.name;
        DeletePicture(result.picture, r.windowsMetafile);
    }
    ::DeleteFileA(path.c_str());
}

}  // namespace
