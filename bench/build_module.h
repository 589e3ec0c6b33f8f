// The benchmarks load libxpmfilter.so of the same build the way a host does: by path, from
// <dir of the benchmark>/../lib.
#pragma once

#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <system_error>

// The module's dlopen handle (opened once), or null with *error naming the path and why.
inline void* OpenBuildModule(std::string* error) {
    std::error_code failed;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", failed);
    const std::string path = (exe.parent_path().parent_path() / "lib" / "libxpmfilter.so").string();
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr && error != nullptr) *error = path + ": " + dlerror();
    return library;
}
