// The text of a profile (INI) file split into classified lines, read the way Windows reads
// it. Lines keep their byte positions, so edits can change one line and keep all others.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ascii_text.h"

namespace winshim {

enum class LineKind : uint8_t {
    kHeader,  // "[name]"; the name runs to the first ']' or to the end of the line
    kEntry,   // "key=value"
    kBare,    // text without '=': not a key, never enumerated
};

// Offsets are 32-bit: profile texts are far smaller than 4 GiB (see kMaxProfileTextBytes).
struct ProfileLine {
    uint32_t begin = 0;       // first byte of the line
    uint32_t contentEnd = 0;  // first byte of its line break (or end of text)
    uint32_t end = 0;         // first byte after its line break
    uint32_t nameBegin = 0;   // header name or key, trimmed
    uint32_t nameLength = 0;
    uint32_t valueStart = 0;  // first byte after '=' (entries)
    uint32_t valueBegin = 0;  // value trimmed of blanks, quotes still on
    uint32_t valueLength = 0;
    LineKind kind = LineKind::kBare;
};

// The largest profile text parsed. Real profiles are a few kilobytes; the limit bounds the
// memory a hostile file can make the parser use.
inline constexpr size_t kMaxProfileTextBytes = size_t{4} << 20;

class ProfileDocument {
  public:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    // Splits text (at most kMaxProfileTextBytes) at CRLF, LF or a lone CR and classifies
    // every line. Blank lines and comments (first non-blank character ';') are not kept as
    // lines: nothing reads them, and edits keep their bytes where they are.
    explicit ProfileDocument(std::string text);

    [[nodiscard]] const std::string& Text() const { return text_; }
    [[nodiscard]] const std::vector<ProfileLine>& Lines() const { return lines_; }
    [[nodiscard]] std::string_view NameOf(const ProfileLine& line) const;
    // The value of an entry as it is returned: trimmed, and one enclosing pair of matching
    // quotes (' or ") removed.
    [[nodiscard]] std::string_view ValueOf(const ProfileLine& line) const;

    // Index of the header line of the first section called `name` (ASCII case-insensitive),
    // or kNone. Lines before the first header belong to no section.
    [[nodiscard]] size_t FindSection(std::string_view name) const;
    // Index one past the last line of the section whose header is at `header`.
    [[nodiscard]] size_t SectionEnd(size_t header) const;
    // Index of the first entry called `key` in that section, or kNone. Comments never match.
    [[nodiscard]] size_t FindKey(size_t header, std::string_view key) const;

  private:
    // Fills kind, name and value; false for a blank line or a comment.
    [[nodiscard]] bool ClassifyLine(ProfileLine& line) const;

    std::string text_;
    std::vector<ProfileLine> lines_;
};

// Arguments naming a section or key lose leading and trailing spaces (only 0x20).
[[nodiscard]] std::string_view TrimSpaces(std::string_view text);

}  // namespace winshim
