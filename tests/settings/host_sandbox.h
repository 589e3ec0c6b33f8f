// A private world for tests that need the module's strings or its profile: a copy of the probe
// module, loaded from a temporary directory, is the filter's instance (so "beside the module" is
// a directory the test owns), and WINDIR names a second temporary directory.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "resources/module_instance.h"
#include "resources/resource_ids.h"
#include "winshim/winshim.h"

namespace xpmtest {

class HostSandbox {
  public:
    static HostSandbox& Get() {
        static HostSandbox box;
        return box;
    }
    // "{module}", "{windows}" and "{other}" become directories of the sandbox.
    std::string Expand(std::string text) const {
        for (const char* name : {"module", "windows", "other"})
            for (size_t at; (at = text.find("{" + std::string(name) + "}")) != std::string::npos;)
                text.replace(at, std::strlen(name) + 2, root_ + "/" + name);
        return text;
    }
    void Write(const std::string& path, const std::string& text) const {
        const std::filesystem::path full = Expand(path);
        std::filesystem::create_directories(full.parent_path());
        std::ofstream(full, std::ios::binary) << text;
    }
    // Removes what the tests wrote and points WINDIR home again; the module stays.
    void Clean() const {
        std::filesystem::remove_all(root_ + "/other");
        std::filesystem::remove_all(root_ + "/windows");
        std::filesystem::create_directory(root_ + "/windows");
        for (const auto& entry : std::filesystem::directory_iterator(root_ + "/module"))
            if (entry.path().extension() != ".so") std::filesystem::remove_all(entry);
        setenv("WINDIR", (root_ + "/windows").c_str(), 1);
    }

  private:
    HostSandbox() {
        char pattern[] = "/tmp/xfhost.XXXXXX";
        root_ = mkdtemp(pattern);
        std::filesystem::create_directory(root_ + "/module");
        std::filesystem::copy_file(XF_PROBE_MODULE_PATH, root_ + "/module/libxfprobe.so");
        library_ = dlopen((root_ + "/module/libxfprobe.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        instance_ = WinshimModuleFromAddress(dlsym(library_, "xf_probe_module_marker"));
        WinshimRegisterModuleResources(instance_, &xpmfilter::ModuleResources());
        xpmfilter::SetModuleInstance(instance_);
        Clean();
    }
    ~HostSandbox() {
        xpmfilter::SetModuleInstance(nullptr);
        WinshimUnregisterModuleResources(instance_);
        dlclose(library_);
        std::filesystem::remove_all(root_);
    }
    std::string root_;
    void* library_ = nullptr;
    HMODULE instance_ = nullptr;
};

}  // namespace xpmtest
