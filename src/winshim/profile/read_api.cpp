// GetPrivateProfileStringA and GetPrivateProfileIntA: values and defaults, as the file on the
// disk holds them at the time of the call.
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "profile/cache.h"
#include "profile/document.h"
#include "profile/storage.h"
#include "winshim/winshim.h"

namespace winshim {
namespace {

// Copies text cut to size - 1 characters plus a NUL; returns the characters copied. A cut
// sets ERROR_MORE_DATA. size must be at least 1.
[[nodiscard]] DWORD CopyTruncated(std::string_view text, LPSTR out, DWORD size) {
    const size_t room = size - 1;
    const size_t count = text.size() < room ? text.size() : room;
    std::memcpy(out, text.data(), count);
    out[count] = '\0';
    if (text.size() > room) SetLastError(ERROR_MORE_DATA);
    return static_cast<DWORD>(count);
}

// The parsed profile; null with the last error set when it cannot be read.
[[nodiscard]] std::shared_ptr<const ProfileDocument> ReadProfile(LPCSTR fileName) {
    ProfileLocation location;
    DWORD error = NO_ERROR;
    if (!ResolveProfileLocation(fileName, &location, &error)) {
        SetLastError(error);
        return nullptr;
    }
    LoadOutcome outcome = LoadOutcome::kFailed;
    std::shared_ptr<const ProfileDocument> doc =
        LoadProfileDocument(location.path, &outcome, &error);
    if (outcome != LoadOutcome::kLoaded) SetLastError(error);
    return doc;
}

// The stored value of app/key, quotes removed; nullopt when the key is not there.
[[nodiscard]] std::optional<std::string> LookUp(const ProfileDocument& doc, LPCSTR app,
                                                LPCSTR key) {
    size_t header = doc.FindSection(TrimSpaces(app));
    if (header == ProfileDocument::kNone) return std::nullopt;
    size_t line = doc.FindKey(header, TrimSpaces(key));
    if (line == ProfileDocument::kNone) return std::nullopt;
    return std::string(doc.ValueOf(doc.Lines()[line]));
}

[[nodiscard]] DWORD GetString(LPCSTR app, LPCSTR key, LPCSTR defaultValue, LPSTR out, DWORD size,
                              LPCSTR fileName) {
    if (out == nullptr || size == 0) return 0;
    // The default loses trailing spaces (only spaces: tabs stay, and so do leading spaces).
    std::string_view fallback = defaultValue == nullptr ? "" : defaultValue;
    while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);

    // Listing section or key names is not part of this subset.
    if (app == nullptr || key == nullptr) {
        out[0] = '\0';
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::shared_ptr<const ProfileDocument> doc = ReadProfile(fileName);
    if (!doc) return CopyTruncated(fallback, out, size);
    std::optional<std::string> value = LookUp(*doc, app, key);
    return CopyTruncated(value ? std::string_view(*value) : fallback, out, size);
}

// Optional sign, then decimal digits up to the first other character, wrapping modulo 2^32.
[[nodiscard]] UINT ParseProfileInt(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    return negative ? 0u - value : value;
}

[[nodiscard]] UINT GetInt(LPCSTR app, LPCSTR key, INT defaultValue, LPCSTR fileName) {
    const UINT fallback = static_cast<UINT>(defaultValue);
    if (app == nullptr || key == nullptr) return fallback;
    std::shared_ptr<const ProfileDocument> doc = ReadProfile(fileName);
    if (!doc) return fallback;
    std::optional<std::string> value = LookUp(*doc, app, key);
    if (!value || value->empty()) return fallback;
    return ParseProfileInt(*value);
}

}  // namespace
}  // namespace winshim

extern "C" WINSHIM_API DWORD GetPrivateProfileStringA(LPCSTR app, LPCSTR key, LPCSTR defaultValue,
                                                      LPSTR out, DWORD size, LPCSTR fileName) {
    try {
        return winshim::GetString(app, key, defaultValue, out, size, fileName);
    } catch (const std::bad_alloc&) {
        if (out != nullptr && size != 0) out[0] = '\0';
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

extern "C" WINSHIM_API UINT GetPrivateProfileIntA(LPCSTR app, LPCSTR key, INT defaultValue,
                                                  LPCSTR fileName) {
    try {
        return winshim::GetInt(app, key, defaultValue, fileName);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return static_cast<UINT>(defaultValue);
    }
}
