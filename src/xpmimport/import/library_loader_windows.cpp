// Modules through LoadLibraryExA; their version resource read as any Windows program reads it.
#include "xpmimport/import/library_loader.h"

#include <vector>

#include "vrgdi32/vrgdi32.h"
#include "winshim/winshim.h"

namespace xpmimport {

void* OpenLibrary(const std::string& path, std::string* error) {
    // A bare name would send the loader searching; this is a path. The module's own imports
    // (vrgdi32.dll) are looked for beside it, not beside the caller.
    const std::string where = path.find_first_of("/\\") == std::string::npos ? ".\\" + path : path;
    HMODULE library = ::LoadLibraryExA(where.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr) {
        const DWORD code = ::GetLastError();
        char text[256] = {};
        const DWORD length =
            ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof text, nullptr);
        std::string words(text, length);
        while (!words.empty() &&
               (words.back() == '\n' || words.back() == '\r' || words.back() == '.'))
            words.pop_back();
        *error =
            (words.empty() ? "cannot be loaded" : words) + " (error " + std::to_string(code) + ")";
    }
    return library;
}

void* FindExportAddress(void* library, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void* FindReadFailureExport(void*) {
    // The library exports by ordinal only, and the module does not pass it on.
    HMODULE graphics = ::GetModuleHandleA("vrgdi32.dll");
    if (graphics == nullptr) return nullptr;
    return reinterpret_cast<void*>(
        ::GetProcAddress(graphics, MAKEINTRESOURCEA(kOrdStreamReadFailure)));
}

void CloseLibrary(void* library) {
    ::FreeLibrary(static_cast<HMODULE>(library));
}

bool ReadModuleVersion(void* library, const void*, std::string* definitions,
                       std::array<uint16_t, 4>* fileVersion) {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(static_cast<HMODULE>(library), path, sizeof path);
    if (length == 0 || length >= sizeof path) return false;
    DWORD ignored = 0;
    std::vector<char> info(::GetFileVersionInfoSizeA(path, &ignored));
    if (info.empty() ||
        !::GetFileVersionInfoA(path, 0, static_cast<DWORD>(info.size()), info.data()))
        return false;
    char* text = nullptr;
    UINT textLength = 0;
    if (!::VerQueryValueA(info.data(), "\\StringFileInfo\\040904E4\\FilterDefinitions",
                          reinterpret_cast<void**>(&text), &textLength) ||
        text == nullptr || textLength == 0) {
        return false;
    }
    *definitions = text;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedBytes = 0;
    if (::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedBytes) &&
        fixed != nullptr && fixedBytes >= sizeof *fixed) {
        *fileVersion = {static_cast<uint16_t>(fixed->dwFileVersionMS >> 16),
                        static_cast<uint16_t>(fixed->dwFileVersionMS),
                        static_cast<uint16_t>(fixed->dwFileVersionLS >> 16),
                        static_cast<uint16_t>(fixed->dwFileVersionLS)};
    }
    return true;
}

}  // namespace xpmimport
