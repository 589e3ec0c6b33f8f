// The temporary-file-and-rename output.
#include "xpmimport/output/pending_output.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "xpmimport/output/file_system.h"
#include "xpmimport/output/interrupt.h"

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

// The longest file name the usual file systems take.
constexpr size_t kNameMax = 255;

}  // namespace

std::unique_ptr<PendingOutput> PendingOutput::Create(const std::string& target, mode_t mode,
                                                     FileFailure* failure) {
    std::unique_ptr<PendingOutput> output(new PendingOutput);
    output->target_ = target;
    output->mode_ = mode;
    output->copiedOut_ =
        IsStandardOutput(target) || KindOfOutput(target.c_str()) == OutputKind::kDeviceOrFifo;
    std::string pattern;
    if (output->copiedOut_) {
        pattern = TemporaryDirectory() + "/.xpmimport.XXXXXX";
    } else {
        size_t slash = target.find_last_of(PathSeparators());
        std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
        std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
        if (name.empty()) {
            *failure = {"cannot create " + target + ": the name ends with a slash", EISDIR};
            return nullptr;
        }
        pattern = directory + "." + name.substr(0, kNameMax - 8) + ".XXXXXX";
    }
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    int fd =
        output->copiedOut_ ? MakeUnnamedTemporaryFile(pattern) : MakeTemporaryFile(path.data());
    if (fd < 0) {
        int error = errno;
        *failure = FailureFromErrno(output->copiedOut_ ? "cannot make a temporary file in " +
                                                             pattern.substr(0, pattern.rfind('/'))
                                                       : "cannot create " + target,
                                    error);
        return nullptr;
    }
    if (!output->copiedOut_) {
        output->temporary_ = path.data();
        output->signalSlot_ = RegisterTemporaryFile(path.data());
    }
    // The file stays private (0600) until it takes the target's place.
    if ((output->stream_ = StreamOverFile(fd, output->copiedOut_ ? "w+b" : "wb")) == nullptr) {
        int error = errno;
        (void)CloseFile(fd);
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
    if (!committed_ && !temporary_.empty()) (void)RemoveFile(temporary_.c_str());
    ForgetTemporaryFile(signalSlot_);
}

bool PendingOutput::Write(const void* bytes, size_t size, FileFailure* failure) {
    if (size == 0 || std::fwrite(bytes, 1, size, stream_) == size) return true;
    *failure = FailureFromErrno("cannot write " + NameOf(target_), errno);
    return false;
}

bool PendingOutput::CopyOut(FileFailure* failure) {
    if (std::fseek(stream_, 0, SEEK_SET) != 0) {
        *failure = FailureFromErrno("cannot read the picture back", errno);
        return false;
    }
    const bool standardOutput = IsStandardOutput(target_);
    const int fd = standardOutput ? kStandardOutputFd : OpenForWritingInto(target_.c_str());
    if (fd < 0) {
        *failure = FailureFromErrno("cannot write to " + target_, errno);
        return false;
    }
    std::vector<char> buffer(size_t{1} << 16);
    int error = 0;
    while (error == 0) {
        size_t got = std::fread(buffer.data(), 1, buffer.size(), stream_);
        if (got == 0) break;
        for (size_t sent = 0; sent < got && error == 0;) {
            const int64_t written = WriteNext(fd, buffer.data() + sent, got - sent);
            if (written < 0 && errno == EINTR && !InterruptRequested()) continue;
            if (written <= 0) error = written < 0 ? errno : EIO;
            if (written > 0) sent += static_cast<size_t>(written);
        }
    }
    if (!standardOutput && !CloseFile(fd) && error == 0) error = errno;
    if (error != 0) {
        *failure = FailureFromErrno("cannot write to " + NameOf(target_), error);
        return false;
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
    if (error == 0 && copiedOut_) {
        committed_ = CopyOut(failure);
        return committed_;
    }
    if (error == 0 && !TakeOverAttributes(DescriptorOf(stream_), target_.c_str(), mode_))
        error = errno;
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
