// An output file that appears whole or not at all: it is written to a temporary file in the
// target's directory and renamed over the target only when everything was written, so an
// existing file is never replaced by a broken one and an interrupted run leaves nothing.
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

class PendingOutput {
  public:
    // Creates the temporary file ".<name>.XXXXXX" beside target, with permissions `mode`
    // (before the umask is applied by the caller). Null with *failure set when it cannot.
    [[nodiscard]] static std::unique_ptr<PendingOutput> Create(const std::string& target, mode_t mode,
                                                               FileFailure* failure);
    // Removes the temporary file unless Commit succeeded.
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // Where to write. Owned by this object.
    [[nodiscard]] std::FILE* stream() const { return stream_; }
    [[nodiscard]] const std::string& temporaryPath() const { return temporary_; }

    // Writes all of bytes; false with *failure set on a write error.
    [[nodiscard]] bool Write(const void* bytes, size_t size, FileFailure* failure);

    // Flushes, syncs and closes the file, then renames it over the target. False with
    // *failure set (and the temporary file removed) when any step fails.
    [[nodiscard]] bool Commit(FileFailure* failure);

  private:
    PendingOutput() = default;
    std::string target_;
    std::string temporary_;
    std::FILE* stream_ = nullptr;
    bool committed_ = false;
};

}  // namespace xpmimport
