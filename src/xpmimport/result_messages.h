// Result codes of the filter and of file information, in words for the user. The import
// entry points return a 16-bit value; SignedImportResult recovers the signed code from it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xpmimport {

// The words for one result code (never empty; "unknown result" for codes nobody defined).
[[nodiscard]] std::string_view ResultInWords(int32_t code);

// "<words> (<code>)", the cause part of a failure message.
[[nodiscard]] std::string DescribeResult(int32_t code);

// ImportGR and ImportCB widen their 16-bit result without sign: 0xFFE9 stands for -23.
[[nodiscard]] constexpr int32_t SignedImportResult(uint32_t widened) {
    return static_cast<int16_t>(static_cast<uint16_t>(widened));
}

}  // namespace xpmimport
