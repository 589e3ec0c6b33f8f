// Opens an import's input as a stream, the first rule that applies deciding: through the
// caller's read routine; from a global memory block when the path is empty; else the file.
#pragma once

#include <cstdint>

#include "vrgdi32/vrgdi32.h"

namespace xpmfilter {

// Where an import's input comes from, as the host gave it; the first rule that applies
// decides: the read routine, else the memory block when the path is empty, else the file.
struct InputOrigin {
    const char* path = "";     // the file, or the name handed along to a routine; never null
    uint64_t routine = 0;      // the host's VrReadRoutine, or 0
    uint64_t userData = 0;     // handed to the routine
    HGLOBAL memory = nullptr;  // the whole input in global memory, or null
};

// What an open input holds besides its stream. The StreamSource and the locked address live
// here because the graphics library reads them until the stream is closed, so an InputSource
// must not move while its stream is open.
struct InputSource {
    StreamSource source{};
    HGLOBAL memory = nullptr;       // the handle this input locked, or null
    void* lockedAddress = nullptr;  // what the lock gave; offset 0 of `source` points here
};

// Opens the input:
//   routine non-zero: StreamOpen(path, source{userData, routine}, 0);
//   memory non-null and path empty: lock memory, StreamOpen(null, source{&lockedAddress,
//     GlobalSize (32 bits)}, 0); input.memory records the lock (also when the lock failed,
//     with lockedAddress null, so the caller's unlock rule stays simple);
//   otherwise StreamOpen(path, null, 0).
// Returns the stream or null. Does not unlock on failure: see UnlockInputMemory.
[[nodiscard]] StreamHandle OpenInputStream(InputSource& input, const InputOrigin& origin);

// Unlocks the memory block if OpenInputStream locked it successfully; call it once.
void UnlockInputMemory(InputSource& input);

}  // namespace xpmfilter
