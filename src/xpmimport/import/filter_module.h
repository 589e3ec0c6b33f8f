// The filter module as xpmimport uses it: loaded by path (see library_loader.h), checked to be the
// XPM import filter, and called only through the exports it names. Nothing of the filter is linked
// in.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "xpmfilter/xpmfilter.h"

namespace xpmimport {

// The exports xpmimport calls, looked up by name.
struct FilterExports {
    decltype(&::ImportGR) importGR = nullptr;
    decltype(&::ImportCB) importCB = nullptr;
    decltype(&::GetFileInfo) getFileInfo = nullptr;
    decltype(&::QVTGetFilterVersion) filterVersion = nullptr;
    // The graphics library's cause of a failed input read; null when it has none to give.
    int32_t (*readFailure)() = nullptr;
};

// Who the loaded module says it is.
struct FilterIdentity {
    std::string path;
    std::string definitions;                // the "FilterDefinitions" version string
    uint32_t version = 0;                   // QVTGetFilterVersion
    std::array<uint16_t, 4> fileVersion{};  // fixed file version, most significant part first
};

inline constexpr const char* kExpectedDefinitions = "XPM Format,0,.XPM";
inline constexpr uint32_t kExpectedMajorVersion = 8;

class FilterModule {
  public:
    // Loads the module at path (a bare file name means the current directory, never the
    // library search path) and checks it: the four exports above
    // exist, its "FilterDefinitions" string is "XPM Format,0,.XPM" and the top byte of
    // QVTGetFilterVersion is 8. Returns null on any failure, with *error set to one line in
    // words (the module is unloaded again).
    [[nodiscard]] static std::unique_ptr<FilterModule> Load(const std::string& path,
                                                            std::string* error);
    ~FilterModule();
    FilterModule(const FilterModule&) = delete;
    FilterModule& operator=(const FilterModule&) = delete;

    [[nodiscard]] const FilterExports& exports() const { return exports_; }
    [[nodiscard]] const FilterIdentity& identity() const { return identity_; }

  private:
    FilterModule() = default;
    void* library_ = nullptr;
    FilterExports exports_;
    FilterIdentity identity_;
};

// "8.5.3.0"
[[nodiscard]] std::string FormatFileVersion(const std::array<uint16_t, 4>& version);

}  // namespace xpmimport
