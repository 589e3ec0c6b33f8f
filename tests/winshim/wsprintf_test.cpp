// wsprintfA's conversions and its 1024-byte limit. Only Win32 calls: the Windows build runs
// it against the system's wsprintfA, which checks libwinshim against it.
#include "winshim_test.h"

namespace {

using winshim_test::kWine;

// Where Wine's wsprintfA gives another result than libwinshim and the behaviour is not
// confirmed on Windows, the Windows build (run under Wine) expects Wine's: "%hd" of 65535
// prints 65535 (and "%hx" all 32 bits), a precision keeps zero padding, precision 0 still
// prints the value 0, and a cut result counts 1024 characters (the bytes stored are the same).
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
        ROW("-5 0 4294967295 -2147483648", "%d %d %u %i", -5, 0, -1, INT32_MIN),
        ROW("beef BEEF 0xff", "%x %X %#x", 0xBEEFu, 0xBEEFu, 255u),
        ROW("-7 4000000000", "%ld %lu", LONG{-7}, DWORD{4000000000u}),
        ROW(kWine ? "65535 1ffff" : "-1 ffff", "%hd %hx", 65535, 0x1FFFFu),
        ROW("[   42|42   |-0042|-000000001]", "[%5d|%-5d|%05d|%010ld]", 42, 42, -42, LONG{-1}),
        ROW(kWine ? "[007|0|00007]" : "[007||  007]", "[%.3d|%.0d|%05.3d]", 7, 0, 7),
        ROW("Color[005]", "%s[%03d]", "Color", 5),
        ROW("<text|(null)|ab|a   |   a>", "<%s|%s|%.2s|%-4s|%04s>", "text",
            static_cast<const char*>(nullptr), "abc", "a", "a"),
        ROW("ok[    x] 100% e end", "%c%c[%05c] 100%% %e end%", 'o', 'k', 'x'),
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
    // No format or no buffer: nothing, and no crash (not asked of Windows).
    EXPECT_TRUE(kWine || (wsprintfA(b, nullptr) == 0 && !b[0] && wsprintfA(nullptr, "x") == 0));
}

}  // namespace
