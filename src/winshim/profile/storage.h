// Where a profile file lives and how its bytes are read and changed: a bare name means the
// Windows directory; readers take no lock and read again when a writer was at work; a write
// changes the file in place and keeps a recovery copy meanwhile, in a slot that keeps other
// writers out.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>

#include "winshim/winshim.h"

namespace winshim {

struct ProfileLocation {
    std::string path;
    bool inWindowsDirectory = false;  // the caller gave a bare file name
};

// Resolves a profile file name: null means "win.ini"; a name without '/' or '\\' is placed
// in the Windows directory; any other name is used as given (relative to the current
// directory). Returns false with ERROR_ACCESS_DENIED in *error for the empty name.
[[nodiscard]] bool ResolveProfileLocation(const char* name, ProfileLocation* location,
                                          DWORD* error);

// What identifies one version of a file: a change to it changes at least one field.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of what `path` names now; false when nothing is there. (Only a regular file can
// have the stamp of a profile read before.)
[[nodiscard]] bool StampOfPath(const std::string& path, FileStamp* stamp);

enum class LoadOutcome { kLoaded, kMissing, kFailed };

// Reads one complete version of the whole file into *bytes, without a lock: read again while a
// writer holds its lock (for a moment) or the file changes under the read; when a writer died
// half way and the file is still as it left it, the old bytes (repaired on the disk when this
// process may write the file, else taken from the recovery copy). *stamp (may be null)
// receives the file's stamp, or stays default when the bytes may not match it. kMissing when
// the file does not exist, with *error saying whether its directory is missing too; kFailed
// with *error set when it exists but cannot be read as a profile (a directory, a device,
// unreadable, larger than profiles ever are, or changing all the time).
[[nodiscard]] LoadOutcome LoadProfileBytes(const std::string& path, std::string* bytes,
                                           FileStamp* stamp, DWORD* error);

enum class EditOutcome { kUnchanged, kChanged, kFailed };
// Given the file's bytes (empty for a new file), stores the new bytes in *updated and says
// whether they differ; kFailed with *error set refuses the write.
using ProfileEdit =
    std::function<EditOutcome(const std::string& bytes, std::string* updated, DWORD* error)>;

struct UpdateResult {
    bool created = false;  // the file did not exist and was made
};

// One read-modify-write of the profile, kept apart from every other writer in any process by the
// profile's recovery slot (profile/recovery.h). Opens the file (creating it when missing and
// mayCreate is set), refuses a file without any write permission bit, repairs what a writer
// that died left behind, passes the bytes to `edit`, and writes changed bytes back in place,
// so owner, mode, hard links and symbolic links stay. The old and new bytes are first saved in
// the slot, so that a later reader or writer can undo the write if this process dies before it
// is complete. Returns true only when the new bytes reached the file (or nothing had to
// change); on false the file holds its old bytes and *error says why.
[[nodiscard]] bool UpdateProfile(const ProfileLocation& location, bool mayCreate,
                                 const ProfileEdit& edit, UpdateResult* result, DWORD* error);

}  // namespace winshim
