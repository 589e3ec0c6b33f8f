// Reading the header and the values line from the first bytes, by the filter's rules: the
// header is "/*", "XPM", "*/" (any letter case), each ended by exactly one whitespace byte
// (tab, line feed, carriage return or space) and at most 39 bytes long; the values line is
// the first double-quoted string after it, split at whitespace, each word cut to 39 bytes
// and read as C's atoi reads it. Each colour definition is the next quoted string: the pixel
// code's characters, then words taken as key and value pairs, as the filter takes them.
#include "xpmimport/import/input_prologue.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ascii_text.h"
#include "xpmimport/import/fd_reader.h"
#include "xpmimport/output/file_system.h"
#include "xpmimport/output/interrupt.h"

namespace xpmimport {
namespace {

constexpr size_t kWordBytes = 39;
constexpr char kQuote = '"';

[[nodiscard]] bool IsWhitespace(char byte) {
    return byte == '\t' || byte == '\n' || byte == '\r' || byte == ' ';
}

[[nodiscard]] int32_t AtoiValue(const std::string& word) {
    return static_cast<int32_t>(
        static_cast<uint32_t>(static_cast<uint64_t>(std::strtoll(word.c_str(), nullptr, 10))));
}

enum class Header { kMatches, kDiffers, kNeedMore };

// Checks the header at the start of bytes; *end is set past it when it matches.
[[nodiscard]] Header CheckHeader(std::string_view bytes, bool wholeInput, size_t* end) {
    static constexpr std::string_view kWords[3] = {"/*", "XPM", "*/"};
    size_t at = 0;
    for (std::string_view want : kWords) {
        size_t start = at;
        while (at < bytes.size() && at - start <= kWordBytes && !IsWhitespace(bytes[at])) ++at;
        if (at - start > kWordBytes) return Header::kDiffers;
        if (at == bytes.size()) return wholeInput ? Header::kDiffers : Header::kNeedMore;
        std::string_view word = bytes.substr(start, at - start);
        word = word.substr(0, word.find('\0'));  // the filter compares the words as C strings
        if (!ascii::EqualIgnoringCase(word, want)) return Header::kDiffers;
        ++at;  // the one whitespace byte
    }
    *end = at;
    return Header::kMatches;
}

[[nodiscard]] InputKind KindOf(std::string_view bytes, Header header) {
    if (header == Header::kMatches) return InputKind::kXpm;
    if (bytes.empty()) return InputKind::kEmpty;
    if (bytes.substr(0, 4) == "\x89PNG") return InputKind::kPng;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return InputKind::kUtf8Bom;
    if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")
        return InputKind::kUtf16;
    if (bytes.substr(0, 6) == "! XPM2") return InputKind::kXpm2;
    return InputKind::kOther;
}

// Reads the values line from bytes at `at`; false when it has not ended within bytes. *end is
// set past its closing quote.
bool ReadValues(std::string_view bytes, size_t at, InputPrologue* prologue, size_t* end) {
    size_t open = bytes.find(kQuote, at);
    std::string words[4];
    size_t count = 0;
    bool ended = false;
    if (open != std::string_view::npos) {
        bool inGap = true;
        for (size_t i = open + 1; i < bytes.size(); ++i) {
            char byte = bytes[i];
            if (byte == kQuote) {
                ended = true;
                *end = i + 1;
                break;
            }
            if (!IsWhitespace(byte)) {
                if (count < 4 && words[count].size() < kWordBytes) words[count] += byte;
                inGap = false;
            } else {
                if (!inGap) ++count;
                inGap = true;
            }
        }
    }
    prologue->width = AtoiValue(words[0]);
    prologue->height = AtoiValue(words[1]);
    prologue->colors = AtoiValue(words[2]);
    prologue->charsPerPixel = AtoiValue(words[3]);
    return ended;
}

[[nodiscard]] bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (ascii::Lower(c) >= 'a' && ascii::Lower(c) <= 'f');
}

// Takes note of one definition's keys (the text between its quotes).
void NoteDefinition(std::string_view text, InputPrologue* prologue) {
    std::vector<std::string_view> words;
    const size_t codeBytes = static_cast<size_t>(std::clamp(prologue->charsPerPixel, 0, 39));
    for (size_t at = std::min(codeBytes, text.size()); at < text.size();) {
        while (at < text.size() && IsWhitespace(text[at])) ++at;
        const size_t start = at;
        while (at < text.size() && !IsWhitespace(text[at])) ++at;
        if (at > start) words.push_back(text.substr(start, at - start));
    }
    for (size_t key = 0; key + 1 < words.size(); key += 2) {
        if (!ascii::EqualIgnoringCase(words[key], "c")) {
            std::string name(words[key]);
            for (char& c : name) c = ascii::Lower(c);
            const bool known = name == "g" || name == "g4" || name == "m" || name == "s";
            std::string& keys = prologue->otherKeys;
            if (known && (", " + keys + ", ").find(", " + name + ", ") == std::string::npos)
                keys += (keys.empty() ? "" : ", ") + name;
            continue;
        }
        prologue->colorKey = true;
        const std::string_view value = words[key + 1];
        const size_t digits = value.size() - 1;
        const bool hexOnly = std::all_of(value.begin() + 1, value.end(), IsHexDigit);
        if (value[0] == '#' && prologue->oddHexColor.empty() &&
            !(hexOnly && (digits == 6 || digits == 9 || digits == 12)))
            prologue->oddHexColor = value;
        return;
    }
}

// Reads the colour definitions from bytes at `at` (noting their keys when `note`); false when
// fewer than declared ended within bytes.
bool ReadDefinitions(std::string_view bytes, size_t at, InputPrologue* prologue, bool note) {
    while (prologue->definitionsRead < prologue->colors) {
        const size_t open = bytes.find(kQuote, at);
        const size_t close = open == std::string_view::npos ? open : bytes.find(kQuote, open + 1);
        if (close == std::string_view::npos) return false;
        if (note) NoteDefinition(bytes.substr(open + 1, close - open - 1), prologue);
        ++prologue->definitionsRead;
        at = close + 1;
    }
    return true;
}

}  // namespace

