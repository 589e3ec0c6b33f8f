// wsprintfA's conversions and its 1024-byte limit. Only Win32 calls: the Windows build runs
// it against the system's wsprintfA, which checks libwinshim against it.
#include "winshim_test.h"

namespace {

using winshim_test::kWine;

// Where Wine's wsprintfA gives another result than libwinshim and the behaviour is not
// confirmed on Windows, the Windows build (run under Wine) expects Wine's: "%hd" of 65535
// prints 65535 (and "%hx" all 32 bits), a precision keeps zero padding, and a cut result counts
// 1024 characters (the bytes stored are the same).
TEST(Wsprintf, ConversionsAndTheLimit) {
    char b[1024];
    // Each row formats into b and copies it at once (the elements are initialised in order).
    // "%05.3d": a precision turns zero padding off; "%05c" pads with spaces.
#define ROW(want, ...) \
    { wsprintfA(b, __VA_ARGS__), b, want, #__VA_ARGS__ }
    const struct {
        int got;
        std::string text;
        std::string want;
        const char* call;
    } rows[] = {
        ROW("-5 0", "%d %d", -5, 0),
        ROW("4294967295", "%u", -1),
        ROW("-2147483648", "%i", INT32_MIN),
        ROW("beef", "%x", 0xBEEFu),
        ROW("BEEF", "%X", 0xBEEFu),
        ROW("0xff", "%#x", 255u),
        ROW("-7", "%ld", LONG{-7}),
        ROW("4000000000", "%lu", DWORD{4000000000u}),
        ROW(kWine ? "65535" : "-1", "%hd", 65535),
        ROW(kWine ? "1ffff" : "ffff", "%hx", 0x1FFFFu),
        ROW("[   42]", "[%5d]", 42),
        ROW("[42   ]", "[%-5d]", 42),
        ROW("[-0042]", "[%05d]", -42),
        ROW("-000000001", "%010ld", -1),
        ROW(kWine ? "[007|0]" : "[007|]", "[%.3d|%.0d]", 7, 0),
        ROW(kWine ? "[00007]" : "[  007]", "[%05.3d]", 7),
        ROW("Color[005]", "%s[%03d]", "Color", 5),
        ROW("<text>", "<%s>", "text"),
        ROW("(null)", "%s", static_cast<const char*>(nullptr)),
        ROW("ab", "%.2s", "abc"),
        ROW("a   |", "%-4s|", "a"),
        ROW("   a", "%04s", "a"),
        ROW("ok", "%c%c", 'o', 'k'),
        ROW("[    x]", "[%05c]", 'x'),
        ROW("100%", "100%%"),
        ROW("e", "%e"),
        ROW("end", "end%"),
    };
#undef ROW
    for (const auto& row : rows) {
        EXPECT_TRUE(row.text == row.want && row.got == int(row.want.size()))
            << "wsprintfA(b, " << row.call << ") gives \"" << row.text << "\" and " << row.got
            << ", want \"" << row.want << "\" and its length";
    }
    // Never more than 1024 bytes, the NUL included.
    std::vector<char> big(2048);
    const std::string longText(3000, 'a');
    for (const char* format :
         {"%s", "%-99999s|", "%999999999999d", "%-99999c", "%1022cab", "%.99999d", "%0999999x"}) {
        std::fill(big.begin(), big.end(), 'z');
        const int got = std::strchr(format, 's') ? wsprintfA(big.data(), format, longText.c_str())
                                                 : wsprintfA(big.data(), format, '1');
        EXPECT_TRUE(got == (kWine ? 1024 : 1023) && big[1023] == '\0' && big[1024] == 'z')
            << format << " gives " << got << ", want 1023 characters stored, then the NUL";
    }
#if !defined(_WIN32)
    EXPECT_TRUE(wsprintfA(b, nullptr) == 0 && b[0] == '\0' && wsprintfA(nullptr, "x") == 0);
#endif
}

}  // namespace
