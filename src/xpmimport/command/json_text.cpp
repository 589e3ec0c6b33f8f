// JSON strings and objects.
#include "xpmimport/command/json_text.h"

#include <cstdio>

namespace xpmimport {
namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0.
[[nodiscard]] size_t Utf8Length(std::string_view text, size_t i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    size_t length = lead < 0x80           ? 1
                    : (lead >> 5) == 0x6  ? 2
                    : (lead >> 4) == 0xE  ? 3
                    : (lead >> 3) == 0x1E ? 4
                                          : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    }
    return length;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = Utf8Length(text, i);
        if (c == '"' || c == '\\') {
            out += '\\', out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || length == 0) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
            length = 1;
        } else {
            out.append(text.substr(i, length));
        }
        i += length == 0 ? 1 : length;
    }
    return out + "\"";
}

JsonObject& JsonObject::add(std::string_view key, std::string_view value) {
    if (body_.size() > 1) body_ += ',';
    body_ += JsonString(key) + ":" + JsonString(value);
    return *this;
}

JsonObject& JsonObject::add(std::string_view key, int64_t value) {
    if (body_.size() > 1) body_ += ',';
    body_ += JsonString(key) + ":" + std::to_string(value);
    return *this;
}

}  // namespace xpmimport
