// Why the input of this thread's import could not be read to its end. The filter takes a
// failed read for the end of the input (and so reports a bad file); the library remembers
// the cause so that the import job and the host can name it.
#pragma once

#include <cstdint>

namespace vrgdi32 {

// Records the cause of a failed read (a positive system error number, or one of the
// kVrRead* reasons) unless one is already recorded since the last clear.
void NoteReadFailure(int32_t reason);
// Forgets the recorded cause: a stream opens, or a job begins.
void ClearReadFailure();
// The recorded cause, 0 when none.
[[nodiscard]] int32_t RecordedReadFailure();

}  // namespace vrgdi32
