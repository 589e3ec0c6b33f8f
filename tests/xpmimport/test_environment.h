// Where the tests find the build, scratch directories and files, and programs run as child
// processes with their output captured.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace xpmimport_test {

// $XPMFILTER_BUILD_DIR, else the parent of this test's bin/.
[[nodiscard]] inline std::string BuildDir() {
    const char* dir = std::getenv("XPMFILTER_BUILD_DIR");
    return dir != nullptr
               ? dir
               : std::filesystem::canonical("/proc/self/exe").parent_path().parent_path().string();
}
[[nodiscard]] inline std::string XpmimportPath() {
    return BuildDir() + "/bin/xpmimport";
}
[[nodiscard]] inline std::string ModulePath() {
    return BuildDir() + "/lib/libxpmfilter.so";
}

inline std::string WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
}
[[nodiscard]] inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A fresh directory, removed with its contents.
struct TempDir {
    std::string path = (std::filesystem::temp_directory_path() / "xpmimport-test-XXXXXX").string();
    TempDir() {
        if (mkdtemp(path.data()) == nullptr) std::abort();
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    [[nodiscard]] std::string file(const std::string& name) const { return path + "/" + name; }
    [[nodiscard]] std::set<std::string> names(const std::string& sub = ".") const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(file(sub)))
            names.insert(entry.path().filename());
        return names;
    }
};

// The exit status (or 128 + the signal that ended the process), standard output and error.
struct ProcessResult {
    int status;
    std::string out, err;
};

// Starts argv (argv[0] is the program's path) with standard input from stdinPath and
// standard output and error going to files in capture.
[[nodiscard]] inline pid_t Start(const std::vector<std::string>& argv, const std::string& stdinPath,
                                 const TempDir& capture) {
    const std::string out = capture.file("out"), err = capture.file("err");
    std::vector<char*> args;  // made before the fork: the child only opens files and execs
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    if (pid_t pid = fork(); pid != 0) return pid;
    dup2(open(stdinPath.c_str(), O_RDONLY), 0),
        dup2(open(out.c_str(), O_WRONLY | O_CREAT, 0600), 1);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT, 0600), 2);
    execv(args[0], args.data());
    _exit(127);
}

[[nodiscard]] inline ProcessResult Finish(pid_t pid, const TempDir& capture) {
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            ReadFile(capture.file("out")), ReadFile(capture.file("err"))};
}

[[nodiscard]] inline ProcessResult RunProgram(const std::vector<std::string>& argv,
                                              const std::string& stdinPath = "/dev/null") {
    TempDir capture;
    return Finish(Start(argv, stdinPath, capture), capture);
}

}  // namespace xpmimport_test
