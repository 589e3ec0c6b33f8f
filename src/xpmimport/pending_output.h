// An output file that appears whole or not at all: it is written to a temporary file in the
// target's directory and renamed over the target only when everything was written, so an
// existing file is never replaced by a broken one and an interrupted run leaves nothing.
// The picture for standard output is written to an unnamed temporary file and copied out
// only when complete, so a failed import sends nothing.
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
    // Creates the temporary file ".<name>.XXXXXX" beside target, with permissions `mode`
    // (before the umask is applied by the caller); for target "-", an unnamed one in
    // $TMPDIR (else /tmp) for standard output. Null with *failure set when it cannot.
    [[nodiscard]] static std::unique_ptr<PendingOutput> Create(const std::string& target,
                                                               mode_t mode, FileFailure* failure);
    // Removes the temporary file unless Commit succeeded.
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // Where to write. Owned by this object.
    [[nodiscard]] std::FILE* stream() const { return stream_; }
    // Empty for standard output (its temporary file has no name).
    [[nodiscard]] const std::string& temporaryPath() const { return temporary_; }

    // Writes all of bytes; false with *failure set on a write error.
    [[nodiscard]] bool Write(const void* bytes, size_t size, FileFailure* failure);

    // Flushes and closes the file, then renames it over the target (or copies it to
    // standard output). The data is not synced to the disk here (see SyncOutputs). False
    // with *failure set (and the temporary file removed) when any step fails.
    [[nodiscard]] bool Commit(FileFailure* failure);

  private:
    PendingOutput() = default;
    [[nodiscard]] bool CopyToStandardOutput(FileFailure* failure);
    std::string target_;
    std::string temporary_;
    std::FILE* stream_ = nullptr;
    // The stream's buffer, given before its first write so that stdio does not ask the
    // file for its block size (one system call per output file). Outlives stream_.
    std::unique_ptr<char[]> buffer_;
    int signalSlot_ = -1;  // the temporary file's place in the list a second signal removes
    bool committed_ = false;
};

}  // namespace xpmimport
