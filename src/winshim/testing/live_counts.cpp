// The count behind live_counts.h, compiled into the test build of libwinshim only.
#include "testing/live_counts.h"

#include "memory_heap.h"
#include "metafile_store.h"

extern "C" WINSHIM_API WinshimCounts WinshimLiveCounts(void) {
    WinshimCounts counts{};
    winshim::GlobalHeap().Count(&counts.globalBlocks, &counts.globalLocks);
    winshim::LocalHeap().Count(&counts.localBlocks, &counts.localLocks);
    counts.metafiles = winshim::LiveMetafileCount();
    return counts;
}
