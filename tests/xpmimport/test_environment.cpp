// Test paths, scratch directories and subprocesses.
#include "test_environment.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "xpmimport/filter_module.h"

namespace xpmimport_test {

std::string BuildDir() {
    if (const char* dir = std::getenv("XPMFILTER_BUILD_DIR"); dir != nullptr && *dir != '\0') return dir;
    std::error_code error;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? "." : exe.parent_path().parent_path().string();
}

std::string ModulePath() { return BuildDir() + "/lib/libxpmfilter.so"; }
std::string XpmimportPath() { return BuildDir() + "/bin/xpmimport"; }

std::string SourceDir() {
    const char* dir = std::getenv("XPMFILTER_SOURCE_DIR");
    return dir != nullptr ? dir : "";
}

const xpmimport::FilterModule* SharedFilter(std::string* error) {
    static std::string loadError;
    static const std::unique_ptr<xpmimport::FilterModule> module =
        xpmimport::FilterModule::Load(ModulePath(), &loadError);
    if (!module) *error = ModulePath() + ": " + loadError;
    return module.get();
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "xpmimport-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::vector<std::string> ListDirectory(const std::string& path) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

Subprocess::Subprocess(const std::string& program, const std::vector<std::string>& args, const std::string& stdinPath) {
    std::vector<std::string> argv_storage = {program};
    argv_storage.insert(argv_storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argv_storage) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string outPath = capture_.file("out"), errPath = capture_.file("err");
    const std::string inPath = stdinPath.empty() ? "/dev/null" : stdinPath;
    pid_ = fork();
    if (pid_ == 0) {
        int in = open(inPath.c_str(), O_RDONLY);
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

Subprocess::~Subprocess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

std::string Subprocess::errSoFar() const { return ReadFile(capture_.file("err")); }

ProcessResult Subprocess::wait(std::chrono::milliseconds timeout) {
    ProcessResult result;
    if (pid_ <= 0) return result;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) break;
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

ProcessResult RunXpmimport(const std::vector<std::string>& args, const std::string& stdinPath) {
    Subprocess process(XpmimportPath(), args, stdinPath);
    return process.wait();
}

}  // namespace xpmimport_test
