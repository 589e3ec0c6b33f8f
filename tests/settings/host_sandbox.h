// A private world for tests that need the module's strings or its profile: a copy of the probe
// module, loaded from a temporary directory, is the filter's instance (so "beside the module" is
// a directory the test owns), and WINDIR names a second temporary directory. There are two
// copies, "libxfprobe" and "libxfprobe.so", and the directories have a dot: both copies must give
// the profile name "libxfprobe.INI", taken from the module's file name alone.
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
    static HostSandbox& Get() {
        static HostSandbox box;
        return box;
    }
    // "{module}", "{windows}" and "{other}" become directories of the sandbox.
    std::string Expand(std::string text) const {
        for (const std::string name : {"module", "windows", "other"})
            for (size_t at; (at = text.find("{" + name + "}")) != std::string::npos;)
                text.replace(at, name.size() + 2, root_ + "/" + name);
        return text;
    }
    void Write(const std::string& path, const std::string& text) const {
        std::filesystem::create_directories(std::filesystem::path(Expand(path)).parent_path());
        std::ofstream(Expand(path), std::ios::binary) << text;
    }
    // Makes the copy with or without an extension the filter's instance.
    void Use(bool withExtension) const { xpmfilter::SetModuleInstance(modules_[withExtension]); }
    // Removes what the tests wrote, points WINDIR home again and uses the copy without extension.
    void Clean() const {
        for (const auto& entry : std::filesystem::directory_iterator(root_ + "/module"))
            if (entry.path().stem() != "libxfprobe" || entry.path().extension() == ".INI")
                std::filesystem::remove_all(entry);
        std::filesystem::remove_all(root_ + "/other");
        std::filesystem::remove_all(root_ + "/windows");
        std::filesystem::create_directory(root_ + "/windows");
        setenv("WINDIR", (root_ + "/windows").c_str(), 1);
        Use(false);
    }

  private:
    HostSandbox() {
        char pattern[] = "/tmp/xfhost.XXXXXX";
        root_ = mkdtemp(pattern);
        std::filesystem::create_directory(root_ + "/module");
        for (const bool withExtension : {false, true}) {
            const std::string path =
                root_ + (withExtension ? "/module/libxfprobe.so" : "/module/libxfprobe");
            std::filesystem::copy_file(XF_PROBE_MODULE_PATH, path);
            void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            modules_[withExtension] =
                WinshimModuleFromAddress(dlsym(library, "xf_probe_module_marker"));
            WinshimRegisterModuleResources(modules_[withExtension], &xpmfilter::ModuleResources());
        }
        Clean();
    }
    ~HostSandbox() { std::filesystem::remove_all(root_); }
    std::string root_;
    HMODULE modules_[2] = {};
};

}  // namespace xpmtest
