// Where the tests find the build's products, scratch directories, files, and running
// xpmimport as a subprocess.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace xpmimport { class FilterModule; }

namespace xpmimport_test {

// The build directory ($XPMFILTER_BUILD_DIR, else the parent of this test's bin/).
[[nodiscard]] std::string BuildDir();
[[nodiscard]] std::string ModulePath();      // <build>/lib/libxpmfilter.so
[[nodiscard]] std::string XpmimportPath();   // <build>/bin/xpmimport
[[nodiscard]] std::string SourceDir();       // $XPMFILTER_SOURCE_DIR, or empty

// The module of this build, loaded once per test process; null (with the reason in
// *error) when it cannot be loaded.
[[nodiscard]] const xpmimport::FilterModule* SharedFilter(std::string* error);

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::string& path() const { return path_; }
    [[nodiscard]] std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
[[nodiscard]] std::string ReadFile(const std::string& path);
[[nodiscard]] bool FileExists(const std::string& path);
// Names in a directory, sorted, without "." and "..".
[[nodiscard]] std::vector<std::string> ListDirectory(const std::string& path);

struct ProcessResult {
    int status = -1;       // the exit status, or 128 + signal when killed by one
    bool timedOut = false;
    std::string out;
    std::string err;
};

// A child process with standard output and error captured in files.
class Subprocess {
  public:
    // Starts program with args; standard input from stdinPath ("" for /dev/null).
    Subprocess(const std::string& program, const std::vector<std::string>& args, const std::string& stdinPath = "");
    ~Subprocess();  // kills the child if it still runs
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    [[nodiscard]] pid_t pid() const { return pid_; }
    [[nodiscard]] std::string errSoFar() const;
    // Waits up to timeout (then kills the child and marks timedOut).
    [[nodiscard]] ProcessResult wait(std::chrono::milliseconds timeout = std::chrono::seconds(300));

  private:
    TempDir capture_;
    pid_t pid_ = -1;
};

// Runs xpmimport with args and waits for it.
[[nodiscard]] ProcessResult RunXpmimport(const std::vector<std::string>& args, const std::string& stdinPath = "");

}  // namespace xpmimport_test
