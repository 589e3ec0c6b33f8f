// Metafile handles, their kinds and the ways their bytes are held. The handles made from copied
// bytes are Win32's own, so the Windows build runs those against the system; libwinshim's
// malloc'd blocks taken over and files mapped read-only are POSIX only.
#include "temp_files.h"

namespace {

using namespace winshim_test;

// Little-endian bytes of 16-bit and of 32-bit values.
std::vector<BYTE> Halves(std::initializer_list<uint16_t> halves) {
    std::vector<BYTE> bytes;
    for (uint16_t half : halves) bytes.insert(bytes.end(), {BYTE(half), BYTE(half >> 8)});
    return bytes;
}
std::vector<BYTE> Words(std::initializer_list<uint32_t> words) {
    std::vector<BYTE> bytes;
    for (uint32_t word : words)
        bytes.insert(bytes.end(),
                     {BYTE(word), BYTE(word >> 8), BYTE(word >> 16), BYTE(word >> 24)});
    return bytes;
}

// The smallest pictures Windows takes: an EMF header (108 bytes) and its end record; a WMF
// header and its end record.
const std::vector<BYTE> kEmf =
    Words({1, 108, 0, 0, 0, 0, 0, 0, 100, 100,  // type, size, bounds, frame
           0x464D4520, 0x10000, 128, 2, 1,      // " EMF", version, bytes, records, handles
           0, 0, 0, 1024, 768, 320, 240,        // description, palette, device,
                                                // millimetres
           0, 0, 0, 320000, 240000,             // pixel format, OpenGL, micrometres
           14, 20, 0, 16, 20});                 // EMR_EOF
const std::vector<BYTE> kWmf = Halves({1, 9, 0x300, 12, 0, 0, 3, 0, 0, 3, 0, 0});

TEST(Metafiles, KindsBitsAndDeletion) {  // X-a, X-b, X-d..X-g
    std::vector<BYTE> out(400);
    struct Held {
        void* h;
        bool enhanced;
        std::vector<BYTE> bytes;
    };
    std::vector<Held> handles = {{SetEnhMetaFileBits(UINT(kEmf.size()), kEmf.data()), true, kEmf},
                                 {SetMetaFileBitsEx(UINT(kWmf.size()), kWmf.data()), false, kWmf}};
#if !defined(_WIN32)
    char path[] = "/tmp/winshim_map_XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_EQ(::write(fd, kEmf.data(), kEmf.size()), ssize_t(kEmf.size()));
    const auto block = [](const std::vector<BYTE>& bytes) {
        return static_cast<BYTE*>(
            std::memcpy(std::malloc(bytes.size()), bytes.data(), bytes.size()));
    };
    const std::vector<BYTE> mappedWmf(kEmf.begin(), kEmf.begin() + 24);  // any bytes serve
    handles.insert(handles.end(),
                   {{WinshimAdoptEnhMetaFileBits(UINT(kEmf.size()), block(kEmf)), true, kEmf},
                    {WinshimMapEnhMetaFile(fd, UINT(kEmf.size())), true, kEmf},
                    {WinshimAdoptMetaFileBits(UINT(kWmf.size()), block(kWmf)), false, kWmf},
                    {WinshimMapMetaFile(fd, 24), false, mappedWmf}});
    ::close(fd);
    ::unlink(path);
    EXPECT_EQ(WinshimGetCounts().metafiles, 6u);
#endif
    for (const Held& held : handles) {
        void* h = held.h;
        const bool enhanced = held.enhanced;
        const std::vector<BYTE>& bytes = held.bytes;
        const auto size = static_cast<UINT>(bytes.size());
        const auto get = [&](bool asEnhanced, UINT room, BYTE* to) {
            return asEnhanced ? GetEnhMetaFileBits(static_cast<HENHMETAFILE>(h), room, to)
                              : GetMetaFileBitsEx(static_cast<HMETAFILE>(h), room, to);
        };
        const auto remove = [&](bool asEnhanced) {
            return UINT(asEnhanced ? DeleteEnhMetaFile(static_cast<HENHMETAFILE>(h))
                                   : DeleteMetaFile(static_cast<HMETAFILE>(h)));
        };
        char b[16];
        std::fill(out.begin(), out.end(), 0xEE);
        // In order: the kind through wsprintfA; size queries; a buffer one byte short and the
        // wrong kind get nothing (Wine fills the short buffer); deleting by the wrong kind fails
        // and keeps the object.
        const std::vector<UINT> got = {UINT(wsprintfA(b, "%d", GetObjectType(h))),
                                       get(enhanced, 0, nullptr),
                                       get(enhanced, 400, nullptr),
                                       get(!enhanced, 400, out.data()),
                                       get(enhanced, size - 1, out.data()),
                                       (SetLastError(kUnchanged), remove(!enhanced)),
                                       GetLastError(),
                                       GetObjectType(h)};
        EXPECT_EQ(got, (std::vector<UINT>{enhanced ? 2u : 1u, size, size, 0, kWine ? size - 1 : 0,
                                          0, 6, enhanced ? 13u : 9u}))
            << h;
        EXPECT_STREQ(b, enhanced ? "13" : "9");
        EXPECT_TRUE(std::equal(out.begin() + (kWine ? size - 1 : 0), out.end(),
                               std::vector<BYTE>(400, 0xEE).begin()))
            << h << ": nothing copied";
        EXPECT_EQ(get(enhanced, 400, out.data()), size) << h;
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), out.begin()) && out[size] == 0xEE) << h;
        EXPECT_EQ((std::vector<UINT>{remove(enhanced), GetObjectType(h), remove(enhanced)}),
                  (std::vector<UINT>{1, 0, 0}))
            << h;
    }
    HGLOBAL g = GlobalAlloc(GHND, 4);
    EXPECT_TRUE(!DeleteEnhMetaFile(static_cast<HENHMETAFILE>(g)) && !DeleteMetaFile(nullptr) &&
                GetObjectType(g) == 0 && !GlobalFree(g));  // X-g
    EXPECT_FALSE(SetEnhMetaFileBits(0, kEmf.data())) << "no bytes";
#if !defined(_WIN32)
    EXPECT_TRUE(!SetMetaFileBitsEx(10, nullptr) && !WinshimAdoptEnhMetaFileBits(0, out.data()) &&
                !WinshimAdoptMetaFileBits(4, nullptr) && !WinshimMapEnhMetaFile(-1, 4) &&
                !WinshimMapMetaFile(fd, 4))
        << "no bytes, no block, no file, a closed file";
    EXPECT_EQ(WinshimGetCounts().metafiles, 0u);
#endif
}

}  // namespace
