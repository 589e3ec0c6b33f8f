// The profile tests' private directories and module.
#include "profile_sandbox.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "resources/module_instance.h"
#include "resources/resource_ids.h"

namespace fs = std::filesystem;

namespace xpmtest {

ProfileSandbox& ProfileSandbox::Get() {
    static ProfileSandbox sandbox;
    return sandbox;
}

ProfileSandbox::ProfileSandbox() {
    char pattern[] = "/tmp/xfprof.XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    moduleDir_ = root_ + "/module";
    windowsDir_ = root_ + "/windows";
    otherDir_ = root_ + "/other";
    for (const std::string& dir : {moduleDir_, windowsDir_, otherDir_}) fs::create_directory(dir);

    const std::string modulePath = moduleDir_ + "/libxfprobe.so";
    fs::copy_file(XF_PROBE_MODULE_PATH, modulePath);
    library_ = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) throw std::runtime_error(dlerror());
    void* marker = dlsym(library_, "xf_probe_module_marker");
    module_ = WinshimModuleFromAddress(marker);
    if (module_ == nullptr) throw std::runtime_error("no module for the probe");
    WinshimRegisterModuleResources(module_, &xpmfilter::ModuleResources());
    xpmfilter::SetModuleInstance(module_);
    setenv("WINDIR", windowsDir_.c_str(), 1);
}

ProfileSandbox::~ProfileSandbox() {
    xpmfilter::SetModuleInstance(nullptr);
    WinshimUnregisterModuleResources(module_);
    if (library_ != nullptr) dlclose(library_);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string ProfileSandbox::Expand(const std::string& text) const {
    std::string out = text;
    const std::pair<const char*, const std::string*> names[] = {
        {"{module}", &moduleDir_}, {"{windows}", &windowsDir_}, {"{other}", &otherDir_}};
    for (const auto& [placeholder, dir] : names) {
        for (size_t at = out.find(placeholder); at != std::string::npos;
             at = out.find(placeholder, at + dir->size()))
            out.replace(at, std::strlen(placeholder), *dir);
    }
    return out;
}

void ProfileSandbox::WriteFile(const std::string& path, const std::string& text) const {
    const fs::path full = Expand(path);
    fs::create_directories(full.parent_path());
    std::ofstream(full, std::ios::binary) << text;
}

void ProfileSandbox::RestoreModuleInstance() const { xpmfilter::SetModuleInstance(module_); }

void ProfileSandbox::Clean() const {
    for (const std::string& dir : {moduleDir_, windowsDir_, otherDir_}) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path().filename() == "libxfprobe.so") continue;
            fs::remove_all(entry.path());
        }
    }
}

std::unique_ptr<xpmfilter::SetupRecord> TakeRecord(HGLOBAL setup) {
    if (setup == nullptr) return nullptr;
    auto copy = std::make_unique<xpmfilter::SetupRecord>();
    if (void* record = GlobalLock(setup)) {
        std::memcpy(copy.get(), record, sizeof *copy);
        GlobalUnlock(setup);
    } else {
        copy.reset();
    }
    GlobalFree(setup);
    return copy;
}

}  // namespace xpmtest
