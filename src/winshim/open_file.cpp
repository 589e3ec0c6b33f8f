// OpenFile as an existence test: finds a file the way Windows searches for a bare name, opens
// it for reading and reports its full path in the OFSTRUCT.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "module_files.h"
#include "windows_directory.h"
#include "winshim/winshim.h"

namespace winshim {
namespace {

constexpr BYTE kOfstructSize = sizeof(OFSTRUCT);
constexpr UINT kShareModeFlags = 0x0070;  // OF_SHARE_*: meaningless for an existence test
// szPathName holds 128 bytes with the NUL.
constexpr size_t kMaxReportedPath = OFS_MAXPATHNAME - 1;

[[nodiscard]] std::optional<std::string> CurrentDirectory() {
    std::error_code error;
    std::string directory = std::filesystem::current_path(error).string();
    if (error) return {};
    return directory;
}

// The pieces of `text` between separators; a piece is empty where two separators meet or one
// starts or ends the text.
// (Not a stream: a stream would swallow std::bad_alloc and end the list early.)
[[nodiscard]] std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : text) {
        if (c == separator) {
            pieces.push_back(std::move(piece));
            piece.clear();
        } else {
            piece += c;
        }
    }
    pieces.push_back(std::move(piece));
    return pieces;
}

[[nodiscard]] std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes a path absolute against the current directory and drops "." and ".." components
// and repeated separators, as Windows forms a full path (without looking at the disk).
[[nodiscard]] std::optional<std::string> FullPath(const std::string& path) {
    std::string joined = path;
    if (path.empty() || path[0] != '/') {
        std::optional<std::string> cwd = CurrentDirectory();
        if (!cwd) return std::nullopt;
        joined = JoinPath(*cwd, path);
    }
    std::vector<std::string> parts;
    for (std::string& part : Split(joined, '/')) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(std::move(part));
    }
    std::string full;
    for (const std::string& part : parts) full += "/" + part;
    return full.empty() ? "/" : full;
}

// True when the file can really be opened for reading, as Windows opens it for the test: an
// unreadable file is as good as missing. Only regular files count; anything else (a
// directory, a FIFO, a device) is never opened, and the open does not block either way.
[[nodiscard]] bool IsReadableFile(const std::string& path, struct stat* info) {
    if (::stat(path.c_str(), info) != 0 || !S_ISREG(info->st_mode)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    // The name may have been replaced by something else between the two looks.
    const bool regular = ::fstat(fd, info) == 0 && S_ISREG(info->st_mode);
    ::close(fd);
    return regular;
}

// Where Windows looks for a bare name: the program's directory, the current directory, the
// Windows directory, then every directory on PATH.
[[nodiscard]] std::vector<std::string> SearchDirectories() {
    std::vector<std::string> directories;
    if (std::string exe; ExecutablePath(&exe)) directories.push_back(DirectoryOf(exe));
    if (std::optional<std::string> cwd = CurrentDirectory()) directories.push_back(*cwd);
    directories.push_back(WindowsDirectory());
    if (const char* path = std::getenv("PATH")) {
        for (const std::string& entry : Split(path, ':'))
            directories.push_back(entry.empty() ? "." : entry);
    }
    return directories;
}

// The file's modification time as DOS date and time words.
void StoreDosTimestamp(const struct stat& info, OFSTRUCT* of) {
    struct tm local {};
    time_t seconds = info.st_mtime;
    if (::localtime_r(&seconds, &local) == nullptr || local.tm_year < 80) {
        of->Reserved1 = 0;
        of->Reserved2 = 0;
        return;
    }
    of->Reserved1 =
        static_cast<WORD>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    of->Reserved2 =
        static_cast<WORD>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
}

[[nodiscard]] HFILE Fail(OFSTRUCT* of, DWORD error) {
    of->nErrCode = static_cast<WORD>(error);
    SetLastError(error);
    return HFILE_ERROR;
}

[[nodiscard]] HFILE Open(LPCSTR fileName, OFSTRUCT* of, UINT style) {
    if (of == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return HFILE_ERROR;
    }
    // An empty name is not found either: it names the directories searched.
    if (fileName == nullptr) return Fail(of, ERROR_FILE_NOT_FOUND);
    // Only the existence test is supported; OF_READ counts as one too.
    if ((style & ~(OF_EXIST | kShareModeFlags)) != OF_READ) {
        return Fail(of, ERROR_INVALID_PARAMETER);
    }

    const std::string name = fileName;
    const bool bare = name.find('/') == std::string::npos && name.find('\\') == std::string::npos;
    std::vector<std::string> candidates;
    if (bare) {
        for (const std::string& directory : SearchDirectories()) {
            candidates.push_back(JoinPath(directory, name));
        }
    } else {
        candidates.push_back(name);
    }
    for (const std::string& candidate : candidates) {
        std::optional<std::string> full = FullPath(candidate);
        if (!full) continue;
        // A path given with a directory is judged by its length before anything else.
        if (!bare && full->size() > kMaxReportedPath) return Fail(of, ERROR_FILENAME_EXCED_RANGE);
        struct stat info {};
        if (!IsReadableFile(*full, &info)) continue;
        if (full->size() > kMaxReportedPath) return Fail(of, ERROR_FILENAME_EXCED_RANGE);
        of->cBytes = kOfstructSize;
        of->fFixedDisk = 1;
        of->nErrCode = 0;
        StoreDosTimestamp(info, of);
        std::memcpy(of->szPathName, full->c_str(), full->size() + 1);
        return 1;
    }
    return Fail(of, ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace winshim

// Returns 1 (not a file handle: nothing stays open) with cBytes 136, nErrCode 0 and the full
// path when the file exists; HFILE_ERROR with nErrCode and the last error set otherwise
// (2 when missing, 206 when the full path exceeds 127 characters; szPathName untouched).
extern "C" WINSHIM_API HFILE OpenFile(LPCSTR fileName, OFSTRUCT* info, UINT style) {
    try {
        return winshim::Open(fileName, info, style);
    } catch (const std::bad_alloc&) {
        if (info != nullptr) info->nErrCode = ERROR_NOT_ENOUGH_MEMORY;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return HFILE_ERROR;
    }
}
