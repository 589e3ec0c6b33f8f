// Profile files are 8-bit text unless they start with the UTF-16LE mark FF FE; such files
// are edited as UTF-8 and written back in UTF-16LE. No other mark is recognised.
#pragma once

#include <string>

namespace winshim {

enum class TextEncoding { kAnsi, kUtf16Le };

struct DecodedText {
    std::string text;  // 8-bit text; UTF-8 for a UTF-16LE file
    TextEncoding encoding = TextEncoding::kAnsi;
    std::string oddTrailingByte;  // a UTF-16LE file of odd length: its last byte, kept as is
};

// Decodes a file's bytes. Unpaired surrogates survive a decode/encode round trip.
[[nodiscard]] DecodedText DecodeProfileBytes(std::string bytes);
// The bytes to store for `text` in `encoding` (with the FF FE mark for UTF-16LE), followed by
// `trailing` unchanged. Bytes that are not UTF-8 are stored as the code points of the same
// value.
[[nodiscard]] std::string EncodeProfileText(const std::string& text, TextEncoding encoding,
                                            const std::string& trailing = {});

}  // namespace winshim
