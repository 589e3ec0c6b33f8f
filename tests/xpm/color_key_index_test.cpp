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

TEST(ColorKeyIndex, AgreesWithTheScan) {
    struct Case {
        std::string name;
        std::vector<std::string> codes;
        std::string query;
        int32_t result;
        int want;  // the index byte when found
    };
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
    };
    for (const Case& c : cases) {
        std::vector<ColorKeyEntry> table = Table(c.codes);
        const auto count = static_cast<int32_t>(table.size());
        uint8_t scanned = 0xEE;
        int32_t scanResult = xpmfilter::FindColorKey(c.query.c_str(), table.data(), count, &scanned);
        xpmfilter::ColorKeyIndex index(table.data(), count);
        uint8_t got = 0xEE;
        // Twice: the first lookup builds the index, the second uses it.
        for (int round = 0; round < 2; ++round) {
            int32_t result = index.Find(c.query.c_str(), &got);
            EXPECT_EQ(result, c.result) << c.name << ", lookup " << round << ": got " << result
                                        << ", want " << c.result;
            EXPECT_EQ(scanResult, c.result) << c.name << ": scan got " << scanResult
                                            << ", want " << c.result;
            if (c.result != 0) {
                EXPECT_EQ(got, 0xEE) << c.name << ": a miss wrote " << int{got};
                continue;
            }
            EXPECT_EQ(got, c.want) << c.name << ": got index " << int{got} << ", want " << c.want;
            EXPECT_EQ(scanned, c.want) << c.name << ": scan got index " << int{scanned}
                                       << ", want " << c.want;
        }
    }
}

}  // namespace
}  // namespace xpmtest