InputPrologue ReadPrologue(std::string_view bytes, bool wholeInput) {
    InputPrologue prologue;
    size_t end = 0;
    Header header = CheckHeader(bytes, wholeInput, &end);
    prologue.kind = KindOf(bytes, header);
    if (header != Header::kMatches) return prologue;
    const bool valuesEnded = ReadValues(bytes, end, &prologue, &end);
    prologue.valuesRead = valuesEnded || wholeInput;
    if (valuesEnded) (void)ReadDefinitions(bytes, end, &prologue, true);
    return prologue;
}

bool PrologueDecided(std::string_view bytes) {
    size_t end = 0;
    Header header = CheckHeader(bytes, false, &end);
    if (header != Header::kMatches) return header == Header::kDiffers;
    InputPrologue prologue;
    return ReadValues(bytes, end, &prologue, &end) && ReadDefinitions(bytes, end, &prologue, false);
}

namespace {

// Reads from fd until the prologue is decided, the limit is reached or the input ends.
// *ended: the input ended within bytes.
[[nodiscard]] bool ReadAhead(int fd, std::string* bytes, bool* ended, std::string* error) {
    constexpr size_t kChunk = 65536;
    *ended = false;
    while (bytes->size() < kPrologueLimit && !PrologueDecided(*bytes)) {
        size_t old = bytes->size();
        bytes->resize(old + kChunk);
        const int64_t got = ReadNext(fd, bytes->data() + old, kChunk);
        bytes->resize(old + static_cast<size_t>(got > 0 ? got : 0));
        if (got == 0) {
            *ended = true;
            return true;
        }
        if (got < 0) {
            if (errno == EINTR && !InterruptRequested()) continue;
            *error = std::strerror(errno);
            return false;
        }
    }
    return true;
}

}  // namespace

bool ReadFilePrologue(const std::string& path, InputPrologue* prologue, std::string* error) {
    int fd = OpenForReading(path.c_str());
    if (fd < 0) {
        const int openError = errno;
        // A directory that cannot be opened is still a directory.
        if (KindOfFile(path.c_str()) == FileKind::kDirectory) {
            *prologue = InputPrologue{};
            prologue->kind = InputKind::kUnread;
            prologue->directory = true;
            return true;
        }
        *error = std::strerror(openError);
        return false;
    }
    const FileKind kind = KindOfOpenFile(fd);
    if (kind != FileKind::kUnknown && kind != FileKind::kRegular) {
        (void)CloseFile(fd);
        *prologue = InputPrologue{};
        prologue->kind = InputKind::kUnread;
        prologue->directory = kind == FileKind::kDirectory;
        return true;
    }
    std::string bytes;
    bool ended = false;
    bool read = ReadAhead(fd, &bytes, &ended, error);
    (void)CloseFile(fd);  // read only: nothing is lost if the close fails
    if (read) *prologue = ReadPrologue(bytes, ended);
    return read;
}

bool ReadStandardInputPrologue(InputPrologue* prologue, std::string* error) {
    std::string bytes;
    bool ended = false;
    bool read = ReadAhead(kStandardInputFd, &bytes, &ended, error);
    *prologue = ReadPrologue(bytes, ended);
    UnreadInput(kStandardInputFd, std::move(bytes));
    return read;
}

uint64_t DeclaredPixels(const InputPrologue& prologue) {
    auto magnitude = [](int32_t value) {
        return static_cast<uint64_t>(value < 0 ? -int64_t{value} : int64_t{value});
    };
    return magnitude(prologue.width) * magnitude(prologue.height);
}

}  // namespace xpmimport
