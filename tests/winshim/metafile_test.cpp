// Metafile handles, their kinds and the ways their bytes are held (libwinshim's own calls
// among them, so POSIX only).
#include "temp_files.h"

namespace {

using namespace winshim_test;

// Copied bytes, malloc'd blocks taken over and files mapped read-only, as either kind.
TEST(Metafiles, KindsBitsAndDeletion) {  // X-a, X-b, X-d..X-g
    std::vector<BYTE> bytes(300), out(400);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<BYTE>(i * 7 + i / 256);
    char path[] = "/tmp/winshim_map_XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_EQ(::write(fd, bytes.data(), 300), 300);
    const auto block = [&] { return static_cast<BYTE*>(std::memcpy(std::malloc(300), bytes.data(), 300)); };
    void* handles[] = {SetEnhMetaFileBits(300, bytes.data()), WinshimAdoptEnhMetaFileBits(300, block()),
                       WinshimMapEnhMetaFile(fd, 300), SetMetaFileBitsEx(300, bytes.data()),
                       WinshimAdoptMetaFileBits(300, block()), WinshimMapMetaFile(fd, 300)};
    ::close(fd);
    ::unlink(path);
    EXPECT_EQ(WinshimGetCounts().metafiles, 6u);
    for (int i = 0; i < 6; ++i) {
        void* h = handles[i];
        const bool enhanced = i < 3;
        const auto get = [&](bool asEnhanced, UINT size, BYTE* to) {
            return asEnhanced ? GetEnhMetaFileBits(h, size, to) : GetMetaFileBitsEx(h, size, to);
        };
        const auto remove = [&](bool asEnhanced) { return UINT(asEnhanced ? DeleteEnhMetaFile(h) : DeleteMetaFile(h)); };
        char b[16];
        std::fill(out.begin(), out.end(), 0xEE);
        // In order: the kind through wsprintfA; size queries; a buffer one byte short and the
        // wrong kind get nothing; deleting by the wrong kind fails and keeps the object.
        const std::vector<UINT> got = {UINT(wsprintfA(b, "%d", GetObjectType(h))), get(enhanced, 0, nullptr),
            get(enhanced, 400, nullptr), get(enhanced, 299, out.data()), get(!enhanced, 400, out.data()),
            (SetLastError(kUnchanged), remove(!enhanced)), GetLastError(), GetObjectType(h)};
        EXPECT_EQ(got, (std::vector<UINT>{enhanced ? 2u : 1u, 300, 300, 0, 0, 0, 6, enhanced ? 13u : 9u})) << i;
        EXPECT_STREQ(b, enhanced ? "13" : "9");
        EXPECT_EQ(out, std::vector<BYTE>(400, 0xEE)) << i << ": nothing copied";
        EXPECT_EQ(get(enhanced, 400, out.data()), 300u) << i;
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), out.begin()) && out[300] == 0xEE) << i;
        EXPECT_EQ((std::vector<UINT>{remove(enhanced), GetObjectType(h), remove(enhanced)}), (std::vector<UINT>{1, 0, 0})) << i;
    }
    HGLOBAL g = GlobalAlloc(GHND, 4);
    EXPECT_TRUE(!DeleteEnhMetaFile(g) && !DeleteMetaFile(nullptr) && GetObjectType(g) == 0 && !GlobalFree(g));  // X-g
    EXPECT_TRUE(!SetEnhMetaFileBits(0, bytes.data()) && !SetMetaFileBitsEx(10, nullptr) && !WinshimAdoptEnhMetaFileBits(0, out.data()) &&
                !WinshimAdoptMetaFileBits(4, nullptr) && !WinshimMapEnhMetaFile(-1, 4) && !WinshimMapMetaFile(fd, 4))
        << "no bytes, no block, no file, a closed file";
    EXPECT_EQ(WinshimGetCounts().metafiles, 0u);
}

}  // namespace
