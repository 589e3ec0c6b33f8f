// Where the tests find the build's products, scratch directories, files, and running
// xpmimport as a subprocess.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "xpmimport/filter_module.h"

namespace xpmimport_test {

// The build directory ($XPMFILTER_BUILD_DIR, else the parent of this test's bin/).
[[nodiscard]] inline std::string BuildDir() {
    if (const char* dir = std::getenv("XPMFILTER_BUILD_DIR"); dir != nullptr && *dir != '\0') return dir;
    std::error_code error;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? "." : exe.parent_path().parent_path().string();
}

[[nodiscard]] inline std::string XpmimportPath() { return BuildDir() + "/bin/xpmimport"; }

// <build>/lib/libxpmfilter.so, loaded once per test process; null (with the reason in
// *error) when it cannot be loaded.
[[nodiscard]] inline const xpmimport::FilterModule* SharedFilter(std::string* error) {
    static const std::string path = BuildDir() + "/lib/libxpmfilter.so";
    static std::string loadError;
    static const std::unique_ptr<xpmimport::FilterModule> module = xpmimport::FilterModule::Load(path, &loadError);
    if (!module) *error = path + ": " + loadError;
    return module.get();
}

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "xpmimport-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::string& path() const { return path_; }
    [[nodiscard]] std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

[[nodiscard]] inline std::string ReadFile(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

[[nodiscard]] inline bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Names in a directory, sorted, without "." and "..".
[[nodiscard]] inline std::vector<std::string> ListDirectory(const std::string& path) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path, error)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

struct ProcessResult {
    int status = -1;  // the exit status, or 128 + signal when killed by one
    bool timedOut = false;
    std::string out;
    std::string err;
};

// A child process with standard output and error captured in files.
class Subprocess {
  public:
    // Starts program with args; standard input from stdinPath ("" for /dev/null).
    Subprocess(const std::string& program, const std::vector<std::string>& args, const std::string& stdinPath = "") {
        std::vector<std::string> storage = {program};
        storage.insert(storage.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : storage) argv.push_back(arg.data());
        argv.push_back(nullptr);
        const std::string outPath = capture_.file("out"), errPath = capture_.file("err");
        if ((pid_ = fork()) == 0) {
            int in = open(stdinPath.empty() ? "/dev/null" : stdinPath.c_str(), O_RDONLY);
            int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (in < 0 || out < 0 || err < 0) _exit(126);
            dup2(in, STDIN_FILENO), dup2(out, STDOUT_FILENO), dup2(err, STDERR_FILENO);
            // The child gets default signal handling whatever the test runner set up.
            signal(SIGINT, SIG_DFL);
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
    }
    ~Subprocess() {  // kills the child if it still runs
        if (pid_ > 0) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
    }
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    [[nodiscard]] pid_t pid() const { return pid_; }
    [[nodiscard]] std::string errSoFar() const { return ReadFile(capture_.file("err")); }

    // Waits up to timeout (then kills the child and marks timedOut).
    [[nodiscard]] ProcessResult wait(std::chrono::milliseconds timeout = std::chrono::seconds(300)) {
        ProcessResult result;
        if (pid_ <= 0) return result;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) != pid_) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                result.timedOut = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid_ = -1;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = ReadFile(capture_.file("out"));
        result.err = ReadFile(capture_.file("err"));
        return result;
    }

  private:
    TempDir capture_;
    pid_t pid_ = -1;
};

// Runs xpmimport with args and waits for it.
[[nodiscard]] inline ProcessResult RunXpmimport(const std::vector<std::string>& args, const std::string& stdinPath = "") {
    return Subprocess(XpmimportPath(), args, stdinPath).wait();
}

}  // namespace xpmimport_test
