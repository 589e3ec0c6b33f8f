// The recovery copy of a profile: the old bytes, saved before a write changes the file in
// place, removed when the write is complete, and restored by the next reader or writer when
// the writing process died in between.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "winshim/winshim.h"

namespace winshim {

// The two places a profile's copy may be: beside the file (its real path plus ".~undo"), and
// in the temporary directory under the file's device and inode numbers, for a file whose
// directory takes no new files or whose name leaves no room for the suffix.
struct RecoveryNames {
    std::string beside;
    std::string temporary;
};

[[nodiscard]] RecoveryNames RecoveryNamesFor(const std::string& path, const struct stat& file);

// Copies found for the file whose status is `file`. `trusted` lists the copies this process
// may act on (made by this user, the file's owner or root, and writable by nobody else);
// `bytes` holds the old bytes when one of them is complete and belongs to this very file.
struct FoundCopies {
    std::vector<std::string> trusted;
    std::optional<std::string> bytes;
};

[[nodiscard]] FoundCopies FindRecoveryCopies(const RecoveryNames& names, const struct stat& file);

// Saves `bytes` as the copy of the file and flushes it to the disk; *savedAt names it. False
// with *error set when neither place takes it (then the write must not start).
[[nodiscard]] bool SaveRecoveryCopy(const RecoveryNames& names, const struct stat& file,
                                    const std::string& bytes, std::string* savedAt, DWORD* error);

// Removes copies; a name that is already gone is fine.
void RemoveRecoveryCopies(const std::vector<std::string>& names);

}  // namespace winshim
