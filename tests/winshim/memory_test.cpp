// Global and local memory: lock counts, unlock results and last errors, zero-size and fixed
// blocks, freed handles. Only Win32 calls, so the Windows build runs the same cases against
// the system; then, on POSIX, libwinshim's own guarantees: invented handles, fault injection.
#include "winshim_test.h"
#if !defined(_WIN32)
#include "fault_hooks.h"
#endif

namespace {

using namespace winshim_test;

// Wine is known to differ from Windows here (its own tests mark these todo_wine): GlobalUnlock
// of a freed handle returns FALSE, not TRUE, and a pointer that is no block is locked and
// freed as if it were one.
constexpr BOOL kUnlockFreed = kWine ? FALSE : TRUE;

uintptr_t V(const void* p) {
    return reinterpret_cast<uintptr_t>(p);
}

struct Api {
    const char* name;
    HANDLE (*alloc)(UINT, SIZE_T);
    LPVOID (*lock)(HANDLE);
    BOOL (*unlock)(HANDLE);
    HANDLE (*free)(HANDLE);
};
const Api kGlobal{"Global", GlobalAlloc, GlobalLock, GlobalUnlock, GlobalFree};
const Api kLocal{"Local", LocalAlloc, LocalLock, LocalUnlock, LocalFree};

// One call on the row's handle: what it returns, and the last error it leaves (kUnchanged:
// none set). kData stands for the pointer the first lock returned, kSame for the handle itself.
enum Op { kLock, kUnlock, kSize, kFlags, kFree };
const char* const kOpNames[] = {"Lock", "Unlock", "GlobalSize", "GlobalFlags", "Free"};
constexpr uintptr_t kData = ~uintptr_t{0}, kSame = kData - 1;
struct Step {
    Op op;
    uintptr_t want;
    DWORD error = kUnchanged;
};
struct Call {
    Op op;
    Step operator()(uintptr_t want, DWORD error = kUnchanged) const { return {op, want, error}; }
};
constexpr Call Lock{kLock}, Unlock{kUnlock}, Size{kSize}, Flags{kFlags}, Free{kFree};

struct Case {
    const char* name;
    const Api& api;
    HANDLE handle;
    std::vector<Step> steps;
};

void RunSteps(const Case& c) {
    uintptr_t data = 0;
    for (size_t i = 0; i < c.steps.size(); ++i) {
        const Step& s = c.steps[i];
        const HANDLE h = c.handle;
        SetLastError(kUnchanged);
        const uintptr_t got = s.op == kLock     ? V(c.api.lock(h))
                              : s.op == kUnlock ? c.api.unlock(h)
                              : s.op == kSize   ? GlobalSize(h)
                              : s.op == kFlags  ? GlobalFlags(h)
                                                : V(c.api.free(h));
        const DWORD error = GetLastError();
        const uintptr_t want = s.want == kData   ? (data = data ? data : got)
                               : s.want == kSame ? V(h)
                                                 : s.want;
        EXPECT_TRUE(got == want && error == s.error)
            << c.api.name << ": " << c.name << ": step " << i + 1 << ", " << kOpNames[s.op]
            << ", gives " << got << " and last error " << error << "; want " << want
            << " and last error " << s.error;
        // Data is 16-aligned; movable handles are not.
        EXPECT_TRUE(s.want != kData || (data != V(h) && data % 16 == 0 && V(h) % 16 == 8))
            << c.name << ": handle " << h << ", data " << data;
    }
}

TEST(Memory, CallSequences) {
    alignas(16) static unsigned char notHeap[32];
    // The heap code is one for both families: the Local rows are those where Local answers
    // otherwise than Global.
    // clang-format off
    const Case cases[] = {
        {.name = "a movable block counts its locks, and its handle dies with it", .api = kGlobal,
         .handle = GlobalAlloc(GHND, 256),
         .steps = {Lock(kData), Flags(1), Size(256), Lock(kData), Flags(2), Unlock(TRUE), Flags(1),
                   Unlock(FALSE, NO_ERROR), Flags(0), Unlock(FALSE, ERROR_NOT_LOCKED), Free(0),
                   Lock(0, 6), Unlock(kUnlockFreed, 6), Size(0, 6), Flags(0x8000, 6),
                   Free(kSame, 6)}},
        {.name = "a movable block counts its locks, and its handle dies with it", .api = kLocal,
         .handle = LocalAlloc(LHND, 256),
         .steps = {Lock(kData), Lock(kData), Unlock(TRUE), Unlock(FALSE, NO_ERROR),
                   Unlock(FALSE, ERROR_NOT_LOCKED), Free(0), Unlock(FALSE, 6), Lock(0, 6),
                   Free(kSame, 6)}},
        {.name = "a locked block is freed", .api = kGlobal, .handle = GlobalAlloc(GHND, 8),
         .steps = {Lock(kData), Lock(kData), Free(0)}},
        {.name = "a movable block of no bytes is discarded", .api = kGlobal,
         .handle = GlobalAlloc(GHND, 0),
         .steps = {Lock(0, ERROR_DISCARDED), Size(0), Flags(GMEM_DISCARDED), Free(0)}},
        {.name = "a fixed block is its own pointer, never locked", .api = kGlobal,
         .handle = GlobalAlloc(GMEM_FIXED, 100),
         .steps = {Lock(kSame), Unlock(TRUE), Flags(0), Size(100), Free(0)}},
        {.name = "a fixed block is its own pointer, never locked", .api = kLocal,
         .handle = LocalAlloc(LMEM_FIXED, 100),
         .steps = {Unlock(FALSE, ERROR_NOT_LOCKED), Lock(kSame), Free(0)}},
        {.name = "a fixed block of no bytes has one", .api = kGlobal,
         .handle = GlobalAlloc(GMEM_FIXED, 0), .steps = {Size(1), Free(0)}},
        {.name = "a handle-shaped value, no handle", .api = kGlobal, .handle = HANDLE(0xc042),
         .steps = {Size(0, 6), Lock(0, 6), Flags(0x8000, 6)}},
    };
    for (const Case& c : cases) RunSteps(c);
    const Case pointerShaped[] = {
        {.name = "a pointer that is no block", .api = kGlobal, .handle = notHeap,
         .steps = {Unlock(TRUE), Lock(0, 6), Size(0, 6), Free(kSame, ERROR_NOACCESS)}},
        {.name = "a pointer that is no block", .api = kLocal, .handle = notHeap,
         .steps = {Lock(0), Unlock(FALSE, ERROR_NOT_LOCKED)}},
    };
    // clang-format on
    if (!kWine)
        for (const Case& c : pointerShaped) RunSteps(c);
    EXPECT_TRUE(!GlobalFree(nullptr) && !LocalFree(nullptr));
}

// The lock count stops at 255 (the 255th unlock reaches 0); GHND and LPTR memory is zeroed
// (the heap is dirtied first); sizes no memory can hold fail with ERROR_NOT_ENOUGH_MEMORY.
TEST(Memory, LockCountZeroInitAndHugeRequests) {
    for (const Api* api : {&kGlobal, &kLocal}) {
        HANDLE h = api->alloc(GMEM_MOVEABLE, 16);
        for (int i = 0; i < 256; ++i) ASSERT_NE(api->lock(h), nullptr) << api->name << i;
#if !defined(_WIN32)
        const WinshimCounts counts = WinshimGetCounts();
        EXPECT_EQ(counts.globalLocks + counts.localLocks, 255u) << api->name << ": live locks";
#endif
        for (int i = 0; i < 254; ++i) ASSERT_TRUE(api->unlock(h)) << api->name << " unlock " << i;
        EXPECT_TRUE(!api->unlock(h) && api->free(h) == nullptr) << api->name << ": 255th unlock";
        for (UINT flags : {GHND, LPTR}) {
            std::free(std::memset(std::malloc(4000), 0xAB, 4000));
            HANDLE z = api->alloc(flags, 4000);
            auto* p = static_cast<unsigned char*>(api->lock(z));
            EXPECT_EQ(std::vector<unsigned char>(p, p + 4000), std::vector<unsigned char>(4000))
                << api->name << ", flags " << flags;
            EXPECT_TRUE(api != &kGlobal || GlobalSize(p) == 4000)
                << "GlobalSize of the locked pointer";
            api->unlock(z);
            EXPECT_EQ(api->free(z), nullptr);
        }
        for (UINT flags : {GHND, GMEM_FIXED}) {
            SetLastError(0);
            EXPECT_TRUE(!api->alloc(flags, SIZE_MAX) && GetLastError() == ERROR_NOT_ENOUGH_MEMORY)
                << api->name << ", flags " << flags << ": last error " << GetLastError();
        }
    }
}

#if !defined(_WIN32)
// libwinshim's own guarantees, beyond what Windows promises: every invented or foreign handle
// is refused (on Windows a local handle works in the Global calls), and a failed allocation
// says so. The shared main fails a test that leaves a block or a lock behind.

TEST(Memory, RefusesInventedAndForeignHandles) {
    HANDLE other = GlobalAlloc(GMEM_MOVEABLE, 16), otherLocal = LocalAlloc(LMEM_MOVEABLE, 16);
    HENHMETAFILE emf = SetEnhMetaFileBits(4, reinterpret_cast<const BYTE*>("EMF!"));
    const std::vector<Step> refused = {Lock(0, 6), Unlock(TRUE, 6), Size(0, 6), Flags(0x8000, 6),
                                       Free(kSame, 6)};
    // clang-format off
    const Case cases[] = {
        {.name = "a handle of another generation", .api = kGlobal,
         .handle = HANDLE(V(other) ^ (uintptr_t{1} << 32)), .steps = refused},
        {.name = "a handle to another slot", .api = kGlobal, .handle = HANDLE(V(other) + 0x1000),
         .steps = refused},
        {.name = "a local handle", .api = kGlobal, .handle = otherLocal, .steps = refused},
        {.name = "a metafile handle", .api = kGlobal, .handle = emf, .steps = refused},
        {.name = "a global handle", .api = kLocal, .handle = other,
         .steps = {Lock(0, 6), Unlock(FALSE, 6)}},
    };
    // clang-format on
    for (const Case& c : cases) RunSteps(c);
    EXPECT_TRUE(!GlobalFree(other) && !LocalFree(otherLocal) && DeleteEnhMetaFile(emf));
}

// Each allocation made for movable, fixed and zero-size blocks fails in turn: that one call
// fails with ERROR_NOT_ENOUGH_MEMORY, and the next calls leave the error be.
TEST(Memory, FailedAllocations) {
    for (const Api* api : {&kGlobal, &kLocal}) {
        for (uint64_t n = 0;; ++n) {
            HANDLE b[4];
            const bool fired = xpmfault::FailDuring(xpmfault::Kind::kAllocation, n, [&] {
                SetLastError(kUnchanged);
                b[0] = api->alloc(GHND, 32);
                b[1] = api->alloc(GMEM_FIXED, 32);
                b[2] = api->alloc(GHND, 0);
                b[3] = api->alloc(GHND, 32);
            });
            EXPECT_EQ(std::count(b, b + 4, nullptr), fired ? 1 : 0) << api->name << ", fault " << n;
            EXPECT_EQ(GetLastError(), fired ? ERROR_NOT_ENOUGH_MEMORY : kUnchanged)
                << api->name << ", fault " << n;
            for (HANDLE block : b) EXPECT_EQ(api->free(block), nullptr) << api->name << n;
            if (!fired) break;
        }
    }
}

// The other calls that allocate, each allocation failed in turn: a call answers as if nothing
// failed, or as for no memory (its failure answer, and the last error ERROR_NOT_ENOUGH_MEMORY).
// Each call writes into a buffer that holds "stale" before.
TEST(Memory, OtherCallsWithoutMemory) {
    const xpmtest::TempDir dir;
    // Longer than a short string holds, so that reading the file allocates.
    const std::string ini = WriteFile(dir.file("p.ini"), "[a]\r\nk=v\r\nn=5\r\n;");
    const char* const file = ini.c_str();
    struct Call {
        const char* name;
        std::function<long(char*)> call;
        std::set<std::string> failed;  // the call's result, a space, what its buffer holds
    };
    // clang-format off
    const Call calls[] = {
        // The default when the file could not be read; else nothing.
        {"GetPrivateProfileStringA",
         [&](char* b) { return GetPrivateProfileStringA("a", "k", "d", b, 9, file); },
         {"1 d", "0 "}},
        {"GetPrivateProfileIntA", [&](char*) { return GetPrivateProfileIntA("a", "n", 7, file); },
         {"7 stale"}},
        // Its nErrCode, 0 when found (99 before the call).
        {"OpenFile", [&](char*) {
             OFSTRUCT of{.nErrCode = 99};
             return OpenFile(file, &of, OF_EXIST) == 1 ? 0 : of.nErrCode; }, {"8 stale"}},
        {"GetWindowsDirectoryA", [](char* b) { return GetWindowsDirectoryA(b, 300); }, {"0 stale"}},
        {"GetTempPathA", [](char* b) { return GetTempPathA(300, b); }, {"0 stale"}},
    };
    // clang-format on
    for (const Call& c : calls) {
        char buffer[300] = "stale";
        const std::string whole = std::to_string(c.call(buffer)) + " " + buffer;
        for (uint64_t n = 0;; ++n) {
            long result = 0;
            std::strcpy(buffer, "stale");
            SetLastError(kUnchanged);
            const bool fired = xpmfault::FailDuring(xpmfault::Kind::kAllocation, n,
                                                    [&] { result = c.call(buffer); });
            const DWORD error = GetLastError();
            const std::string got = std::to_string(result) + " " + buffer;
            EXPECT_TRUE(got == whole || (fired && c.failed.count(got) && error == 8))
                << c.name << " with allocation " << n << " failed gives \"" << got
                << "\" and last error " << error << ", want \"" << whole << "\" or a failure";
            if (!fired) break;
        }
    }
}
#endif

}  // namespace
