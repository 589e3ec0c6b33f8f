// The recovery slot of a profile: a small file that a writer holds, write-locked, for the whole
// of its write. Holding it keeps other writers out; while the profile is being changed it holds
// the old and the new bytes, so that whoever finds it unlocked knows that its writer died and can
// tell whether the profile is still in a state that writer left, and only then put the old bytes
// back. Only the profile's owner and root can open a slot, so nobody else can hold one.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

#include "posix_file.h"
#include "winshim/winshim.h"

namespace winshim {

// What a writer saved before changing the profile in place.
struct RecoveryCopy {
    std::string old;      // the profile's bytes before the write
    std::string updated;  // the bytes the write was putting in
};

// The old bytes to put back into a profile that now holds `current`: only when `current` is a
// state the copy's writer could have left part way (every byte the old or the new one at its
// offset, the length between the two), and not the complete new bytes (that write finished).
// nullopt when the profile is to stay as it is: a later hand edit, a file made anew.
[[nodiscard]] std::optional<std::string> BytesToRestore(const RecoveryCopy& copy,
                                                        const std::string& current);

// The copy that a writer which died left for the profile `file` (opened as `path`), found
// without taking its slot; nullopt when there is none, its writer is still at work, or this
// user may not read it.
[[nodiscard]] std::optional<RecoveryCopy> FindLeftCopy(const std::string& path,
                                                       const struct stat& file);

class RecoverySlot {
  public:
    RecoverySlot() = default;
    RecoverySlot(const RecoverySlot&) = delete;
    RecoverySlot& operator=(const RecoverySlot&) = delete;
    // Lets go of the slot, and removes it unless it may hold a copy still needed: one that a
    // dead writer left (found when the slot was taken), or one Save made.
    ~RecoverySlot();

    // Takes the slot of the profile `file` (opened as `path`), making it when missing: beside
    // the profile ("NAME.~undo", shortened to fit a file name) when only the profile's owner can
    // add files to its directory, else in the owner's private directory under $TMPDIR (else
    // /tmp), "winshim-UID/DEV-INODE.~undo" (a name someone else took is passed over). A writer
    // that is neither the owner nor root, and cannot reach the owner's slot, uses its own
    // private directory. Waits while another writer holds the slot; false with *error set: 33
    // when one held it throughout, 5 when no slot can be made.
    [[nodiscard]] bool Acquire(const std::string& path, const struct stat& file, DWORD* error);

    // The copy a dead writer left in the slot, when it is one for this very file.
    [[nodiscard]] std::optional<RecoveryCopy> Left(const struct stat& file) const;

    // Replaces what the slot holds with the copy and flushes it (and its name) to the disk; the
    // slot then stays unless Release is called. False with *error set when it cannot (then the
    // write must not start).
    [[nodiscard]] bool Save(const struct stat& file, const std::string& old,
                            const std::string& updated, DWORD* error);

    // Removes the slot and lets go of it: the write is complete, or undone.
    void Release();

  private:
    FileDescriptor fd_;
    std::string name_;
    bool keep_ = false;
};

}  // namespace winshim
