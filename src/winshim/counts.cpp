// What is alive right now, for the tests' leak checks.
#include "memory_heap.h"
#include "metafile_store.h"

extern "C" WINSHIM_API WinshimCounts WinshimGetCounts(void) {
    WinshimCounts counts{};
    winshim::GlobalHeap().Count(&counts.globalBlocks, &counts.globalLocks);
    winshim::LocalHeap().Count(&counts.localBlocks, &counts.localLocks);
    counts.metafiles = winshim::LiveMetafileCount();
    return counts;
}
