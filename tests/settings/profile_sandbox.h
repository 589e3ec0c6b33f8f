// A private world for profile tests: a copy of a small module loaded from a temporary
// directory (its instance holds the filter's string resources), a temporary Windows
// directory (WINDIR) and a third directory for profiles named by path.
#pragma once

#include <memory>
#include <string>

#include "common/setup_record.h"
#include "winshim/winshim.h"

namespace xpmtest {

class ProfileSandbox {
  public:
    // The one sandbox of the test process, made on first use and removed at exit.
    static ProfileSandbox& Get();

    const std::string& ModuleDir() const { return moduleDir_; }
    const std::string& WindowsDir() const { return windowsDir_; }
    const std::string& OtherDir() const { return otherDir_; }
    // File name of the module's own profile: the module's name with ".INI".
    static const char* ModuleProfileName() { return "libxfprobe.INI"; }

    // Replaces "{module}", "{windows}" and "{other}" by the directories.
    [[nodiscard]] std::string Expand(const std::string& text) const;
    // Writes text to the expanded path, making its directory when needed.
    void WriteFile(const std::string& path, const std::string& text) const;
    // Makes the sandbox's module the filter's instance again, after a test changed it.
    void RestoreModuleInstance() const;
    // Removes every file and directory the tests made; the module stays.
    void Clean() const;

    ~ProfileSandbox();

  private:
    ProfileSandbox();
    std::string root_, moduleDir_, windowsDir_, otherDir_;
    void* library_ = nullptr;
    HMODULE module_ = nullptr;
};

// Copies a setup record out of its block and frees the block, so that a failed expectation
// never leaves the block behind.
[[nodiscard]] std::unique_ptr<xpmfilter::SetupRecord> TakeRecord(HGLOBAL setup);

}  // namespace xpmtest
