// Loading and checking the filter module.
#include "xpmimport/import/filter_module.h"

#include <cstdio>

#include "xpmimport/import/library_loader.h"

namespace xpmimport {
namespace {

template <typename Function>
[[nodiscard]] bool FindExport(void* library, const char* name, Function* out, std::string* error) {
    void* address = FindExportAddress(library, name);
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
    module->library_ = OpenLibrary(path, error);
    if (module->library_ == nullptr) return nullptr;
    FilterExports& exports = module->exports_;
    if (!FindExport(module->library_, "ImportGR", &exports.importGR, error) ||
        !FindExport(module->library_, "ImportCB", &exports.importCB, error) ||
        !FindExport(module->library_, "GetFileInfo", &exports.getFileInfo, error) ||
        !FindExport(module->library_, "QVTGetFilterVersion", &exports.filterVersion, error)) {
        return nullptr;
    }
    exports.readFailure = reinterpret_cast<int32_t (*)()>(FindReadFailureExport(module->library_));
    if (!ReadModuleVersion(module->library_, reinterpret_cast<const void*>(exports.filterVersion),
                           &module->identity_.definitions, &module->identity_.fileVersion)) {
        *error = "it has no \"FilterDefinitions\" version string: not an import filter";
        return nullptr;
    }
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
    return module;
}

FilterModule::~FilterModule() {
    if (library_ != nullptr) CloseLibrary(library_);
}

std::string FormatFileVersion(const std::array<uint16_t, 4>& version) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", version[0], version[1], version[2], version[3]);
    return text;
}

}  // namespace xpmimport
