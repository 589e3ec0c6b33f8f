// What every fuzz target needs: the filter's module state set up as at load, and a check
// that an input left no memory block, lock or metafile behind.
#pragma once

#include <string>

namespace xpmfuzz {

// Binds the real graphics library, registers the resources and the instance handle.
void EnsureModuleReady();
// Traps when a memory block, lock or metafile is alive that was not before the first input.
void CheckNothingLeft();
// A per-process file path for profile contents.
const std::string& ScratchProfilePath();

}  // namespace xpmfuzz
