// The Windows DLLs as a host sees them: xpmfilter.dll loads, binds vrgdi32.dll (which exports
// no names), carries its version and string resources, and imports pictures whose metafile
// handles GDI plays back pixel for pixel as the XPM describes them; and vrgdi32.dll's writer
// replaces a named file with the finished picture.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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
        return reinterpret_cast<Procedure>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
    }
};

std::string ModulePath(HMODULE module) {
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(module, path, sizeof path);
    return std::string(path, length);
}

TEST(Module, BindsTheLibraryByOrdinalAndCarriesItsResources) {
    Library filter;
    ASSERT_NE(filter.module, nullptr) << "LoadLibrary(xpmfilter.dll) failed, error " << ::GetLastError();
    const HMODULE library = ::GetModuleHandleA("vrgdi32.dll");
    ASSERT_NE(library, nullptr) << "vrgdi32.dll was not loaded with the filter";
    EXPECT_EQ(::GetProcAddress(library, "StreamOpen"), nullptr) << "vrgdi32.dll exports a name";
    EXPECT_NE(::GetProcAddress(library, MAKEINTRESOURCEA(kOrdStreamOpen)), nullptr);

    const std::string path = ModulePath(filter.module);
    DWORD ignored = 0;
    std::vector<char> info(::GetFileVersionInfoSizeA(path.c_str(), &ignored));
    ASSERT_FALSE(info.empty()) << path << " has no version information";
    ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
#define XPMFILTER_CHECK_VERSION(key, value)                                                          \
    {                                                                                                \
        char* text = nullptr;                                                                        \
        UINT length = 0;                                                                             \
        ASSERT_TRUE(::VerQueryValueA(info.data(), "\\StringFileInfo\\040904E4\\" key,                \
                                     reinterpret_cast<void**>(&text), &length))                      \
            << "no version string " key;                                                             \
        EXPECT_STREQ(text, value) << "version string " key;                                         \
    }
    XPMFILTER_VERSION_STRINGS(XPMFILTER_CHECK_VERSION)
#undef XPMFILTER_CHECK_VERSION
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedBytes = 0;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedBytes));
    const WORD want[4] = {XPMFILTER_FILE_VERSION};
    EXPECT_EQ(fixed->dwFileVersionMS, DWORD{want[0]} << 16 | want[1]);
    EXPECT_EQ(fixed->dwFileVersionLS, DWORD{want[2]} << 16 | want[3]);

