// wsprintfA's conversions and its 1024-byte limit; metafile handles, their kinds and the
// ways their bytes are held.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "winshim/winshim.h"

namespace {

constexpr DWORD kUnchanged = 0xDEADBEEF;

TEST(Wsprintf, Conversions) {  // X1, X-g
    char b[1024];
    // Each row copies the buffer right after its call (list elements run in order).
    struct Row {
        const char* call;
        int got;
        std::string text;
        const char* want;
    };
    const Row rows[] = {
        {"%d -5", wsprintfA(b, "%d", -5), b, "-5"},
        {"%u -1", wsprintfA(b, "%u", -1), b, "4294967295"},
        {"%i INT_MIN", wsprintfA(b, "%i", INT32_MIN), b, "-2147483648"},
        {"%x", wsprintfA(b, "%x", 0xBEEFu), b, "beef"},
        {"%X", wsprintfA(b, "%X", 0xBEEFu), b, "BEEF"},
        {"%#x", wsprintfA(b, "%#x", 255u), b, "0xff"},
        {"%ld", wsprintfA(b, "%ld", LONG{-7}), b, "-7"},
        {"%lu", wsprintfA(b, "%lu", DWORD{4000000000u}), b, "4000000000"},
        {"%lx", wsprintfA(b, "%lx", DWORD{0xABCDEF01u}), b, "abcdef01"},
        {"%hd", wsprintfA(b, "%hd", 65535), b, "-1"},
        {"%5d", wsprintfA(b, "[%5d]", 42), b, "[   42]"},
        {"%-5d", wsprintfA(b, "[%-5d]", 42), b, "[42   ]"},
        {"%05d", wsprintfA(b, "[%05d]", -42), b, "[-0042]"},
        {"%.3d", wsprintfA(b, "[%.3d]", 7), b, "[007]"},
        {"%03d Color key", wsprintfA(b, "%s[%03d]", "Color", 5), b, "Color[005]"},
        {"%s", wsprintfA(b, "<%s>", "text"), b, "<text>"},
        {"%s null", wsprintfA(b, "%s", static_cast<const char*>(nullptr)), b, "(null)"},
        {"%.2s", wsprintfA(b, "%.2s", "abcdef"), b, "ab"},
        {"%-4s|", wsprintfA(b, "%-4s|", "a"), b, "a   |"},
        {"%4s", wsprintfA(b, "%4s", "a"), b, "   a"},
        {"%c", wsprintfA(b, "%c%c", 'o', 'k'), b, "ok"},
        {"%%", wsprintfA(b, "100%%"), b, "100%"},
        {"unknown conversion", wsprintfA(b, "%q"), b, "q"},
        {"trailing %", wsprintfA(b, "end%"), b, "end"},
        {"%e is not floating point", wsprintfA(b, "%e"), b, "e"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.text, row.want) << row.call;
        EXPECT_EQ(row.got, static_cast<int>(std::strlen(row.want))) << row.call;
    }
}

TEST(Wsprintf, NeverWritesPast1024Bytes) {
    std::vector<char> buffer(2048, 'z');
    const std::string longText(3000, 'a');
    EXPECT_EQ(wsprintfA(buffer.data(), "%s", longText.c_str()), 1023);
    EXPECT_EQ(buffer[1023], '\0');
    EXPECT_EQ(buffer[1024], 'z');
    std::fill(buffer.begin(), buffer.end(), 'z');
    EXPECT_EQ(wsprintfA(buffer.data(), "%-99999s|", "x"), 1023);
    EXPECT_EQ(buffer[1024], 'z');
    for (const char* format : {"%999999999999d", "%-99999c|", "%.99999d", "%0999999x"}) {
        std::fill(buffer.begin(), buffer.end(), 'z');
        int got = wsprintfA(buffer.data(), format, '1');
        EXPECT_LE(got, 1023) << format;
        EXPECT_EQ(buffer[static_cast<size_t>(got)], '\0') << format;
        EXPECT_EQ(buffer[1024], 'z') << format;
    }
}

std::vector<BYTE> Bytes(size_t n, BYTE seed) {
    std::vector<BYTE> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<BYTE>(seed + i * 7);
    return bytes;
}

TEST(Metafiles, KindsAndDeletion) {  // X-a, X-b, X-d, X-e, X-f, X-g
    const std::vector<BYTE> emf = Bytes(100, 1), wmf = Bytes(60, 2);
    HENHMETAFILE e = SetEnhMetaFileBits(static_cast<UINT>(emf.size()), emf.data());
    HMETAFILE m = SetMetaFileBitsEx(static_cast<UINT>(wmf.size()), wmf.data());
    ASSERT_NE(e, nullptr);
    ASSERT_NE(m, nullptr);
    char b[16];
    EXPECT_EQ(wsprintfA(b, "%d/%d", GetObjectType(e), GetObjectType(m)), 4);
    EXPECT_STREQ(b, "13/9");
    EXPECT_EQ(WinshimGetCounts().metafiles, 2u);
    // Deleting by the wrong kind fails and leaves the object.
    SetLastError(kUnchanged);
    EXPECT_FALSE(DeleteMetaFile(e)) << "X-d DeleteMetaFile(enhanced)";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << "X-d";
    SetLastError(kUnchanged);
    EXPECT_FALSE(DeleteEnhMetaFile(m)) << "X-e DeleteEnhMetaFile(plain)";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << "X-e";
    EXPECT_EQ(GetObjectType(e), OBJ_ENHMETAFILE) << "X-d the object stays";
    EXPECT_EQ(GetObjectType(m), OBJ_METAFILE) << "X-e the object stays";

    EXPECT_TRUE(DeleteEnhMetaFile(e)) << "X-f";
    EXPECT_EQ(GetObjectType(e), 0u);
    EXPECT_FALSE(DeleteEnhMetaFile(e)) << "X-f twice";
    EXPECT_TRUE(DeleteMetaFile(m));
    EXPECT_EQ(GetObjectType(m), 0u);
    EXPECT_EQ(GetObjectType(nullptr), 0u);
    HGLOBAL g = GlobalAlloc(GHND, 4);
    EXPECT_EQ(GetObjectType(g), 0u) << "memory handles are not GDI objects";
    GlobalFree(g);
    // Handles are not reused soon.
    for (int i = 0; i < 2000; ++i) {
        HENHMETAFILE again = SetEnhMetaFileBits(8, emf.data());
        ASSERT_NE(again, e) << "after " << i << " new metafiles";
        ASSERT_TRUE(DeleteEnhMetaFile(again));
    }
    EXPECT_EQ(GetObjectType(e), 0u);
}

TEST(Metafiles, BitsComeBackExactly) {
    const std::vector<BYTE> emf = Bytes(300, 9);
    HENHMETAFILE e = SetEnhMetaFileBits(static_cast<UINT>(emf.size()), emf.data());
    ASSERT_NE(e, nullptr);
    std::vector<BYTE> out(400, 0xEE);
    EXPECT_EQ(GetEnhMetaFileBits(e, 0, nullptr), 300u) << "size query";
    EXPECT_EQ(GetEnhMetaFileBits(e, 400, nullptr), 300u) << "no buffer: size query";
    EXPECT_EQ(GetEnhMetaFileBits(e, 299, out.data()), 0u) << "buffer one byte short";
    EXPECT_EQ(out[0], 0xEE) << "nothing copied into a short buffer";
    EXPECT_EQ(GetEnhMetaFileBits(e, 400, out.data()), 300u);
    EXPECT_TRUE(std::equal(emf.begin(), emf.end(), out.begin()));
    EXPECT_EQ(out[300], 0xEE) << "nothing written past the metafile";
    EXPECT_EQ(GetMetaFileBitsEx(e, 400, out.data()), 0u) << "wrong kind";
    EXPECT_TRUE(DeleteEnhMetaFile(e));
    EXPECT_EQ(GetEnhMetaFileBits(e, 0, nullptr), 0u) << "deleted";

    HMETAFILE m = SetMetaFileBitsEx(3, emf.data());
    std::vector<BYTE> small(3);
    EXPECT_EQ(GetMetaFileBitsEx(m, 3, small.data()), 3u);
    EXPECT_EQ(small[2], emf[2]);
    EXPECT_TRUE(DeleteMetaFile(m));
    EXPECT_EQ(SetEnhMetaFileBits(0, emf.data()), nullptr) << "no bytes";
    EXPECT_EQ(SetMetaFileBitsEx(10, nullptr), nullptr) << "no data";
}

// Handles over bytes that are not copied: a malloc'd block taken over, or a file mapped.
TEST(Metafiles, AdoptedAndMappedBytes) {
    const std::vector<BYTE> bytes = Bytes(5000, 3);
    char path[] = "/tmp/winshim_map_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    struct Case {
        const char* name;
        void* (*make)(const std::vector<BYTE>& bytes, int fd);
        DWORD type;
    };
    const Case cases[] = {
        {"adopted EMF", [](const std::vector<BYTE>& b, int) -> void* {
             auto* block = static_cast<BYTE*>(std::malloc(b.size()));
             std::memcpy(block, b.data(), b.size());
             return WinshimAdoptEnhMetaFileBits(static_cast<UINT>(b.size()), block);
         }, OBJ_ENHMETAFILE},
        {"adopted WMF", [](const std::vector<BYTE>& b, int) -> void* {
             auto* block = static_cast<BYTE*>(std::malloc(b.size()));
             std::memcpy(block, b.data(), b.size());
             return WinshimAdoptMetaFileBits(static_cast<UINT>(b.size()), block);
         }, OBJ_METAFILE},
        {"mapped EMF", [](const std::vector<BYTE>& b, int fd) -> void* {
             return WinshimMapEnhMetaFile(fd, static_cast<UINT>(b.size()));
         }, OBJ_ENHMETAFILE},
        {"mapped WMF", [](const std::vector<BYTE>& b, int fd) -> void* {
             return WinshimMapMetaFile(fd, static_cast<UINT>(b.size()));
         }, OBJ_METAFILE},
    };
    for (const Case& k : cases) {
        void* handle = k.make(bytes, fd);
        ASSERT_NE(handle, nullptr) << k.name;
        EXPECT_EQ(GetObjectType(handle), k.type) << k.name;
        std::vector<BYTE> out(bytes.size());
        const bool enhanced = k.type == OBJ_ENHMETAFILE;
        EXPECT_EQ(enhanced ? GetEnhMetaFileBits(handle, 5000, out.data()) : GetMetaFileBitsEx(handle, 5000, out.data()),
                  5000u) << k.name;
        EXPECT_TRUE(out == bytes) << k.name;
        EXPECT_TRUE(enhanced ? DeleteEnhMetaFile(handle) : DeleteMetaFile(handle)) << k.name;
    }
    close(fd);
    unlink(path);
    BYTE kept[4] = {1, 2, 3, 4};
    EXPECT_EQ(WinshimAdoptEnhMetaFileBits(0, kept), nullptr) << "no bytes";
    EXPECT_EQ(WinshimAdoptMetaFileBits(4, nullptr), nullptr) << "no block";
    EXPECT_EQ(WinshimMapEnhMetaFile(-1, 4), nullptr) << "no file";
    EXPECT_EQ(WinshimMapMetaFile(fd, 4), nullptr) << "a closed file";
    EXPECT_EQ(WinshimGetCounts().metafiles, 0u);
}

}  // namespace
