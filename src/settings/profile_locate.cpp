// Finds the profile file: the name as given, then beside the module, then in the Windows
// directory.
#include <algorithm>
#include <cstring>

#include "resources/module_instance.h"
#include "output/graphics_library.h"
#include "settings/profile_setup.h"

namespace xpmfilter {
namespace {

#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// Copies text into a kPathChars buffer, cut to fit.
void CopyPath(char* out, const char* text) {
    size_t n = std::min(std::strlen(text), static_cast<size_t>(kPathChars - 1));
    std::memmove(out, text, n);
    out[n] = '\0';
}

// Appends source through the library so that dest stays within kPathChars with its NUL
// (the room the library is given counts the terminator).
void AppendBounded(char* dest, const char* source) {
    int32_t room = kPathChars - static_cast<int32_t>(std::strlen(dest));
    Gdi().StrAppendBounded(dest, source, std::max(room, 0));
}

// True when OpenFile finds the file; found receives its full path.
bool FileExists(const char* name, char* found) {
    OFSTRUCT info{};
    if (OpenFile(name, &info, OF_EXIST) == HFILE_ERROR) return false;
    info.szPathName[OFS_MAXPATHNAME - 1] = '\0';
    CopyPath(found, info.szPathName);
    return true;
}

// The module's path with its extension replaced by ".INI" (appended when the file name has
// no extension), cut to fit.
void ModuleProfileName(const char* modulePath, char* out) {
    CopyPath(out, modulePath);
    char* fileName = out;
    for (char* p = out; *p != '\0'; ++p)
        if (*p == '/' || *p == '\\') fileName = p + 1;
    char* dot = std::strrchr(fileName, '.');
    size_t stem = dot == nullptr ? std::strlen(out) : static_cast<size_t>(dot - out);
    out[stem] = '\0';
    size_t room = static_cast<size_t>(kPathChars - 1) - stem;
    std::strncat(out, ".INI", room);
}

}  // namespace

int32_t LocateProfile(char* path) {
    const bool named = path[0] != '\0';
    if (named && FileExists(path, path)) return 0;

    char modulePath[kPathChars] = {};
    DWORD length = GetModuleFileNameA(ModuleInstance(), modulePath, kPathChars);
    modulePath[std::min<DWORD>(length, kPathChars - 1)] = '\0';

    char besideModule[kPathChars] = {};
    if (named) {
        Gdi().PathGetDirectory(besideModule, modulePath);
        besideModule[kPathChars - 1] = '\0';
        AppendBounded(besideModule, path);
    } else {
        ModuleProfileName(modulePath, besideModule);
    }
    if (FileExists(besideModule, path)) return 0;

    char inWindows[kPathChars] = {};
    UINT windowsLength = GetWindowsDirectoryA(inWindows, kPathChars);
    // A Windows directory that does not fit the buffer gives no candidate at all; going on
    // with the empty buffer would look for the profile at the root.
    if (windowsLength == 0 || windowsLength >= static_cast<UINT>(kPathChars)) {
        path[0] = '\0';
        return 1;
    }
    size_t end = std::strlen(inWindows);
    if (end + 1 < static_cast<size_t>(kPathChars) &&
        (end == 0 || (inWindows[end - 1] != '/' && inWindows[end - 1] != '\\'))) {
        inWindows[end] = kPathSeparator;
        inWindows[end + 1] = '\0';
    }
    AppendBounded(inWindows, named ? path : besideModule);
    CopyPath(path, inWindows);
    OFSTRUCT info{};
    return OpenFile(path, &info, OF_EXIST) == HFILE_ERROR ? 1 : 0;
}

}  // namespace xpmfilter
