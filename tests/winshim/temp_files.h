// Test scaffolding for file-based winshim tests: a fresh temporary tree per test with its own
// Windows directory ($WINDIR) and current directory, and byte-exact file helpers.
#pragma once

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace winshim_test {

// Reads a whole file; nullopt when it cannot be opened.
inline std::optional<std::string> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

inline bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Shows bytes with CR, LF, NUL and other control bytes spelled out, for failure messages.
inline std::string Visible(const std::string& bytes) {
    std::ostringstream out;
    for (unsigned char c : bytes) {
        if (c == '\r') {
            out << "\\r";
        } else if (c == '\n') {
            out << "\\n";
        } else if (c == '\0') {
            out << "\\0";
        } else if (c < 0x20 || c >= 0x7F) {
            static const char* hex = "0123456789abcdef";
            out << "\\x" << hex[c >> 4] << hex[c & 15];
        } else {
            out << c;
        }
    }
    return out.str();
}

// The user and group that RunUnprivileged runs as when the tests run as root ("nobody").
inline constexpr uid_t kUnprivilegedId = 65534;

// Runs `check` in a child process without root's rights to bypass file permissions (as
// "nobody" when the test runs as root, as the test's own user otherwise) and returns its
// result, or -1 when the child could not drop its rights or did not end normally.
inline int RunUnprivileged(const std::function<int()>& check) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(kUnprivilegedId, kUnprivilegedId, kUnprivilegedId) != 0 ||
             ::setresuid(kUnprivilegedId, kUnprivilegedId, kUnprivilegedId) != 0)) {
            ::_exit(255);
        }
        ::_exit(check());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1;
}

// Every test gets root/, root/windows ($WINDIR) and root/cwd (the current directory); all of
// it is removed afterwards and the previous directory and $WINDIR come back.
class TempTreeTest : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/winshim-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        windows_ = root_ + "/windows";
        cwd_ = root_ + "/cwd";
        std::filesystem::create_directory(windows_);
        std::filesystem::create_directory(cwd_);
        oldCwd_ = std::filesystem::current_path().string();
        if (const char* old = std::getenv("WINDIR")) oldWindir_ = old;
        ::setenv("WINDIR", windows_.c_str(), 1);
        std::filesystem::current_path(cwd_);
    }
    void TearDown() override {
        std::filesystem::current_path(oldCwd_);
        if (oldWindir_) {
            ::setenv("WINDIR", oldWindir_->c_str(), 1);
        } else {
            ::unsetenv("WINDIR");
        }
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    std::string root_;
    std::string windows_;
    std::string cwd_;

  private:
    std::string oldCwd_;
    std::optional<std::string> oldWindir_;
};

}  // namespace winshim_test
