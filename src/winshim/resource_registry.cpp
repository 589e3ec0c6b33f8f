// String tables and version information that modules register for their instance handle:
// LoadStringA, WinshimQueryVersionString, WinshimQueryFileVersion.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string_view>

#include "ascii_text.h"
#include "module_files.h"
#include "winshim/winshim.h"

namespace winshim {
namespace {

constexpr DWORD kErrorResourceNameNotFound = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND

struct Registry {
    std::mutex mutex;
    // The records are copied; the tables they point at are the modules' static data.
    std::map<HMODULE, WinshimModuleResources> modules;
};

[[nodiscard]] Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

// Copies text cut to size - 1 bytes plus a NUL; returns the bytes copied. size >= 1.
[[nodiscard]] UINT CopyCut(std::string_view text, LPSTR out, size_t size) {
    const size_t count = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), count);
    out[count] = '\0';
    return static_cast<UINT>(count);
}

}  // namespace
}  // namespace winshim

using winshim::TheRegistry;

extern "C" WINSHIM_API BOOL
WinshimRegisterModuleResources(HMODULE module, const WinshimModuleResources* resources) {
    if (module == nullptr || resources == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A module registers while it loads, while the host's directory is still the one a
    // relative load path was given against.
    winshim::RememberModulePath(module);
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.mutex);
    try {
        registry.modules[module] = *resources;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

extern "C" WINSHIM_API void WinshimUnregisterModuleResources(HMODULE module) {
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.mutex);
    registry.modules.erase(module);
}

// Only the low word of the id counts, as in Windows' string blocks. Returns the bytes copied
// (always NUL-terminated); 0 with an empty buffer for a missing or empty string; -1 for a
// zero-size buffer, which is never written.
extern "C" WINSHIM_API int LoadStringA(HINSTANCE instance, UINT id, LPSTR out, int size) {
    if (size == 0) return -1;
    if (out == nullptr || size < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    out[0] = '\0';
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.mutex);
    auto module = registry.modules.find(instance);
    if (module == registry.modules.end()) {
        SetLastError(winshim::kErrorResourceNameNotFound);
        return 0;
    }
    const WinshimModuleResources& resources = module->second;
    const UINT wanted = id & 0xFFFFu;
    for (size_t i = 0; i < resources.stringCount; ++i) {
        const WinshimStringResource& entry = resources.strings[i];
        if ((entry.id & 0xFFFFu) != wanted || entry.text == nullptr) continue;
        if (entry.text[0] == '\0') break;
        return static_cast<int>(winshim::CopyCut(entry.text, out, static_cast<size_t>(size)));
    }
    // With room for the NUL only, Windows leaves the last error alone.
    if (size > 1) SetLastError(winshim::kErrorResourceNameNotFound);
    return 0;
}

extern "C" WINSHIM_API UINT WinshimQueryVersionString(HMODULE module, LPCSTR key, LPSTR out,
                                                      UINT size) {
    if (key == nullptr || out == nullptr || size == 0) return 0;
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.mutex);
    auto found = registry.modules.find(module);
    if (found == registry.modules.end()) return 0;
    const WinshimModuleResources& resources = found->second;
    for (size_t i = 0; i < resources.versionStringCount; ++i) {
        const WinshimVersionString& entry = resources.versionStrings[i];
        if (entry.key == nullptr || entry.value == nullptr) continue;
        if (!ascii::EqualIgnoringCase(entry.key, key)) continue;
        return winshim::CopyCut(entry.value, out, size);
    }
    return 0;
}

extern "C" WINSHIM_API BOOL WinshimQueryFileVersion(HMODULE module, WORD version[4]) {
    if (version == nullptr) return FALSE;
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.mutex);
    auto found = registry.modules.find(module);
    if (found == registry.modules.end()) return FALSE;
    std::memcpy(version, found->second.fileVersion, sizeof found->second.fileVersion);
    return TRUE;
}
