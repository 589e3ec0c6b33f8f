// An output file that appears whole or not at all: it is written to a temporary file in the
// target's directory and renamed over the target only when everything was written, so an
// existing file is never replaced by a broken one and an interrupted run leaves nothing. The
// new file takes the old one's permissions (and its owner and group where the caller may).
// Standard output, a device or a FIFO is written into instead: the picture goes to an unnamed
// temporary file and is copied out only when complete, so a failed import sends nothing.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <memory>
#include <string>

namespace xpmimport {

// A failure in words, and the errno behind it (ENOSPC tells a full disk).
struct FileFailure {
    std::string words;
    int error = 0;
};

// The -o name that stands for standard output.
inline constexpr const char* kStandardOutputName = "-";

class PendingOutput {
  public:
    // Creates the temporary file ".<name>.XXXXXX" beside target (the name cut to fit a file
    // name); for target "-", a device or a FIFO, an unnamed one in $TMPDIR (else /tmp). `mode`
    // (the umask already applied by the caller) is what a new output file gets. Null with
    // *failure set when it cannot.
    [[nodiscard]] static std::unique_ptr<PendingOutput> Create(const std::string& target,
                                                               mode_t mode, FileFailure* failure);
    // Removes the temporary file unless Commit succeeded.
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // Where to write. Owned by this object.
    [[nodiscard]] std::FILE* stream() const { return stream_; }
    // Writes all of bytes; false with *failure set on a write error.
    [[nodiscard]] bool Write(const void* bytes, size_t size, FileFailure* failure);

    // Flushes and closes the file, then renames it over the target (or copies it into
    // standard output, the device or the FIFO; a FIFO waits for its reader). The data is not
    // synced to the disk here (see SyncOutputs). False with *failure set (and the temporary
    // file removed) when any step fails.
    [[nodiscard]] bool Commit(FileFailure* failure);

  private:
    PendingOutput() = default;
    [[nodiscard]] bool CopyOut(FileFailure* failure);
    std::string target_;
    std::string temporary_;  // empty when the picture is copied out
    mode_t mode_ = 0;
    bool copiedOut_ = false;
    std::FILE* stream_ = nullptr;
    // The stream's buffer, given before its first write so that stdio does not ask the
    // file for its block size (one system call per output file). Outlives stream_.
    std::unique_ptr<char[]> buffer_;
    int signalSlot_ = -1;  // the temporary file's place in the list a second signal removes
    bool committed_ = false;
};

}  // namespace xpmimport
