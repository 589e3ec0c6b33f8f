// The Global* memory calls: thin exports over the global heap.
#include "memory_heap.h"

using winshim::GlobalHeap;

extern "C" WINSHIM_API HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    return GlobalHeap().Alloc(flags, bytes);
}

extern "C" WINSHIM_API LPVOID GlobalLock(HGLOBAL mem) {
    return GlobalHeap().Lock(mem);
}

extern "C" WINSHIM_API BOOL GlobalUnlock(HGLOBAL mem) {
    return GlobalHeap().Unlock(mem);
}

extern "C" WINSHIM_API HGLOBAL GlobalFree(HGLOBAL mem) {
    return GlobalHeap().Free(mem);
}

extern "C" WINSHIM_API SIZE_T GlobalSize(HGLOBAL mem) {
    return GlobalHeap().Size(mem);
}

extern "C" WINSHIM_API UINT GlobalFlags(HGLOBAL mem) {
    return GlobalHeap().Flags(mem);
}
