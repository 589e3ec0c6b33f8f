// wsprintfA's conversions and its 1024-byte limit; metafile handles, their kinds and the ways
// their bytes are held.
#include "temp_files.h"

namespace {

using namespace winshim_test;

TEST(Wsprintf, ConversionsAndTheLimit) {  // X1, X-g
    char b[1024];
    // Each row copies the buffer right after its call (the elements are initialised in order).
    const struct { int got; std::string text; const char* want; } rows[] = {
        {wsprintfA(b, "%d", -5), b, "-5"}, {wsprintfA(b, "%u", -1), b, "4294967295"},
        {wsprintfA(b, "%i", INT32_MIN), b, "-2147483648"}, {wsprintfA(b, "%x", 0xBEEFu), b, "beef"},
        {wsprintfA(b, "%X", 0xBEEFu), b, "BEEF"}, {wsprintfA(b, "%#x", 255u), b, "0xff"},
        {wsprintfA(b, "%ld", LONG{-7}), b, "-7"}, {wsprintfA(b, "%lu", DWORD{4000000000u}), b, "4000000000"},
        {wsprintfA(b, "%hd", 65535), b, "-1"}, {wsprintfA(b, "[%5d]", 42), b, "[   42]"},
        {wsprintfA(b, "[%-5d]", 42), b, "[42   ]"}, {wsprintfA(b, "[%05d]", -42), b, "[-0042]"},
        {wsprintfA(b, "%010ld", -1), b, "-000000001"}, {wsprintfA(b, "[%.3d]", 7), b, "[007]"},
        {wsprintfA(b, "[%05.3d]", 7), b, "[  007]"},  // a precision turns zero padding off
        {wsprintfA(b, "%s[%03d]", "Color", 5), b, "Color[005]"}, {wsprintfA(b, "<%s>", "text"), b, "<text>"},
        {wsprintfA(b, "%s", static_cast<const char*>(nullptr)), b, "(null)"}, {wsprintfA(b, "%.2s", "abc"), b, "ab"},
        {wsprintfA(b, "%-4s|", "a"), b, "a   |"}, {wsprintfA(b, "%04s", "a"), b, "   a"},
        {wsprintfA(b, "%c%c", 'o', 'k'), b, "ok"}, {wsprintfA(b, "[%05c]", 'x'), b, "[    x]"},
        {wsprintfA(b, "100%%"), b, "100%"}, {wsprintfA(b, "%e"), b, "e"}, {wsprintfA(b, "end%"), b, "end"},
    };
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

TEST(Metafiles, KindsDeletionAndBits) {  // X-a, X-b, X-d..X-g
    std::vector<BYTE> emf(300), wmf(60), out(400, 0xEE);
    for (size_t i = 0; i < emf.size(); ++i) emf[i] = static_cast<BYTE>(i * 7 + i / 256);
    std::copy(emf.begin() + 7, emf.begin() + 67, wmf.begin());
    HENHMETAFILE e = SetEnhMetaFileBits(300, emf.data());
    HMETAFILE m = SetMetaFileBitsEx(60, wmf.data());
    HGLOBAL g = GlobalAlloc(GHND, 4);
    char b[16];
    EXPECT_EQ(wsprintfA(b, "%d/%d", GetObjectType(e), GetObjectType(m)), 4);
    EXPECT_STREQ(b, "13/9");
    // Size queries; a buffer one byte short and the wrong kind get nothing.
    EXPECT_EQ(std::vector<UINT>({GetEnhMetaFileBits(e, 0, nullptr), GetEnhMetaFileBits(e, 400, nullptr),
                                 GetEnhMetaFileBits(e, 299, out.data()), GetMetaFileBitsEx(e, 400, out.data())}),
              std::vector<UINT>({300, 300, 0, 0}));
    EXPECT_EQ(out, std::vector<BYTE>(400, 0xEE)) << "nothing copied";
    EXPECT_EQ(GetEnhMetaFileBits(e, 400, out.data()), 300u);
    EXPECT_TRUE(std::equal(emf.begin(), emf.end(), out.begin()) && out[300] == 0xEE);
    EXPECT_TRUE(GetMetaFileBitsEx(m, 60, out.data()) == 60 && std::equal(wmf.begin(), wmf.end(), out.begin()));
    const struct { BOOL (*remove)(void*); void* handle; BOOL want; DWORD error, typeAfter; } steps[] = {
        {DeleteMetaFile, e, FALSE, ERROR_INVALID_HANDLE, OBJ_ENHMETAFILE},  // X-d
        {DeleteEnhMetaFile, m, FALSE, ERROR_INVALID_HANDLE, OBJ_METAFILE},  // X-e
        {DeleteEnhMetaFile, e, TRUE, kUnchanged, 0}, {DeleteEnhMetaFile, e, FALSE, ERROR_INVALID_HANDLE, 0},  // X-f
        {DeleteMetaFile, m, TRUE, kUnchanged, 0}, {DeleteEnhMetaFile, g, FALSE, ERROR_INVALID_HANDLE, 0},
        {DeleteMetaFile, nullptr, FALSE, ERROR_INVALID_HANDLE, 0},  // X-g
    };
    for (const auto& s : steps) {
        SetLastError(kUnchanged);
        const BOOL got = s.remove(s.handle);
        const DWORD error = GetLastError();
        EXPECT_EQ(std::tuple(got, error, GetObjectType(s.handle)), std::tuple(s.want, s.error, s.typeAfter))
            << "step " << &s - steps;
    }
    EXPECT_TRUE(GetEnhMetaFileBits(e, 0, nullptr) == 0 && GlobalFree(g) == nullptr) << "deleted";
    EXPECT_TRUE(SetEnhMetaFileBits(0, emf.data()) == nullptr && SetMetaFileBitsEx(10, nullptr) == nullptr) << "no data";

    // Handles over bytes that are not copied: malloc'd blocks taken over, or a file mapped.
    char path[] = "/tmp/winshim_map_XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_EQ(::write(fd, emf.data(), 300), 300);
    const auto block = [&] { return static_cast<BYTE*>(std::memcpy(std::malloc(300), emf.data(), 300)); };
    void* handles[] = {WinshimAdoptEnhMetaFileBits(300, block()), WinshimMapEnhMetaFile(fd, 300),
                       WinshimAdoptMetaFileBits(300, block()), WinshimMapMetaFile(fd, 300)};
    ::close(fd);
    ::unlink(path);
    for (int i = 0; i < 4; ++i) {
        void* h = handles[i];
        const bool enhanced = i < 2;
        std::fill(out.begin(), out.end(), 0);
        EXPECT_EQ(GetObjectType(h), enhanced ? OBJ_ENHMETAFILE : OBJ_METAFILE) << i;
        EXPECT_EQ(enhanced ? GetEnhMetaFileBits(h, 400, out.data()) : GetMetaFileBitsEx(h, 400, out.data()), 300u) << i;
        EXPECT_TRUE(std::equal(emf.begin(), emf.end(), out.begin()) && (enhanced ? DeleteEnhMetaFile : DeleteMetaFile)(h));
    }
    EXPECT_TRUE(!WinshimAdoptEnhMetaFileBits(0, emf.data()) && !WinshimAdoptMetaFileBits(4, nullptr) &&
                !WinshimMapEnhMetaFile(-1, 4) && !WinshimMapMetaFile(fd, 4)) << "no bytes, no block, no file, a closed file";
    EXPECT_EQ(WinshimGetCounts().metafiles, 0u);
}

}  // namespace
