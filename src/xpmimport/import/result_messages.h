// Result codes of the filter and of file information, in words for the user. The import
// entry points return a 16-bit value; SignedImportResult recovers the signed code from it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "xpmimport/import/input_prologue.h"

namespace xpmimport {

// The words for one result code (never empty; "unknown result" for codes nobody defined).
[[nodiscard]] std::string_view ResultInWords(int32_t code);

// Why an import (or a size query) of the input with this prologue failed with code: the
// code's words made precise by what the input's first bytes show (which kind of file it
// is, what its values line declares). With verbose, the code follows in parentheses.
[[nodiscard]] std::string DescribeFailure(int32_t code, const InputPrologue& prologue,
                                          bool verbose);

// A read of the input that failed, in words: "read error", and the cause when the graphics
// library gave one (StreamReadFailure: a system error number or a kVrRead* cause).
[[nodiscard]] std::string ReadFailureInWords(int32_t reason);

// Why an input that does not begin as XPM text is refused, by its kind ("not an XPM file:
// it is a PNG picture"); empty for kXpm and kUnread.
[[nodiscard]] std::string NotXpmInWords(InputKind kind);

// What the user should know before importing a picture that declares these values: empty,
// or one sentence (indices wrapped past 256 colours, one colour definition refused, 32768
// to 65535 definitions not importable).
[[nodiscard]] std::string ColourWarning(const InputPrologue& prologue);

// The limit of --max-pixels crossed, in words naming the limit and the flag; empty when the
// declared pixels are within maxPixels (0: no limit) or the input is not XPM (the filter
// refuses it). A values line not found within kPrologueLimit bytes counts as crossing.
[[nodiscard]] std::string SizeLimitInWords(const InputPrologue& prologue, uint64_t maxPixels);

// ImportGR and ImportCB widen their 16-bit result without sign: 0xFFE9 stands for -23.
[[nodiscard]] constexpr int32_t SignedImportResult(uint32_t widened) {
    return static_cast<int16_t>(static_cast<uint16_t>(widened));
}

}  // namespace xpmimport