#define XPMFILTER_CHECK_STRING(name, number, text)                             \
    {                                                                          \
        char got[260] = "unset";                                               \
        const int length = ::LoadStringA(filter.module, number, got, sizeof got); \
        EXPECT_STREQ(got, text) << "string " << number << ", length " << length; \
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

struct Recipe {
    const char* name;
    int width;
    int height;
    std::vector<Colour> colours;
    bool windowsMetafile;
    bool fromMemory;
    int IndexAt(int x, int y) const { return (x * 7 + y * 3 + x * y / 5) % static_cast<int>(colours.size()); }
};

std::string XpmText(const Recipe& r) {
    const std::size_t codeChars = std::string(r.colours[0].code).size();
    std::string text = "/* XPM */\nstatic char *p[] = {\n\"" + std::to_string(r.width) + " " +
                       std::to_string(r.height) + " " + std::to_string(r.colours.size()) + " " +
                       std::to_string(codeChars) + "\",\n";
    for (const Colour& c : r.colours) text += std::string("\"") + c.code + " c " + c.value + "\",\n";
    for (int y = 0; y < r.height; ++y) {
        text += "\"";
        for (int x = 0; x < r.width; ++x) text += r.colours[r.IndexAt(x, y)].code;
        text += y + 1 < r.height ? "\",\n" : "\"\n};\n";
    }
    return text;
}

// Plays the picture into a top-down 32-bit DIB section of the picture's size, first filled
// with a colour that no recipe uses, and returns its pixels as COLORREFs.
std::vector<COLORREF> Play(void* picture, bool windowsMetafile, int width, int height) {
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
    const Recipe recipes[] = {
        {"one pixel", 1, 1, three, false, false},
        {"odd width", 17, 5, three, false, true},
        {"many bands", 203, 150, twoChars, false, false},
        {"wmf", 31, 70, twoChars, true, false},
        {"wmf from memory", 5, 3, three, true, true},
    };
    char directory[MAX_PATH];
    ASSERT_NE(::GetTempPathA(sizeof directory, directory), 0u);
    const std::string path = std::string(directory) + "xpmfilter-dll-test.xpm";
    for (const Recipe& r : recipes) {
        const std::string text = XpmText(r);
        auto source = std::make_unique<SourceSpec>();
        HGLOBAL memory = nullptr;
        if (r.fromMemory) {
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
        VrHostHooks hooks{};
        hooks.size = sizeof hooks;
        hooks.metafileKind = r.windowsMetafile ? kVrMetafileWmf : kVrMetafileEmf;
        PictureResult result{};
        const uint32_t code = importGR(&hooks, source.get(), &result, nullptr);
        if (memory != nullptr) ::GlobalFree(memory);
        ASSERT_EQ(code, 0u) << r.name;
        ASSERT_NE(result.picture, nullptr) << r.name;
        EXPECT_EQ(::GetObjectType(result.picture), r.windowsMetafile ? DWORD{OBJ_METAFILE} : DWORD{OBJ_ENHMETAFILE})
            << r.name;
        EXPECT_EQ(result.bounds[2] - result.bounds[0], r.width) << r.name;
        EXPECT_EQ(result.bounds[3] - result.bounds[1], r.height) << r.name;
        const std::vector<COLORREF> pixels = Play(result.picture, r.windowsMetafile, r.width, r.height);
        ASSERT_EQ(pixels.size(), std::size_t(r.width) * r.height) << r.name << ": no DIB section";
        int wrong = 0;
        for (int y = 0; y < r.height; ++y) {
            for (int x = 0; x < r.width; ++x) {
                const COLORREF got = pixels[y * r.width + x];
                const COLORREF want = r.colours[r.IndexAt(x, y)].rgb;
                if (got != want && ++wrong <= 3) {
                    ADD_FAILURE() << r.name << " pixel (" << x << ", " << y << "): got " << std::hex << got
                                  << ", want " << want;
                }
            }
        }
        EXPECT_EQ(wrong, 0) << r.name << ": pixels that differ";
        if (r.windowsMetafile) {
            EXPECT_TRUE(::DeleteMetaFile(static_cast<HMETAFILE>(result.picture))) << r.name;
        } else {
            EXPECT_TRUE(::DeleteEnhMetaFile(static_cast<HENHMETAFILE>(result.picture))) << r.name;
        }
    }
    ::DeleteFileA(path.c_str());
}

// Pixel (x, y) of the written picture and palette entry i: rows and columns all differ.
uint8_t WrittenIndex(int x, int y) { return static_cast<uint8_t>((x * 7 + y * 13 + ((x * y) >> 3)) % 5); }
PaletteEntry WrittenColour(int i) { return {uint32_t(i * 37 + 1), uint32_t(i * 91 + 2), uint32_t(i * 53 + 3)}; }
CoordSlot At(int v) { return CoordSlot{static_cast<int16_t>(v), {}}; }

// Sends a width x height picture to the named file as the filter does, in bands of 40 rows
// (y points up: a band's top edge lies `top` above the picture's bottom). Returns the sink.
StatusSink WriteNamed(const char* format, const std::string& path, int width, int height) {
    StatusSink sink{};
    WriterHandle writer = WriterCreate(0);
    EXPECT_EQ(OutputOpen(writer, format, path.c_str(), 0, nullptr, &sink), 0) << format;
    OutputStart(writer, format);
    PictureBegin(writer, "PICTURE 1");
    const FrameRect frame{At(0), At(0), At(width), At(height)};
    SetFrame(writer, &frame);
    SetUnits(writer, 1, 25.4 / 96);
    SetWindow(writer, &frame);
    PictureStartDrawing(writer);
    PaletteEntry palette[5];
    for (int i = 0; i < 5; ++i) palette[i] = WrittenColour(i);
    SetPalette(writer, 0, 5, palette);
    const BandPlacement whole{At(0), At(height), At(width), At(0), At(width), At(height)};
    const BitmapSize wholeSize{static_cast<int16_t>(width), {}, static_cast<int16_t>(height), {}};
    BitmapBegin(writer, &whole, &wholeSize, -8, 0, 1, 3, 0);
    const int stride = (width + 3) / 4 * 4;
    for (int top = 0; top < height; top += 40) {
        const int rows = std::min(40, height - top);
        std::vector<uint8_t> band(static_cast<std::size_t>(stride) * rows);
        for (int r = 0; r < rows; ++r) {
            for (int x = 0; x < width; ++x) band[std::size_t(r) * stride + x] = WrittenIndex(x, top + r);
        }
        const BandPlacement at{At(0), At(height - top), At(width), At(height - top - rows), At(width),
                               At(height - top)};
        const BitmapSize size{static_cast<int16_t>(width), {}, static_cast<int16_t>(rows), {}};
        BitmapWriteBand(writer, &at, &size, -8, 1, band.data());
    }
    BitmapEnd(writer);
    PictureEnd(writer);
    OutputFinish(writer);
    uint32_t failed = 0;
    int16_t error[2] = {0, 0};
    WriterGetError(writer, 1, &failed, error);
    EXPECT_EQ(failed, 0u) << format << ": writer error " << error[0] << ", detail " << error[1];
    EXPECT_EQ(OutputClose(writer), 0) << format;
    WriterDestroy(writer);
    return sink;
}

int WrongPixels(const std::vector<COLORREF>& pixels, int width, int height) {
    if (pixels.size() != std::size_t(width) * height) return -1;
    int wrong = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const PaletteEntry c = WrittenColour(WrittenIndex(x, y));
            wrong += pixels[std::size_t(y) * width + x] != RGB(c.red, c.green, c.blue);
        }
    }
    return wrong;
}

