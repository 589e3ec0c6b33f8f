// Where a profile file lives and how its bytes are read and replaced: a bare name means the
// Windows directory, reads always go to the disk, writes replace the file atomically.
#pragma once

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

enum class LoadOutcome { kLoaded, kMissing, kFailed };

// Reads the whole file into *bytes. kMissing when it does not exist; kFailed with *error set
// when it exists but cannot be read as a profile (a directory, a device, unreadable, or
// larger than profiles ever are).
[[nodiscard]] LoadOutcome LoadProfileBytes(const std::string& path, std::string* bytes,
                                           DWORD* error);

// Replaces the file with `bytes`: writes a temporary file beside it, flushes it to the disk
// and renames it over the old one, so readers see the old or the new file, never a mix.
// On failure the old file is untouched, no temporary file is left, and *error says why.
[[nodiscard]] bool ReplaceProfileBytes(const ProfileLocation& location, const std::string& bytes,
                                       DWORD* error);

}  // namespace winshim
