// A fresh folder for one test, removed with everything in it, and whole-file reads and writes.
// Portable (std::filesystem only): the Win32 tests build it for Windows and run it under Wine.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <system_error>

namespace xpmtest {

// The bytes of the regular file at path; "<none>" when there is none (a FIFO is not read).
inline std::string ReadFile(const std::string& path) {
    if (!std::filesystem::is_regular_file(path)) return "<none>";
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Replaces the file's bytes (making it when missing); returns path.
inline std::string WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
}

class TempDir {
  public:
    // Makes "<system temporary folder>/<prefix>-<random>", readable by every user (tests run
    // children as "nobody") and writable by its owner.
    explicit TempDir(const std::string& prefix = "xpmtest") {
        namespace fs = std::filesystem;
        std::random_device random;
        const fs::path base = fs::temp_directory_path();
        do {
            path_ = (base / (prefix + "-" + std::to_string(random()))).generic_string();
        } while (!fs::create_directory(path_));
        fs::permissions(path_, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
    }
    // Removes the folder with its contents, read-only ones too.
    ~TempDir() {
        namespace fs = std::filesystem;
        std::error_code ignored;  // what cannot go leaves the rest to be removed
        for (fs::recursive_directory_iterator it(path_, ignored), end; !ignored && it != end;
             it.increment(ignored)) {
            if (!it->is_symlink(ignored))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
        ignored.clear();
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::string& path() const { return path_; }
    // "<path>/<name>"; name may hold folders.
    [[nodiscard]] std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes file(name), making the folders on the way; returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        std::filesystem::create_directories(std::filesystem::path(file(name)).parent_path());
        return WriteFile(file(name), bytes);
    }
    // The names in the folder (or in its subfolder `sub`), sorted.
    [[nodiscard]] std::set<std::string> Names(const std::string& sub = ".") const {
        std::set<std::string> names;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(file(sub), ignored))
            names.insert(entry.path().filename().string());
        return names;
    }

  private:
    std::string path_;
};

}  // namespace xpmtest
