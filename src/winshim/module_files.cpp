// Module handles are the base addresses of loaded objects: GetModuleFileNameA names the file
// behind one, WinshimModuleFromAddress finds the one that holds an address.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "winshim/winshim.h"

namespace winshim {
namespace {

constexpr DWORD kErrorModNotFound = 126;  // ERROR_MOD_NOT_FOUND

[[nodiscard]] bool ExecutablePath(std::string* path) {
    char buffer[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return false;
    path->assign(buffer, static_cast<size_t>(length));
    return true;
}

// The full path of the object loaded at `base`; false when no object starts there.
[[nodiscard]] bool ModulePath(const void* base, std::string* path) {
    if (base == nullptr) return ExecutablePath(path);
    Dl_info info{};
    struct link_map* map = nullptr;
    if (::dladdr1(base, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
        info.dli_fbase != base) {
        return false;
    }
    // The program itself has an empty name in the loader's list.
    if (map == nullptr || map->l_name == nullptr || map->l_name[0] == '\0') {
        return ExecutablePath(path);
    }
    if (map->l_name[0] == '/') {
        path->assign(map->l_name);
        return true;
    }
    char resolved[PATH_MAX];
    path->assign(::realpath(map->l_name, resolved) != nullptr ? resolved : map->l_name);
    return true;
}

}  // namespace
}  // namespace winshim

// Returns the length without the NUL. When the path does not fit, it is cut to size - 1
// characters plus a NUL and the result is size with ERROR_INSUFFICIENT_BUFFER. An unknown
// module gives 0 and leaves the buffer untouched.
extern "C" WINSHIM_API DWORD GetModuleFileNameA(HMODULE module, LPSTR out, DWORD size) {
    std::string path;
    bool found = false;
    try {
        found = winshim::ModulePath(module, &path);
    } catch (...) {
        found = false;
    }
    if (!found) {
        SetLastError(winshim::kErrorModNotFound);
        return 0;
    }
    if (out == nullptr || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= size) {
        std::memcpy(out, path.data(), size - 1);
        out[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(out, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

extern "C" WINSHIM_API HMODULE WinshimModuleFromAddress(const void* address) {
    if (address == nullptr) return nullptr;
    Dl_info info{};
    if (::dladdr(address, &info) == 0) return nullptr;
    return info.dli_fbase;
}
