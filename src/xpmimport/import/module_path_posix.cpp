// Finding the filter module relative to the executable's real location.
#include "xpmimport/import/module_path.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace xpmimport {
namespace {

constexpr const char* kModuleName = "libxpmfilter.so";

[[nodiscard]] std::string ExecutableDirectory() {
    std::string path(4096, '\0');
    ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0) return ".";
    path.resize(static_cast<size_t>(length));
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The path without "..", so messages name the file plainly; as given when it does not exist.
[[nodiscard]] std::string Canonical(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string canonical = resolved;
    std::free(resolved);
    return canonical;
}

}  // namespace

std::string DefaultFilterPath() {
    if (const char* named = std::getenv("XPMFILTER_MODULE"); named != nullptr && named[0] != '\0')
        return named;
    const std::string directory = ExecutableDirectory();
    const std::string candidates[] = {
        directory + "/" XPMIMPORT_BIN_TO_MODULE "/" + kModuleName,
        directory + "/../lib/" + kModuleName,
        directory + "/" + kModuleName,
        std::string(XPMIMPORT_INSTALLED_MODULE_DIR "/") + kModuleName,
    };
    for (const std::string& candidate : candidates) {
        if (access(candidate.c_str(), F_OK) == 0) return Canonical(candidate);
    }
    return candidates[0];
}

}  // namespace xpmimport
