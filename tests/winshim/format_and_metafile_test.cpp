// wsprintfA's conversions and its 1024-byte limit; metafile handles, their kinds and the ways
// their bytes are held.
#include "temp_files.h"

namespace {

using namespace winshim_test;

TEST(Wsprintf, ConversionsAndTheLimit) {  // X1, X-g
    char b[1024];
    // Each row formats into b and copies it at once (the elements are initialised in order). "%05.3d":
    // a precision turns zero padding off; "%05c" pads with spaces.
#define ROW(want, ...) {wsprintfA(b, __VA_ARGS__), b, want}
    const struct { int got; std::string text; const char* want; } rows[] = {
        ROW("-5", "%d", -5), ROW("4294967295", "%u", -1), ROW("-2147483648", "%i", INT32_MIN),
        ROW("beef", "%x", 0xBEEFu), ROW("BEEF", "%X", 0xBEEFu), ROW("0xff", "%#x", 255u), ROW("-7", "%ld", LONG{-7}),
        ROW("4000000000", "%lu", DWORD{4000000000u}), ROW("-1", "%hd", 65535), ROW("[   42]", "[%5d]", 42),
        ROW("[42   ]", "[%-5d]", 42), ROW("[-0042]", "[%05d]", -42), ROW("-000000001", "%010ld", -1),
        ROW("[007]", "[%.3d]", 7), ROW("[  007]", "[%05.3d]", 7), ROW("Color[005]", "%s[%03d]", "Color", 5),
        ROW("<text>", "<%s>", "text"), ROW("(null)", "%s", static_cast<const char*>(nullptr)), ROW("ab", "%.2s", "abc"),
        ROW("a   |", "%-4s|", "a"), ROW("   a", "%04s", "a"), ROW("ok", "%c%c", 'o', 'k'),
        ROW("[    x]", "[%05c]", 'x'), ROW("100%", "100%%"), ROW("e", "%e"), ROW("end", "end%"),
    };
#undef ROW
    for (const auto& row : rows) EXPECT_EQ(std::pair(row.got, row.text), std::pair(int(strlen(row.want)), std::string(row.want)));
    // Never more than 1024 bytes, the NUL included.
    std::vector<char> big(2048);
    const std::string longText(3000, 'a');
    for (const char* format : {"%s", "%-99999s|", "%999999999999d", "%-99999c|", "%.99999d", "%0999999x"}) {
        std::fill(big.begin(), big.end(), 'z');
        const int got = std::strchr(format, 's') ? wsprintfA(big.data(), format, longText.c_str())
                                                 : wsprintfA(big.data(), format, '1');
        EXPECT_TRUE(got == 1023 && big[1023] == '\0' && big[1024] == 'z') << format;
    }
}

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
