// Making written pictures durable once, at the end of a run (--sync), instead of one fsync
// per file: a batch of small pictures waits on the disk once, not once per picture.
#pragma once

#include <string>
#include <vector>

namespace xpmimport {

// Syncs every file system that holds one of paths (syncfs, once per file system; on Windows
// FlushFileBuffers on each file), so the files and their directory entries are on the disk
// when it returns. False with *error set (naming the path) when a sync fails.
[[nodiscard]] bool SyncOutputs(const std::vector<std::string>& paths, std::string* error);

}  // namespace xpmimport
