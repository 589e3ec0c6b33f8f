// Module handles are the base addresses of loaded objects: GetModuleFileNameA names the file
// behind one, WinshimModuleFromAddress finds the one that holds an address.
#include <dlfcn.h>
#include <link.h>

#include "module_files.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

namespace winshim {
namespace {

constexpr DWORD kErrorModNotFound = 126;  // ERROR_MOD_NOT_FOUND

// The loader keeps a relative name as the host gave it, which means something else once the
// current directory changes; so it is resolved once and kept here, with the loader's name
// so that another object loaded later at the same address is not given the old path.
struct ResolvedName {
    std::string loaderName;
    std::string fullPath;
};

struct ResolvedNames {
    std::mutex mutex;
    std::map<const void*, ResolvedName> byBase;
};

[[nodiscard]] ResolvedNames& TheResolvedNames() {
    static ResolvedNames* names = new ResolvedNames;  // never destroyed: used at unload
    return *names;
}

// The full path for the loader's relative name of the object at `base`, resolved now unless
// it was resolved before.
[[nodiscard]] std::string ResolveRelativeName(const void* base, const char* loaderName) {
    ResolvedNames& names = TheResolvedNames();
    std::lock_guard<std::mutex> guard(names.mutex);
    auto found = names.byBase.find(base);
    if (found != names.byBase.end() && found->second.loaderName == loaderName) {
        return found->second.fullPath;
    }
    char resolved[PATH_MAX];
    if (::realpath(loaderName, resolved) == nullptr) return loaderName;
    names.byBase[base] = ResolvedName{loaderName, resolved};
    return resolved;
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
    if (map == nullptr || map->l_name[0] == '\0') {
        return ExecutablePath(path);
    }
    if (map->l_name[0] == '/') {
        path->assign(map->l_name);
        return true;
    }
    path->assign(ResolveRelativeName(base, map->l_name));
    return true;
}

}  // namespace

bool ExecutablePath(std::string* path) {
    std::error_code error;
    *path = std::filesystem::read_symlink("/proc/self/exe", error).string();
    return !error;
}

void RememberModulePath(HMODULE module) {
    std::string ignored;
    try {
        (void)ModulePath(module, &ignored);
    } catch (...) {
        // Without memory the name is resolved on the next query instead.
    }
}

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
        // Without memory the module counts as unknown.
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
