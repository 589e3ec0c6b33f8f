// The temporary-file-and-rename output.
#include "xpmimport/pending_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "xpmimport/file_system.h"
#include "xpmimport/interrupt.h"

namespace xpmimport {
namespace {

[[nodiscard]] FileFailure FailureFromErrno(const std::string& what, int error) {
    if (error == ENOSPC) return {what + ": the disk is full", error};
    return {what + ": " + std::strerror(error), error};
}

[[nodiscard]] bool IsStandardOutput(const std::string& target) {
    return target == kStandardOutputName;
}

[[nodiscard]] std::string NameOf(const std::string& target) {
    return IsStandardOutput(target) ? "standard output" : target;
}

}  // namespace

std::unique_ptr<PendingOutput> PendingOutput::Create(const std::string& target, mode_t mode,
                                                     FileFailure* failure) {
    std::unique_ptr<PendingOutput> output(new PendingOutput);
    output->target_ = target;
    std::string pattern;
    if (IsStandardOutput(target)) {
        pattern = TemporaryDirectory() + "/.xpmimport.XXXXXX";
    } else {
        size_t slash = target.find_last_of(PathSeparators());
        std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
        std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
        if (name.empty()) {
            *failure = {"cannot create " + target + ": the name ends with a slash", EISDIR};
            return nullptr;
        }
        pattern = directory + "." + name + ".XXXXXX";
    }
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    int fd = IsStandardOutput(target) ? MakeUnnamedTemporaryFile(pattern)
                                      : MakeTemporaryFile(path.data());
    if (fd < 0) {
        int error = errno;
        *failure = FailureFromErrno(
            IsStandardOutput(target)
                ? "cannot make a temporary file in " + pattern.substr(0, pattern.rfind('/'))
                : "cannot create " + target,
            error);
        return nullptr;
    }
    if (!IsStandardOutput(target)) {
        output->temporary_ = path.data();
        output->signalSlot_ = RegisterTemporaryFile(path.data());
    }
    if (!SetFileMode(fd, mode) ||
        (output->stream_ = fdopen(fd, IsStandardOutput(target) ? "w+b" : "wb")) == nullptr) {
        int error = errno;
        close(fd);
        *failure = FailureFromErrno("cannot create " + target, error);
        return nullptr;  // the destructor removes the temporary file
    }
    constexpr size_t kBufferBytes = size_t{1} << 16;
    output->buffer_.reset(new (std::nothrow) char[kBufferBytes]);
    if (output->buffer_ != nullptr)
        std::setvbuf(output->stream_, output->buffer_.get(), _IOFBF, kBufferBytes);
    return output;
}

PendingOutput::~PendingOutput() {
    if (stream_ != nullptr) std::fclose(stream_);
    if (!committed_ && !temporary_.empty()) unlink(temporary_.c_str());
    ForgetTemporaryFile(signalSlot_);
}

bool PendingOutput::Write(const void* bytes, size_t size, FileFailure* failure) {
    if (size == 0 || std::fwrite(bytes, 1, size, stream_) == size) return true;
    *failure = FailureFromErrno("cannot write " + NameOf(target_), errno);
    return false;
}

bool PendingOutput::CopyToStandardOutput(FileFailure* failure) {
    if (std::fseek(stream_, 0, SEEK_SET) != 0) {
        *failure = FailureFromErrno("cannot read the picture back", errno);
        return false;
    }
    std::vector<char> buffer(size_t{1} << 16);
    for (;;) {
        size_t got = std::fread(buffer.data(), 1, buffer.size(), stream_);
        if (got == 0) break;
        for (size_t sent = 0; sent < got;) {
            ssize_t written = write(STDOUT_FILENO, buffer.data() + sent, got - sent);
            if (written < 0 && errno == EINTR && !InterruptRequested()) continue;
            if (written <= 0) {
                *failure =
                    FailureFromErrno("cannot write to standard output", written < 0 ? errno : EIO);
                return false;
            }
            sent += static_cast<size_t>(written);
        }
    }
    if (std::ferror(stream_) != 0) {
        *failure = FailureFromErrno("cannot read the picture back", errno != 0 ? errno : EIO);
        return false;
    }
    return true;
}

bool PendingOutput::Commit(FileFailure* failure) {
    int error = 0;
    if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) error = errno != 0 ? errno : EIO;
    if (error == 0 && IsStandardOutput(target_)) {
        committed_ = CopyToStandardOutput(failure);
        return committed_;
    }
    int closed = std::fclose(stream_);
    stream_ = nullptr;
    if (error == 0 && closed != 0) error = errno;
    if (error != 0) {
        *failure = FailureFromErrno("cannot write " + NameOf(target_), error);
        return false;
    }
    if (!MoveIntoPlace(temporary_.c_str(), target_.c_str())) {
        *failure = FailureFromErrno("cannot replace " + target_, errno);
        return false;
    }
    committed_ = true;
    return true;
}

}  // namespace xpmimport
