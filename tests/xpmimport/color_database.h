// The X11 colour database (rgb.txt) as the tests' independent source of colour names.
// libXpm keeps colour strings as written; the tests resolve names with this.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xpmimport_test {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

struct NamedRgb {
    std::string name;
    Rgb rgb;
};

class ColorDatabase {
  public:
    // /usr/share/X11/rgb.txt, read once. Empty when the file is missing.
    static const ColorDatabase& System();

    [[nodiscard]] bool empty() const { return entries_.empty(); }
    [[nodiscard]] const std::vector<NamedRgb>& entries() const { return entries_; }
    // Exact name, without regard to ASCII case.
    [[nodiscard]] std::optional<Rgb> lookup(std::string_view name) const;

  private:
    std::vector<NamedRgb> entries_;
};

// "#RRGGBB" -> its colour; nullopt for any other form.
[[nodiscard]] std::optional<Rgb> ParseHex6(std::string_view text);

}  // namespace xpmimport_test
