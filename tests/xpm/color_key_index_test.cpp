// The pixel-code lookup: the index must give exactly the linear scan's answer (first entry
// equal in 8 characters, position kept to 8 bits) for small and large tables alike.
#include "xpm/color_key_index.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace xpmtest {
namespace {

using xpmfilter::ColorKeyEntry;

std::vector<ColorKeyEntry> Table(const std::vector<std::string>& codes) {
    std::vector<ColorKeyEntry> table(codes.size());
    for (size_t i = 0; i < codes.size(); ++i) {
        std::strncpy(table[i].code, codes[i].c_str(), sizeof table[i].code - 1);
        table[i].value = static_cast<int32_t>(i);
    }
    return table;
}

// n distinct two-character codes "#0", "#1", ... after the given leading codes.
std::vector<std::string> Codes(std::vector<std::string> leading, int n) {
    for (int i = 0; i < n; ++i)
        leading.push_back({static_cast<char>('0' + i / 75), static_cast<char>('0' + i % 75)});
    return leading;
}

// Codes whose packed first characters are all multiples of one number: under a hash that
// keeps the packed value (or a fixed function of it) they share a bucket chain.
std::vector<std::string> Colliding(int n) {
    std::vector<std::string> codes;
    for (uint64_t i = 1; codes.size() < static_cast<size_t>(n); ++i) {
        uint64_t packed = i * 1048583;  // a prime above 2^20
        std::string code;
        for (; packed != 0; packed >>= 8) code += static_cast<char>(packed & 0xFF);
        if (code.find('\0') == std::string::npos && code.size() <= 8) codes.push_back(code);
    }
    return codes;
}

// The one-pixel row of a raw code: exactly charsPerPixel bytes, zero bytes included.
std::string Raw(std::string code, size_t charsPerPixel) {
    code.resize(charsPerPixel, '\0');
    return code;
}

TEST(ColorKeyIndex, AgreesWithTheScan) {
    struct Case {
        std::string name;
        std::vector<std::string> codes;
        std::string query;  // raw bytes; for DecodeRow exactly charsPerPixel of them
        int32_t result;
        int want;  // the index byte when found
        int32_t charsPerPixel = 0;  // 0: the query's length
        int64_t pixels = 0;         // at 65536 and more, 2-character codes use a direct table
    };
    const std::string nul(1, '\0');
    const std::vector<std::string> colliding = Colliding(3000);
    const std::vector<Case> cases = {
        {"small, second", {"a", "b", "c"}, "b", 0, 1},
        {"small, missing", {"a", "b", "c"}, "d", -1, 0},
        {"small, case counts", {"a", "b"}, "A", -1, 0},
        {"large, first of equal codes", Codes({"zz", "zz"}, 40), "zz", 0, 0},
        {"large, 8 characters decide", Codes({"abcdefgh01", "abcdefgh02"}, 40), "abcdefgh02", 0, 0},
        {"large, 8 characters decide (short query)", Codes({"abcdefgh01"}, 40), "abcdefgh", 0, 0},
        {"large, 7 characters do not", Codes({"abcdefgh01"}, 40), "abcdefg", -1, 0},
        {"large, empty code", Codes({"x", "", ""}, 40), "", 0, 1},
        {"large, empty query without empty code", Codes({"x"}, 40), "", -1, 0},
        {"large, high bytes", Codes({"\xff\x80", "\x80\xff"}, 40), "\x80\xff", 0, 1},
        {"large, spaces", Codes({"  ", " "}, 40), " ", 0, 1},
        {"300 entries, position 299", Codes({}, 300), Codes({}, 300)[299], 0, 43},
        {"300 entries, position 256", Codes({}, 300), Codes({}, 300)[256], 0, 0},
        {"large, missing", Codes({}, 300), "!!", -1, 0},
        // Raw codes as rows carry them: a zero byte ends the code like a string's end.
        {"1 char, zero byte is the empty code", Codes({"x", ""}, 40), nul, 0, 1},
        {"2 chars, zero byte ends the code", Codes({"ab", "a"}, 40), "a" + nul, 0, 1},
        {"2 chars, leading zero byte", Codes({"ab", "", "a"}, 40), nul + "b", 0, 1},
        {"2 chars, leading zero byte, no empty code", Codes({"ab"}, 40), nul + "b", -1, 0},
        {"2 chars direct, zero byte ends the code", Codes({"ab", "a"}, 40), "a" + nul, 0, 1, 2, 65536},
        {"2 chars direct, leading zero byte", Codes({"ab", "", "a"}, 40), nul + "b", 0, 1, 2, 65536},
        {"2 chars direct, longer code never matches", Codes({"abc", "ab"}, 40), "ab", 0, 1, 2, 65536},
        {"2 chars direct, first of equal codes", Codes({"q", "q"}, 300), "q" + nul, 0, 0, 2, 65536},
        {"2 chars direct, position 299", Codes({}, 300), Codes({}, 300)[299], 0, 43, 2, 65536},
        {"3 chars, zero byte inside", Codes({"ab", "a"}, 40), "a" + nul + "b", 0, 1},
        {"9 chars, zero byte at 8 ignored", Codes({"abcdefgh"}, 40), Raw("abcdefgh", 9), 0, 0},
        {"9 chars, 8 characters decide", Codes({"abcdefgh1", "abcdefgh2"}, 40), "abcdefgh2", 0, 0},
        {"12 chars, zero byte early", Codes({"abc", "ab"}, 40), Raw("ab", 12), 0, 1},
        {"colliding codes, last", colliding, colliding[2999], 0, 2999 % 256},
        {"colliding codes, missing", colliding, Colliding(3001)[3000], -1, 0},
    };
    for (const Case& c : cases) {
        std::vector<ColorKeyEntry> table = Table(c.codes);
        const auto count = static_cast<int32_t>(table.size());
        const std::string query = c.query.c_str();  // as a string, up to a zero byte
        uint8_t scanned = 0xEE;
        int32_t scanResult = xpmfilter::FindColorKey(query.c_str(), table.data(), count, &scanned);
        EXPECT_EQ(scanResult, c.result) << c.name << ": scan got " << scanResult;
        if (c.result == 0) { EXPECT_EQ(scanned, c.want) << c.name << ": scan got " << int{scanned}; }
        const int32_t cpp = c.charsPerPixel != 0 ? c.charsPerPixel : static_cast<int32_t>(c.query.size());
        ASSERT_EQ(c.query.size(), static_cast<size_t>(cpp)) << c.name;
        xpmfilter::ColorKeyIndex index(table.data(), count, cpp, c.pixels);
        // Twice: the first lookup builds the index, the second uses it; then as a row of
        // three pixels.
        for (int round = 0; round < (cpp > 0 ? 3 : 2); ++round) {
            uint8_t got[3] = {0xEE, 0xEE, 0xEE};
            int32_t result = 0;
            if (round < 2) {
                result = index.Find(query.c_str(), got);
            } else {
                std::string row = c.query + c.query + c.query + std::string(xpmfilter::kCodeReadSlack, 'z');
                result = index.DecodeRow(reinterpret_cast<const uint8_t*>(row.data()), 3, got);
                if (result == 0) { EXPECT_TRUE(got[0] == got[1] && got[1] == got[2]) << c.name; }
            }
            EXPECT_EQ(result, c.result) << c.name << ", lookup " << round << ": got " << result
                                        << ", want " << c.result;
            if (round < 2 && c.result != 0) {
                EXPECT_EQ(got[0], 0xEE) << c.name << ": a miss wrote " << int{got[0]};
            }
            if (c.result == 0) {
                EXPECT_EQ(got[0], c.want) << c.name << ", lookup " << round << ": got index "
                                          << int{got[0]} << ", want " << c.want;
            }
        }
    }
}

}  // namespace
}  // namespace xpmtest
