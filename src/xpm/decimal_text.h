// Decimal text read the way the C library's atoi reads it on this platform: strtol's reading
// with its 64-bit long, then cut to int. Used for the values line and the profile's numbers,
// so that out-of-range numbers come out as the C conversion makes them.
#pragma once

#include <cstdint>
#include <string_view>

namespace xpmfilter {

// Skips leading white space (space, tab, line feed, vertical tab, form feed, carriage return),
// takes an optional sign, then decimal digits up to the first other character; 0 without
// digits. A value beyond the 64-bit range is held at the nearest 64-bit limit, and the result
// is the low 32 bits of that value taken as signed ("4294967297" gives 1).
[[nodiscard]] constexpr int32_t DecimalTextValue(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    uint64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const auto digit = static_cast<uint64_t>(text[i] - '0');
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    const uint64_t bits = negative ? 0 - magnitude : magnitude;
    return static_cast<int32_t>(static_cast<uint32_t>(bits));
}

}  // namespace xpmfilter
