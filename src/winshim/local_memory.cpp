// The Local* memory calls: thin exports over the local heap.
#include "memory_heap.h"

using winshim::LocalHeap;

extern "C" WINSHIM_API HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    return LocalHeap().Alloc(flags, bytes);
}

extern "C" WINSHIM_API LPVOID LocalLock(HLOCAL mem) {
    return LocalHeap().Lock(mem);
}

extern "C" WINSHIM_API BOOL LocalUnlock(HLOCAL mem) {
    return LocalHeap().Unlock(mem);
}

extern "C" WINSHIM_API HLOCAL LocalFree(HLOCAL mem) {
    return LocalHeap().Free(mem);
}
