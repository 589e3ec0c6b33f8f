// The filter's module in a world of the test's own, for tests that need its strings or its
// profile: a copy of the probe module, loaded from a temporary folder, is the filter's instance
// (so "beside the module" is a folder the test owns), and WINDIR names a second one. There are
// two copies, "libxfprobe" and "libxfprobe.so", in folders whose names have a dot: both must
// give the profile name "libxfprobe.INI", taken from the module's file name alone.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "resources/module_instance.h"
#include "resources/resource_ids.h"
#include "temp_dir.h"

namespace xpmtest {

class ModuleSandbox {
  public:
    static ModuleSandbox& Get() {
        static ModuleSandbox box;
        return box;
    }
    // "{module}", "{windows}" and "{other}" become folders of the sandbox.
    [[nodiscard]] std::string Expand(std::string text) const {
        for (const std::string name : {"module", "windows", "other"})
            for (size_t at; (at = text.find("{" + name + "}")) != std::string::npos;)
                text.replace(at, name.size() + 2, dir_.file(name));
        return text;
    }
    void Write(const std::string& path, const std::string& text) const {
        std::filesystem::create_directories(std::filesystem::path(Expand(path)).parent_path());
        WriteFile(Expand(path), text);
    }
    // Makes the copy with or without an extension the filter's instance.
    void Use(bool withExtension) const { xpmfilter::SetModuleInstance(modules_[withExtension]); }
    // Removes what the tests wrote, points WINDIR home again and uses the copy without extension.
    void Clean() const {
        for (const auto& entry : std::filesystem::directory_iterator(dir_.file("module")))
            if (entry.path().stem() != "libxfprobe" || entry.path().extension() == ".INI")
                std::filesystem::remove_all(entry);
        std::filesystem::remove_all(dir_.file("other"));
        std::filesystem::remove_all(dir_.file("windows"));
        std::filesystem::create_directory(dir_.file("windows"));
        setenv("WINDIR", dir_.file("windows").c_str(), 1);
        Use(false);
    }

  private:
    ModuleSandbox() {
        for (const bool withExtension : {false, true}) {
            const std::string path =
                dir_.file(withExtension ? "module/libxfprobe.so" : "module/libxfprobe");
            std::filesystem::create_directories(dir_.file("module"));
            std::filesystem::copy_file(XF_PROBE_MODULE_PATH, path);
            void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            modules_[withExtension] =
                WinshimModuleFromAddress(dlsym(library, "xf_probe_module_marker"));
            WinshimRegisterModuleResources(modules_[withExtension], &xpmfilter::ModuleResources());
        }
        Clean();
    }
    TempDir dir_{"xf.module"};
    HMODULE modules_[2] = {};
};

}  // namespace xpmtest
