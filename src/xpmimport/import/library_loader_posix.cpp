// Modules through dlopen; their version resource through libwinshim.
#include "xpmimport/import/library_loader.h"

#include <dlfcn.h>

#include "winshim/winshim.h"

namespace xpmimport {

void* OpenLibrary(const std::string& path, std::string* error) {
    // A name without a slash would send dlopen searching the library path; this is a path.
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        *error = why != nullptr ? why : "cannot be loaded";
    }
    return library;
}

void* FindExportAddress(void* library, const char* name) {
    return dlsym(library, name);
}

void* FindReadFailureExport(void* library) {
    return dlsym(library, "StreamReadFailure");  // found among the module's dependencies
}

void CloseLibrary(void* library) {
    dlclose(library);
}

bool ReadModuleVersion(void*, const void* code, std::string* definitions,
                       std::array<uint16_t, 4>* fileVersion) {
    // The module registered its version resource with the process's one winshim when it
    // loaded; its instance handle is the base address of the object holding its code.
    HMODULE instance = WinshimModuleFromAddress(code);
    char text[256] = {};
    if (instance == nullptr ||
        WinshimQueryVersionString(instance, "FilterDefinitions", text, sizeof text) == 0) {
        return false;
    }
    *definitions = text;
    WORD version[4] = {};
    if (WinshimQueryFileVersion(instance, version)) {
        for (int i = 0; i < 4; ++i) (*fileVersion)[i] = version[i];
    }
    return true;
}

}  // namespace xpmimport
