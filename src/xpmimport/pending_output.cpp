// The temporary-file-and-rename output.
#include "xpmimport/pending_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace xpmimport {
namespace {

[[nodiscard]] FileFailure FailureFromErrno(const std::string& what, int error) {
    if (error == ENOSPC) return {"the disk is full writing " + what, error};
    return {what + ": " + std::strerror(error), error};
}

}  // namespace

std::unique_ptr<PendingOutput> PendingOutput::Create(const std::string& target, mode_t mode, FileFailure* failure) {
    std::unique_ptr<PendingOutput> output(new PendingOutput);
    output->target_ = target;
    size_t slash = target.rfind('/');
    std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty()) {
        *failure = {"cannot create " + target + ": the name ends with a slash", EISDIR};
        return nullptr;
    }
    std::string pattern = directory + "." + name + ".XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    int fd = mkstemp(path.data());
    if (fd < 0) {
        int error = errno;
        *failure = FailureFromErrno("cannot create " + target, error);
        return nullptr;
    }
    output->temporary_ = path.data();
    if (fchmod(fd, mode) != 0 || (output->stream_ = fdopen(fd, "wb")) == nullptr) {
        int error = errno;
        close(fd);
        *failure = FailureFromErrno("cannot create " + target, error);
        return nullptr;  // the destructor removes the temporary file
    }
    return output;
}

PendingOutput::~PendingOutput() {
    if (stream_ != nullptr) std::fclose(stream_);
    if (!committed_ && !temporary_.empty()) unlink(temporary_.c_str());
}

bool PendingOutput::Write(const void* bytes, size_t size, FileFailure* failure) {
    if (size == 0 || std::fwrite(bytes, 1, size, stream_) == size) return true;
    *failure = FailureFromErrno("cannot write " + target_, errno);
    return false;
}

bool PendingOutput::Commit(FileFailure* failure) {
    int error = 0;
    if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) error = errno != 0 ? errno : EIO;
    if (error == 0 && fsync(fileno(stream_)) != 0 && errno != EINVAL) error = errno;
    int closed = std::fclose(stream_);
    stream_ = nullptr;
    if (error == 0 && closed != 0) error = errno;
    if (error != 0) {
        *failure = FailureFromErrno("cannot write " + target_, error);
        return false;
    }
    if (rename(temporary_.c_str(), target_.c_str()) != 0) {
        *failure = FailureFromErrno("cannot replace " + target_, errno);
        return false;
    }
    committed_ = true;
    return true;
}

}  // namespace xpmimport
