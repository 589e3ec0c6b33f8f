// Loading a module by path and reading what it says about itself: dlopen and the version
// resource libwinshim registers on POSIX, LoadLibraryExA and the module's version resource on
// Windows. Plain procedures; FilterModule owns what they return.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace xpmimport {

// The loaded module, or null with *error set to the system's words.
[[nodiscard]] void* OpenLibrary(const std::string& path, std::string* error);
// An export's address, or null.
[[nodiscard]] void* FindExportAddress(void* library, const char* name);
// StreamReadFailure of the graphics library the module was loaded with, or null.
[[nodiscard]] void* FindReadFailureExport(void* library);
void CloseLibrary(void* library);

// The module's "FilterDefinitions" version string (false when it has none) and its fixed
// file version (left as it is when it has none). code: the address of one of its exports.
[[nodiscard]] bool ReadModuleVersion(void* library, const void* code, std::string* definitions,
                                     std::array<uint16_t, 4>* fileVersion);

}  // namespace xpmimport
