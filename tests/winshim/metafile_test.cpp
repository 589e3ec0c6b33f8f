// Metafile handles, their kinds and the ways their bytes are held. The handles made from copied
// bytes are Win32's own, so the Windows build runs those against the system; libwinshim's
// malloc'd blocks taken over and files mapped read-only are POSIX only.
#include "winshim_test.h"

namespace {

using namespace winshim_test;

// Little-endian bytes of 32-bit values.
std::vector<BYTE> Words(std::initializer_list<uint32_t> words) {
    std::vector<BYTE> bytes;
    for (uint32_t w : words)
        bytes.insert(bytes.end(), {BYTE(w), BYTE(w >> 8), BYTE(w >> 16), BYTE(w >> 24)});
    return bytes;
}

// The smallest pictures Windows takes: an EMF header (108 bytes: type, size, bounds, frame,
// " EMF", version, bytes, records, handles, description, palette, device, millimetres, pixel
// format, OpenGL, micrometres) and its end record; a WMF header and its end record.
const std::vector<BYTE> kEmf =
    Words({1, 108, 0,    0,   0,   0,   0, 0, 100, 100,    0x464D4520, 0x10000, 128, 2, 1,  0,
           0, 0,   1024, 768, 320, 240, 0, 0, 0,   320000, 240000,     14,      20,  0, 16, 20});
const std::vector<BYTE> kWmf = Words({0x90001, 0xC0300, 0, 3, 0x30000, 0});

TEST(Metafiles, KindsBitsAndDeletion) {
    struct Held {
        void* h;
        bool enhanced;
        std::vector<BYTE> bytes;
    };
    std::vector<Held> handles = {{SetEnhMetaFileBits(UINT(kEmf.size()), kEmf.data()), true, kEmf},
                                 {SetMetaFileBitsEx(UINT(kWmf.size()), kWmf.data()), false, kWmf}};
#if !defined(_WIN32)
    const xpmtest::TempDir dir;
    const int fd = ::open(WriteFile(dir.file("emf"), {kEmf.begin(), kEmf.end()}).c_str(), O_RDONLY);
    const auto block = [](const std::vector<BYTE>& bytes) {
        return static_cast<BYTE*>(
            std::memcpy(std::malloc(bytes.size()), bytes.data(), bytes.size()));
    };
    handles.insert(handles.end(),
                   {{WinshimAdoptEnhMetaFileBits(UINT(kEmf.size()), block(kEmf)), true, kEmf},
                    {WinshimMapEnhMetaFile(fd, UINT(kEmf.size())), true, kEmf},
                    {WinshimAdoptMetaFileBits(UINT(kWmf.size()), block(kWmf)), false, kWmf},
                    {WinshimMapMetaFile(fd, 24), false, {kEmf.begin(), kEmf.begin() + 24}}});
    ::close(fd);
    EXPECT_EQ(WinshimGetCounts().metafiles, handles.size()) << "live metafile handles";
#endif
    for (const Held& held : handles) {
        void* h = held.h;
        const auto size = static_cast<UINT>(held.bytes.size());
        const auto get = [&](bool asEnhanced, UINT room, BYTE* to) {
            return asEnhanced ? GetEnhMetaFileBits(static_cast<HENHMETAFILE>(h), room, to)
                              : GetMetaFileBitsEx(static_cast<HMETAFILE>(h), room, to);
        };
        // Deletes with the last error set first, so a failure shows the error it sets.
        const auto remove = [&](bool asEnhanced) {
            SetLastError(kUnchanged);
            return UINT(asEnhanced ? DeleteEnhMetaFile(static_cast<HENHMETAFILE>(h))
                                   : DeleteMetaFile(static_cast<HMETAFILE>(h)));
        };
        char kind[16];
        std::vector<BYTE> out(400, 0xEE);
        const bool e = held.enhanced;
        const std::vector<BYTE>& bytes = held.bytes;
        // In order (a braced list is evaluated so). Wine fills a buffer one byte short.
        const struct {
            const char* what;
            UINT got, want;
        } checks[] = {
            // clang-format off
            {"the kind via wsprintfA", UINT(wsprintfA(kind, "%d", GetObjectType(h))), e ? 2u : 1u},
            {"the size asked with no buffer", get(e, 0, nullptr), size},
            {"the size asked with room but no buffer", get(e, 400, nullptr), size},
            {"nothing as the other kind", get(!e, 400, out.data()), 0},
            {"nothing into a buffer too short", get(e, size - 1, out.data()), kWine ? size - 1 : 0},
            {"deleting as the other kind fails", remove(!e), 0},
            {"with ERROR_INVALID_HANDLE", GetLastError(), 6},
            {"and keeps the object", GetObjectType(h), e ? 13u : 9u},
            {"bytes left unwritten", UINT(std::count(out.begin(), out.end(), 0xEE)),
             400 - (kWine ? size - 1 : 0)},
            {"the bytes' count, into room for them alone", get(e, size, out.data()), size},
            {"the bytes, and nothing past them",
             UINT(std::equal(bytes.begin(), bytes.end(), out.begin()) && out[size] == 0xEE), 1},
            {"deleting", remove(e), 1},
            {"the object is gone", GetObjectType(h), 0},
            {"deleting again", remove(e), 0},
            // clang-format on
        };
        for (const auto& check : checks)
            EXPECT_EQ(check.got, check.want) << (e ? "EMF " : "WMF ") << h << ": " << check.what;
        EXPECT_STREQ(kind, e ? "13" : "9");
    }
    HGLOBAL g = GlobalAlloc(GHND, 4);
    EXPECT_TRUE(!DeleteEnhMetaFile(static_cast<HENHMETAFILE>(g)) && !DeleteMetaFile(nullptr) &&
                GetObjectType(g) == 0 && !GlobalFree(g))
        << "a memory handle is no metafile";
    EXPECT_FALSE(SetEnhMetaFileBits(0, kEmf.data())) << "no bytes";
#if !defined(_WIN32)
    EXPECT_TRUE(!SetMetaFileBitsEx(10, nullptr) &&
                !WinshimAdoptEnhMetaFileBits(0, reinterpret_cast<BYTE*>(&g)) &&
                !WinshimAdoptMetaFileBits(4, nullptr) && !WinshimMapEnhMetaFile(-1, 4) &&
                !WinshimMapMetaFile(fd, 4))
        << "no bytes, no block, no file, a closed file";
    EXPECT_EQ(ReadFile("/proc/self/maps").find(dir.file("emf")), std::string::npos)
        << "the file of a deleted handle is still mapped";
#endif
}

}  // namespace
