// Parses colour and font values of the profile tables, token by token as strtok would, each
// token with its own delimiter set.
#include "settings/profile_values.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace xpmfilter {
namespace {

// Walks a text as successive strtok calls do: skip leading delimiters, take up to the next
// delimiter, consume that one delimiter. Once a call finds nothing, every later call does too.
class Tokenizer {
  public:
    explicit Tokenizer(const char* text) : rest_(text == nullptr ? "" : text) {}

    // False when only delimiters (or nothing) remain.
    [[nodiscard]] bool Next(const char* delimiters, std::string_view& token) {
        rest_.remove_prefix(std::min(rest_.find_first_not_of(delimiters), rest_.size()));
        if (rest_.empty()) return false;
        size_t end = std::min(rest_.find_first_of(delimiters), rest_.size());
        token = rest_.substr(0, end);
        rest_.remove_prefix(end == rest_.size() ? end : end + 1);
        return true;
    }

  private:
    std::string_view rest_;
};

// The low 8 bits of the number atoi would read: leading blanks, an optional sign, then
// decimal digits up to the first non-digit; no digits give 0. Arithmetic modulo 256 keeps
// the low bits exact however long the digit run is.
uint8_t AtoiLowByte(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint8_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = static_cast<uint8_t>(value * 10 + (text[i] - '0'));
    return negative ? static_cast<uint8_t>(0u - value) : value;
}

template <size_t N>
void CopyCut(char (&out)[N], std::string_view text) {
    size_t n = std::min(text.size(), N - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

}  // namespace

ProfileColorValue ParseProfileColor(const char* value) {
    ProfileColorValue entry{};
    Tokenizer tokens(value);
    std::string_view token;
    if (!tokens.Next("( ,", token)) return entry;
    entry.rgb.red = AtoiLowByte(token);
    if (!tokens.Next(", ", token)) return entry;
    entry.rgb.green = AtoiLowByte(token);
    if (!tokens.Next(", )", token)) return entry;
    entry.rgb.blue = AtoiLowByte(token);
    // The filler normally takes the space between the comma and the name's opening quote.
    if (!tokens.Next(",\"", token)) return entry;
    if (!tokens.Next("\"", token)) return entry;
    CopyCut(entry.name, token);
    return entry;
}

ProfileFontValue ParseProfileFont(const char* value) {
    ProfileFontValue entry{};
    Tokenizer tokens(value);
    std::string_view token;
    if (!tokens.Next(",", token)) return entry;
    // The profile function removed the value's opening quote, so the first text arrives
    // with only its closing quote, which is dropped here.
    if (token.front() != '"') CopyCut(entry.name, token.substr(0, token.size() - 1));
    if (!tokens.Next(",\"", token)) return entry;
    if (!tokens.Next(",\"", token)) return entry;
    CopyCut(entry.face, token);
    return entry;
}

}  // namespace xpmfilter