TEST(Writer, ReplacesANamedFileAndHandsOverItsPicture) {
    char directory[MAX_PATH];
    ASSERT_NE(::GetTempPathA(sizeof directory, directory), 0u);
    constexpr int kWidth = 37, kHeight = 90;
    for (const bool wmf : {false, true}) {
        const std::string path = std::string(directory) + (wmf ? "xpmfilter-dll-test.wmf" : "xpmfilter-dll-test.emf");
        FILE* old = std::fopen(path.c_str(), "wb");
        ASSERT_NE(old, nullptr) << path;
        std::fputs("an older file, longer than nothing", old);
        std::fclose(old);
        const StatusSink sink = WriteNamed(wmf ? "WMF" : "EMF", path, kWidth, kHeight);
        void* handle = reinterpret_cast<void*>(static_cast<uintptr_t>(sink.dataHandle));
        ASSERT_NE(handle, nullptr) << path;
        EXPECT_EQ(::GetObjectType(handle), wmf ? DWORD{OBJ_METAFILE} : DWORD{OBJ_ENHMETAFILE}) << path;
        EXPECT_EQ(WrongPixels(Play(handle, wmf, kWidth, kHeight), kWidth, kHeight), 0) << path << ": the handed-over picture";
        // The file itself, read back by GDI (a WMF on disk keeps its placeable header).
        if (wmf) {
            FILE* in = std::fopen(path.c_str(), "rb");
            ASSERT_NE(in, nullptr);
            std::vector<BYTE> bytes(1 << 16);
            bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in));
            std::fclose(in);
            uint32_t key = 0;
            ASSERT_GT(bytes.size(), 22u);
            std::memcpy(&key, bytes.data(), sizeof key);
            EXPECT_EQ(key, 0x9AC6CDD7u) << path << ": no placeable header";
            const HMETAFILE file = ::SetMetaFileBitsEx(static_cast<UINT>(bytes.size() - 22), bytes.data() + 22);
            EXPECT_EQ(WrongPixels(Play(file, true, kWidth, kHeight), kWidth, kHeight), 0) << path;
            ::DeleteMetaFile(file);
            EXPECT_TRUE(::DeleteMetaFile(static_cast<HMETAFILE>(handle)));
        } else {
            const HENHMETAFILE file = ::GetEnhMetaFileA(path.c_str());
            ASSERT_NE(file, nullptr) << path << " is not an EMF";
            EXPECT_EQ(WrongPixels(Play(file, false, kWidth, kHeight), kWidth, kHeight), 0) << path;
            ::DeleteEnhMetaFile(file);
            EXPECT_TRUE(::DeleteEnhMetaFile(static_cast<HENHMETAFILE>(handle)));
        }
        // No temporary file is left beside it.
        WIN32_FIND_DATAA found{};
        const std::string pattern = std::string(directory) + ".xpmfilter-dll-test.*";
        const HANDLE search = ::FindFirstFileA(pattern.c_str(), &found);
        EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "left behind: " << found.cFileName;
        if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
        EXPECT_TRUE(::DeleteFileA(path.c_str())) << path;
    }
}

}  // namespace
