// What is alive in libwinshim right now, for the tests' leak checks. Only the test build of
// the library (lib/testing/libwinshim.so.N, never installed) exports the count; test
// programs list that directory first in their run path, so it is the libwinshim of the whole
// process, and they reach the count at run time: the shipped library has no such export.
#pragma once

#include <dlfcn.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

struct WinshimCounts {
    uint64_t globalBlocks;  // live global memory blocks
    uint64_t globalLocks;   // sum of the lock counts of live global blocks
    uint64_t localBlocks;
    uint64_t localLocks;
    uint64_t metafiles;  // live enhanced and plain metafile handles
};

static_assert(sizeof(WinshimCounts) == 40);
static_assert(offsetof(WinshimCounts, globalBlocks) == 0);
static_assert(offsetof(WinshimCounts, globalLocks) == 8);
static_assert(offsetof(WinshimCounts, localBlocks) == 16);
static_assert(offsetof(WinshimCounts, localLocks) == 24);
static_assert(offsetof(WinshimCounts, metafiles) == 32);

extern "C" {
using WinshimLiveCountsProc = WinshimCounts (*)();
}

// The counts now. Aborts when the process did not load the test build of libwinshim.
inline WinshimCounts WinshimGetCounts() {
    static const auto proc =
        reinterpret_cast<WinshimLiveCountsProc>(dlsym(RTLD_DEFAULT, "WinshimLiveCounts"));
    if (proc == nullptr) {
        std::fprintf(stderr,
                     "this program must load the test build of libwinshim (lib/testing/)\n");
        std::abort();
    }
    return proc();
}
