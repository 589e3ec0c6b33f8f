// The host-named output file on Windows (see output_file.h). The temporary file is closed
// before it replaces the named file, since Windows renames no file that is open.
#include "writer/output_file.h"

#include "winshim/winshim.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "writer/metafile_limits.h"

namespace vrgdi32 {
namespace {

constexpr int kNameTries = 64;

uint64_t RandomBits() {
    static LONG64 counter = 0;
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return (static_cast<uint64_t>(now.QuadPart) << 20) ^ ::GetCurrentProcessId() ^
           (static_cast<uint64_t>(::InterlockedIncrement64(&counter)) * 0x9E3779B97F4A7C15u);
}

}  // namespace

int16_t OutputFile::CreateTemporary(const std::string& target) {
    const std::size_t slash = target.find_last_of("/\\:");
    const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = target.substr(slash == std::string::npos ? 0 : slash + 1);
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        // Within MAX_PATH, which a name beside a long target would pass.
        std::string candidate = TemporaryName(directory, name, RandomBits(), MAX_PATH - 1);
        if (candidate.empty()) return kVrErrCannotCreate;
        const int fd =
            ::_open(candidate.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
        if (fd >= 0) {
            fd_ = fd;
            temporary_ = std::move(candidate);
            return 0;
        }
        if (errno != EEXIST) return kVrErrCannotCreate;
    }
    return kVrErrCannotCreate;
}

int16_t OutputFile::Create(const char* path) {
    Discard();
    target_ = path;
    const DWORD attributes = ::GetFileAttributesA(path);
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0)
        return kVrErrCannotCreate;
    if (CreateTemporary(target_) == 0) {
        streams_ = true;
        return 0;
    }
    if (!exists) return kVrErrCannotCreate;
    // Written whole at the end; opening it now tells early whether it can be written.
    fd_ = ::_open(target_.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
    return fd_ >= 0 ? 0 : kVrErrCannotCreate;
}

int16_t OutputFile::Commit() {
    ::_close(fd_);
    fd_ = -1;
    if (!::MoveFileExA(temporary_.c_str(), target_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Discard();
        return kVrErrCannotCreate;
    }
    temporary_.clear();
    streams_ = false;
    return 0;
}

int16_t OutputFile::WriteWhole(std::span<const uint8_t> head, const uint8_t* bytes,
                               std::size_t count, int16_t* detail) {
    *detail = 0;
    bool failed = false;
    bool diskFull = false;
    const std::span<const uint8_t> pieces[2] = {head, {bytes, count}};
    for (const std::span<const uint8_t> piece : pieces) {
        std::size_t done = 0;
        while (!failed && done < piece.size()) {
            const std::size_t left = piece.size() - done;
            const std::size_t chunk = left > 0x40000000u ? 0x40000000u : left;
            const int wrote = ::_write(fd_, piece.data() + done, static_cast<unsigned>(chunk));
            if (wrote <= 0) {
                failed = true;
                diskFull = wrote == 0 || errno == ENOSPC;
                break;
            }
            done += static_cast<std::size_t>(wrote);
        }
    }
    // A regular file may have been longer than the new picture.
    if (!failed &&
        ::GetFileType(reinterpret_cast<HANDLE>(::_get_osfhandle(fd_))) == FILE_TYPE_DISK &&
        ::_chsize_s(fd_, static_cast<__int64>(head.size() + count)) != 0) {
        failed = true;
        diskFull = errno == ENOSPC;
    }
    if (::_close(fd_) != 0) failed = true;
    fd_ = -1;
    if (!failed) return 0;
    if (diskFull) *detail = kVrErrDetailDiskFull;
    return kVrErrWrite;
}

void OutputFile::Discard() {
    if (fd_ >= 0) ::_close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::DeleteFileA(temporary_.c_str());
    temporary_.clear();
    streams_ = false;
}

}  // namespace vrgdi32
