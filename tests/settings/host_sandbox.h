// A private world for tests that need the module's strings or its profile: a copy of the probe
// module, loaded from a temporary directory, is the filter's instance (so "beside the module" is
// a directory the test owns), and WINDIR names a second temporary directory. The copy has no
// extension and the directories have a dot, so the module's profile name must come from the
// module's file name alone.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "resources/module_instance.h"
#include "resources/resource_ids.h"
#include "winshim/winshim.h"

namespace xpmtest {

class HostSandbox {
  public:
    static HostSandbox& Get() { static HostSandbox box; return box; }
    // "{module}", "{windows}" and "{other}" become directories of the sandbox.
    std::string Expand(std::string text) const {
        for (const std::string name : {"module", "windows", "other"})
            for (size_t at; (at = text.find("{" + name + "}")) != std::string::npos;) text.replace(at, name.size() + 2, root_ + "/" + name);
        return text;
    }
    void Write(const std::string& path, const std::string& text) const {
        std::filesystem::create_directories(std::filesystem::path(Expand(path)).parent_path());
        std::ofstream(Expand(path), std::ios::binary) << text;
    }
    // Removes what the tests wrote and points WINDIR home again; the module stays.
    void Clean() const {
        for (const auto& entry : std::filesystem::directory_iterator(root_ + "/module"))
            if (entry.path().filename() != "libxfprobe") std::filesystem::remove_all(entry);
        std::filesystem::remove_all(root_ + "/other");
        std::filesystem::remove_all(root_ + "/windows");
        std::filesystem::create_directory(root_ + "/windows");
        setenv("WINDIR", (root_ + "/windows").c_str(), 1);
    }

  private:
    HostSandbox() {
        char pattern[] = "/tmp/xfhost.XXXXXX";
        root_ = mkdtemp(pattern);
        std::filesystem::create_directory(root_ + "/module");
        std::filesystem::copy_file(XF_PROBE_MODULE_PATH, root_ + "/module/libxfprobe");
        void* library = dlopen((root_ + "/module/libxfprobe").c_str(), RTLD_NOW | RTLD_LOCAL);
        HMODULE instance = WinshimModuleFromAddress(dlsym(library, "xf_probe_module_marker"));
        WinshimRegisterModuleResources(instance, &xpmfilter::ModuleResources());
        xpmfilter::SetModuleInstance(instance);
        Clean();
    }
    ~HostSandbox() { std::filesystem::remove_all(root_); }
    std::string root_;
};

}  // namespace xpmtest
