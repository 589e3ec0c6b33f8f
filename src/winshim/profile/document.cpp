// Line splitting and classification of profile text, and section and key lookup.
#include "profile/document.h"

#include <algorithm>
#include <utility>

namespace winshim {
namespace {

[[nodiscard]] bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v';
}

// Narrows [*begin, *end) past blanks at both ends.
void TrimBlanks(const std::string& text, uint32_t* begin, uint32_t* end) {
    while (*begin < *end && IsBlank(text[*begin])) ++*begin;
    while (*end > *begin && IsBlank(text[*end - 1])) --*end;
}

}  // namespace

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

ProfileDocument::ProfileDocument(std::string text) : text_(std::move(text)) {
    // Callers refuse larger texts; this only keeps the offsets in range if one slips through.
    uint32_t pos = 0;
    const auto size = static_cast<uint32_t>(std::min(text_.size(), kMaxProfileTextBytes));
    while (pos < size) {
        ProfileLine line;
        line.begin = pos;
        while (pos < size && text_[pos] != '\r' && text_[pos] != '\n') ++pos;
        line.contentEnd = pos;
        // A line ends at CRLF, LF or a lone CR. At the end, text_[size] is the string's own
        // terminating NUL, which is no break.
        if (text_[pos] == '\r') ++pos;
        if (text_[pos] == '\n') ++pos;
        line.end = pos;
        if (ClassifyLine(line)) lines_.push_back(line);
    }
}

bool ProfileDocument::ClassifyLine(ProfileLine& line) const {
    uint32_t p = line.begin;
    const uint32_t e = line.contentEnd;
    while (p < e && IsBlank(text_[p])) ++p;
    if (p == e || text_[p] == ';') return false;
    if (text_[p] == '[') {
        uint32_t nameBegin = p + 1;
        uint32_t nameEnd = nameBegin;
        while (nameEnd < e && text_[nameEnd] != ']') ++nameEnd;
        TrimBlanks(text_, &nameBegin, &nameEnd);
        line.kind = LineKind::kHeader;
        line.nameBegin = nameBegin;
        line.nameLength = nameEnd - nameBegin;
        return true;
    }
    uint32_t equals = p;
    while (equals < e && text_[equals] != '=') ++equals;
    uint32_t nameBegin = p;
    uint32_t nameEnd = equals;
    TrimBlanks(text_, &nameBegin, &nameEnd);
    line.nameBegin = nameBegin;
    line.nameLength = nameEnd - nameBegin;
    if (equals == e) return true;  // kBare, the kind a line starts with
    uint32_t valueBegin = equals + 1;
    uint32_t valueEnd = e;
    TrimBlanks(text_, &valueBegin, &valueEnd);
    line.kind = LineKind::kEntry;
    line.valueStart = equals + 1;
    line.valueBegin = valueBegin;
    line.valueLength = valueEnd - valueBegin;
    return true;
}

std::string_view ProfileDocument::NameOf(const ProfileLine& line) const {
    return std::string_view(text_).substr(line.nameBegin, line.nameLength);
}

std::string_view ProfileDocument::ValueOf(const ProfileLine& line) const {
    std::string_view value = std::string_view(text_).substr(line.valueBegin, line.valueLength);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

size_t ProfileDocument::FindSection(std::string_view name) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == LineKind::kHeader &&
            ascii::EqualIgnoringCase(NameOf(lines_[i]), name)) {
            return i;
        }
    }
    return kNone;
}

size_t ProfileDocument::SectionEnd(size_t header) const {
    size_t i = header + 1;
    while (i < lines_.size() && lines_[i].kind != LineKind::kHeader) ++i;
    return i;
}

size_t ProfileDocument::FindKey(size_t header, std::string_view key) const {
    const size_t end = SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i) {
        if (lines_[i].kind == LineKind::kEntry &&
            ascii::EqualIgnoringCase(NameOf(lines_[i]), key)) {
            return i;
        }
    }
    return kNone;
}

}  // namespace winshim
