// WritePrivateProfileStringA: sets, adds or deletes one key, or deletes a section, editing
// the text so that every other byte stays (profile/storage.cpp says how it reaches the disk).
#include <mutex>
#include <new>
#include <string>
#include <string_view>

#include "profile/document.h"
#include "profile/encoding.h"
#include "profile/storage.h"
#include "winshim/winshim.h"

namespace winshim {
namespace {

constexpr std::string_view kLineBreak = "\r\n";

// One writer at a time in this process; the file lock keeps processes apart as well.
std::mutex g_writeMutex;

[[nodiscard]] bool EndsWithLineBreak(const std::string& text) {
    return !text.empty() && (text.back() == '\n' || text.back() == '\r');
}

// The new text with `insertion` placed after line `index`; a last line without a line break
// gets one first.
[[nodiscard]] std::string InsertAfterLine(const ProfileDocument& doc, size_t index,
                                          std::string_view insertion) {
    const ProfileLine& line = doc.Lines()[index];
    std::string text = doc.Text().substr(0, line.end);
    if (line.end == line.contentEnd) text += kLineBreak;
    text += insertion;
    text += std::string_view(doc.Text()).substr(line.end);
    return text;
}

[[nodiscard]] std::string SetValue(const ProfileDocument& doc, std::string_view app,
                                   std::string_view key, std::string_view value) {
    std::string entry = std::string(key) + "=" + std::string(value) + std::string(kLineBreak);
    const size_t header = doc.FindSection(app);
    if (header == ProfileDocument::kNone) {
        // A new section goes at the very end, with no blank line before it.
        std::string text = doc.Text();
        if (!text.empty() && !EndsWithLineBreak(text)) text += kLineBreak;
        text += "[" + std::string(app) + "]" + std::string(kLineBreak) + entry;
        return text;
    }
    // A key starting with ';' finds no entry (its line would be a comment): it is written anew
    // as a comment, and never replaces nor deletes one.
    const size_t found = doc.FindKey(header, key);
    if (found != ProfileDocument::kNone) {
        // Everything up to and including '=' stays, so the file's spelling of the key too.
        const ProfileLine& line = doc.Lines()[found];
        std::string text = doc.Text().substr(0, line.valueStart);
        text += value;
        text += std::string_view(doc.Text()).substr(line.contentEnd);
        return text;
    }
    // New keys follow the section's last line; comments are no lines, so trailing ones stay
    // after them.
    return InsertAfterLine(doc, doc.SectionEnd(header) - 1, entry);
}

[[nodiscard]] std::string DeleteKey(const ProfileDocument& doc, std::string_view app,
                                    std::string_view key) {
    const size_t header = doc.FindSection(app);
    if (header == ProfileDocument::kNone) return doc.Text();
    const size_t found = doc.FindKey(header, key);
    if (found == ProfileDocument::kNone) return doc.Text();
    const ProfileLine& line = doc.Lines()[found];
    return doc.Text().substr(0, line.begin) + doc.Text().substr(line.end);
}

// Removes the first section's header and its other lines; comments and blank lines, which are
// no lines, stay.
[[nodiscard]] std::string DeleteSection(const ProfileDocument& doc, std::string_view app) {
    const size_t header = doc.FindSection(app);
    if (header == ProfileDocument::kNone) return doc.Text();
    const size_t end = doc.SectionEnd(header);
    std::string text;
    size_t kept = 0;  // bytes before this offset are decided
    for (size_t i = header; i < end; ++i) {
        const ProfileLine& line = doc.Lines()[i];
        text.append(doc.Text(), kept, line.begin - kept);
        kept = line.end;
    }
    text.append(doc.Text(), kept);
    return text;
}

// The edit one call asks for, applied to the bytes of the file.
[[nodiscard]] EditOutcome Edit(const std::string& bytes, std::string_view section, LPCSTR key,
                               LPCSTR value, std::string* updated, DWORD* error) {
    DecodedText decoded = DecodeProfileBytes(bytes);
    if (decoded.text.size() > kMaxProfileTextBytes) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return EditOutcome::kFailed;
    }
    ProfileDocument doc(std::move(decoded.text));
    std::string edited;
    if (key == nullptr) {
        edited = DeleteSection(doc, section);
    } else if (value == nullptr) {
        edited = DeleteKey(doc, section, TrimSpaces(key));
    } else {
        edited = SetValue(doc, section, TrimSpaces(key), value);
    }
    if (edited == doc.Text()) return EditOutcome::kUnchanged;
    // A file this large could never be read back.
    if (edited.size() > kMaxProfileTextBytes) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return EditOutcome::kFailed;
    }
    *updated = EncodeProfileText(edited, decoded.encoding, decoded.oddTrailingByte);
    return EditOutcome::kChanged;
}

[[nodiscard]] BOOL Write(LPCSTR app, LPCSTR key, LPCSTR value, LPCSTR fileName) {
    if (app == nullptr) {
        // All three null asks to flush a cache; there is none, and Windows answers FALSE.
        if (key != nullptr || value != nullptr) SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    ProfileLocation location;
    DWORD error = NO_ERROR;
    if (!ResolveProfileLocation(fileName, &location, &error)) {
        SetLastError(error);
        return FALSE;
    }
    const std::string_view section = TrimSpaces(app);
    // Nothing to delete in a file that is not there, and nothing to create.
    const bool mayCreate = key != nullptr && value != nullptr;
    const ProfileEdit edit = [&](const std::string& bytes, std::string* updated, DWORD* editError) {
        return Edit(bytes, section, key, value, updated, editError);
    };

    std::lock_guard<std::mutex> guard(g_writeMutex);
    UpdateResult result;
    // What the cache keeps is stamped: a changed file is read anew.
    if (!UpdateProfile(location, mayCreate, edit, &result, &error)) {
        SetLastError(error);
        return FALSE;
    }
    // Windows reports the file it had to create as "not found", yet succeeds.
    if (result.created) SetLastError(ERROR_FILE_NOT_FOUND);
    return TRUE;
}

}  // namespace
}  // namespace winshim

extern "C" WINSHIM_API BOOL WritePrivateProfileStringA(LPCSTR app, LPCSTR key, LPCSTR value,
                                                       LPCSTR fileName) {
    try {
        return winshim::Write(app, key, value, fileName);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}
