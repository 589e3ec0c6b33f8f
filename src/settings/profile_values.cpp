// Parses colour and font values of the profile tables, token by token as strtok would, each
// token with its own delimiter set.
#include "settings/profile_values.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "xpm/decimal_text.h"

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

// The low 8 bits of the number atoi reads from the token.
uint8_t AtoiLowByte(std::string_view text) {
    return static_cast<uint8_t>(DecimalTextValue(text));
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
