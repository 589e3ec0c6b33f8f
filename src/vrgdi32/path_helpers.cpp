// The two path operations: the directory part of a path, and a bounded append that takes
// only the file name from an absolute path. Both '/' and '\' separate path components,
// since paths from Windows-shaped callers reach us too.
#include <cstring>

#include "vrgdi32/vrgdi32.h"

namespace {

constexpr std::size_t kPathBytes = 260;

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// The position just after the last separator (0 when there is none).
std::size_t NameStart(const char* path) {
    std::size_t start = 0;
    for (std::size_t i = 0; path[i] != '\0'; ++i) {
        if (IsSeparator(path[i])) start = i + 1;
    }
    return start;
}

bool IsAbsolute(const char* path) {
    if (IsSeparator(path[0])) return true;
    const bool driveLetter =
        (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
    return driveLetter && path[1] == ':' && IsSeparator(path[2]);
}

}  // namespace

extern "C" {

VRGDI32_API void PathGetDirectory(char* out, const char* path) {
    if (out == nullptr) return;
    out[0] = '\0';
    if (path == nullptr) return;
    const std::size_t length = NameStart(path);
    // A directory that does not fit is no directory: a cut one would name another place.
    if (length == 0 || length >= kPathBytes) return;
    std::memcpy(out, path, length);
    out[length] = '\0';
}

VRGDI32_API void StrAppendBounded(char* dest, const char* source, int32_t roomLeft) {
    if (dest == nullptr || source == nullptr || roomLeft <= 0) return;
    const char* piece = IsAbsolute(source) ? source + NameStart(source) : source;
    char* at = dest + std::strlen(dest);
    std::size_t copied = 0;
    while (piece[copied] != '\0' && copied + 1 < static_cast<std::size_t>(roomLeft)) {
        at[copied] = piece[copied];
        ++copied;
    }
    at[copied] = '\0';
}

}  // extern "C"
