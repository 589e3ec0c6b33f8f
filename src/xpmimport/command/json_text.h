// Building the one-line JSON objects of --json.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xpmimport {

// text as a JSON string literal, quotes included. Bytes that are not valid UTF-8 are
// written as \u00XX so the line stays valid JSON whatever the file name.
[[nodiscard]] std::string JsonString(std::string_view text);

// Appends members to a JSON object being built: JsonObject().add("a", "x").add("n", 3).text()
// gives {"a":"x","n":3}.
class JsonObject {
  public:
    JsonObject& add(std::string_view key, std::string_view value);
    JsonObject& add(std::string_view key, int64_t value);
    [[nodiscard]] std::string text() const { return body_ + "}"; }

  private:
    std::string body_ = "{";
};

}  // namespace xpmimport
