// Loading and checking the filter module.
#include "xpmimport/filter_module.h"

#include <dlfcn.h>

#include <cstdio>

namespace xpmimport {
namespace {

template <typename Function>
[[nodiscard]] bool FindExport(void* library, const char* name, Function* out, std::string* error) {
    void* address = dlsym(library, name);
    if (address == nullptr) {
        *error = std::string("it has no export ") + name + ": not an import filter";
        return false;
    }
    *out = reinterpret_cast<Function>(address);
    return true;
}

}  // namespace

std::unique_ptr<FilterModule> FilterModule::Load(const std::string& path, std::string* error) {
    std::unique_ptr<FilterModule> module(new FilterModule);
    module->identity_.path = path;
    // A name without a slash would send dlopen searching the library path; this is a path.
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    module->library_ = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module->library_ == nullptr) {
        const char* why = dlerror();
        *error = why != nullptr ? why : "cannot be loaded";
        return nullptr;
    }
    FilterExports& exports = module->exports_;
    if (!FindExport(module->library_, "ImportGR", &exports.importGR, error) ||
        !FindExport(module->library_, "ImportCB", &exports.importCB, error) ||
        !FindExport(module->library_, "GetFileInfo", &exports.getFileInfo, error) ||
        !FindExport(module->library_, "QVTGetFilterVersion", &exports.filterVersion, error)) {
        return nullptr;
    }
    // The module registered its version resource with the process's one winshim when it
    // loaded; its instance handle is the base address of the object holding its code.
    HMODULE instance = WinshimModuleFromAddress(reinterpret_cast<const void*>(exports.filterVersion));
    char definitions[256] = {};
    if (instance == nullptr ||
        WinshimQueryVersionString(instance, "FilterDefinitions", definitions, sizeof definitions) == 0) {
        *error = "it has no \"FilterDefinitions\" version string: not an import filter";
        return nullptr;
    }
    module->identity_.definitions = definitions;
    if (module->identity_.definitions != kExpectedDefinitions) {
        *error = "it is the filter for \"" + module->identity_.definitions + "\", not \"" +
                 kExpectedDefinitions + "\"";
        return nullptr;
    }
    module->identity_.version = exports.filterVersion();
    uint32_t major = module->identity_.version >> 24;
    if (major != kExpectedMajorVersion) {
        *error = "filter version " + std::to_string(major) + " is not supported (want " +
                 std::to_string(kExpectedMajorVersion) + ")";
        return nullptr;
    }
    WORD fileVersion[4] = {};
    if (WinshimQueryFileVersion(instance, fileVersion)) {
        for (int i = 0; i < 4; ++i) module->identity_.fileVersion[i] = fileVersion[i];
    }
    return module;
}

FilterModule::~FilterModule() {
    if (library_ != nullptr) dlclose(library_);
}

std::string FormatFileVersion(const std::array<uint16_t, 4>& version) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", version[0], version[1], version[2], version[3]);
    return text;
}

}  // namespace xpmimport
