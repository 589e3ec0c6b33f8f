// What the first bytes of an input say about it, read the way the filter reads them: which
// kind of file it is (so a refusal can name the reason), the values line (so the size limit
// can be checked before anything is written, and a failure explained) and the colour
// definitions (so the user learns of colours the filter does not keep).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace xpmimport {

enum class InputKind {
    kXpm,      // begins with the XPM header the filter accepts
    kEmpty,    // no bytes at all
    kPng,      // the PNG signature
    kUtf8Bom,  // a UTF-8 byte-order mark
    kUtf16,    // a UTF-16 byte-order mark (either byte order)
    kXpm2,     // "! XPM2", the older text format
    kOther,    // anything else
    kUnread,   // not looked at: a named pipe or device, which cannot be read twice
};

struct InputPrologue {
    InputKind kind = InputKind::kOther;
    // The values line, when kind is kXpm and the line was read (it ended within the bytes
    // looked at, or the input ended there).
    bool valuesRead = false;
    int32_t width = 0;
    int32_t height = 0;
    int32_t colors = 0;
    int32_t charsPerPixel = 0;
    // The path names a directory (then kind is kUnread).
    bool directory = false;
    // The colour definitions after the values line, as far as the bytes looked at hold them:
    // how many were read, whether one has a "c" key (the filter takes colours from that key
    // alone), the other keys they use ("g, m", first seen first), and the first "#" colour
    // that is not 6, 9 or 12 hex digits (the filter reads it by the six-digit rule, as X
    // does not: "#abc").
    int32_t definitionsRead = 0;
    bool colorKey = false;
    std::string otherKeys;
    std::string oddHexColor;
};

// The most that is read ahead to find the values line and the colour definitions.
inline constexpr size_t kPrologueLimit = size_t{1} << 20;

// Reads the prologue from the first bytes of an input. wholeInput: bytes is the whole input
// (a values line cut short by the end is read as far as it goes, as the filter does).
[[nodiscard]] InputPrologue ReadPrologue(std::string_view bytes, bool wholeInput);

// True when bytes already decide the prologue: the kind is known to be other than XPM, or
// the values line and the colour definitions it declares have ended.
[[nodiscard]] bool PrologueDecided(std::string_view bytes);

// Reads the first bytes of a file (up to kPrologueLimit, fewer once decided) and reads its
// prologue. A path that is not a regular file (a named pipe, /dev/stdin) is left unread:
// the filter opens it again and must find every byte there; a directory is reported as
// one. False with *error set to the system's words when the file cannot be opened or read.
[[nodiscard]] bool ReadFilePrologue(const std::string& path, InputPrologue* prologue,
                                    std::string* error);

// The same for standard input: the bytes read are handed back to standard input's read
// routine (UnreadInput), so the import still sees the whole input.
[[nodiscard]] bool ReadStandardInputPrologue(InputPrologue* prologue, std::string* error);

// Pixels of the declared size (width times height, each taken as its magnitude).
[[nodiscard]] uint64_t DeclaredPixels(const InputPrologue& prologue);

}  // namespace xpmimport
