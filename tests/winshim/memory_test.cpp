// Global and local memory: lock counts, unlock results and last errors, discarded blocks,
// freed and invented handles, reallocation, fault injection and concurrent use.
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "winshim/winshim.h"

namespace {

constexpr DWORD kUnchanged = 0xDEADBEEF;  // the last error before each checked call
constexpr UINT kModify = 0x0080;

uintptr_t V(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// One call of a scripted sequence: what it returns and what it leaves in GetLastError.
struct Step {
    const char* what;
    std::function<uintptr_t()> call;
    uintptr_t want;
    DWORD wantError = kUnchanged;
};

void RunSteps(const char* sequence, const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        SetLastError(kUnchanged);
        uintptr_t got = step.call();
        DWORD error = GetLastError();
        EXPECT_EQ(got, step.want) << sequence << ": " << step.what << ": got " << got << ", want " << step.want;
        EXPECT_EQ(error, step.wantError) << sequence << ": " << step.what << ": last error got " << error
                                         << ", want " << step.wantError;
    }
}

// Live blocks and locks of both kinds, as one comparable value.
std::array<size_t, 4> Counts() {
    WinshimCounts c = WinshimGetCounts();
    return {c.globalBlocks, c.globalLocks, c.localBlocks, c.localLocks};
}

TEST(Memory, LockCountsAndUnlockResults) {  // M1-M5, M12
    HGLOBAL h = GlobalAlloc(GHND, 256);
    auto* p = static_cast<unsigned char*>(GlobalLock(h));
    ASSERT_NE(p, nullptr);
    EXPECT_NE(V(p), V(h)) << "a movable handle must not be the data pointer";
    for (int i = 0; i < 256; ++i) ASSERT_EQ(p[i], 0) << "GHND byte " << i;
    RunSteps("M1-M5", {
        {"GlobalFlags after one lock", [&] { return uintptr_t{GlobalFlags(h)}; }, 1},
        {"GlobalSize", [&] { return uintptr_t{GlobalSize(h)}; }, 256},
        {"second GlobalLock", [&] { return V(GlobalLock(h)); }, V(p)},
        {"GlobalFlags after two locks", [&] { return uintptr_t{GlobalFlags(h)}; }, 2},
        {"GlobalUnlock 2->1", [&] { return uintptr_t(GlobalUnlock(h) != 0); }, 1},
        {"GlobalFlags", [&] { return uintptr_t{GlobalFlags(h)}; }, 1},
        {"GlobalUnlock 1->0", [&] { return uintptr_t(GlobalUnlock(h)); }, 0, NO_ERROR},
        {"GlobalFlags unlocked", [&] { return uintptr_t{GlobalFlags(h)}; }, 0},
        {"GlobalUnlock at 0", [&] { return uintptr_t(GlobalUnlock(h)); }, 0, ERROR_NOT_LOCKED},
        {"GlobalFree", [&] { return V(GlobalFree(h)); }, 0},
    });
    HLOCAL l = LocalAlloc(LHND, 256);
    void* lp = LocalLock(l);
    ASSERT_NE(lp, nullptr);
    RunSteps("M12", {
        {"second LocalLock", [&] { return V(LocalLock(l)); }, V(lp)},
        {"LocalUnlock 2->1", [&] { return uintptr_t(LocalUnlock(l) != 0); }, 1},
        {"LocalUnlock 1->0", [&] { return uintptr_t(LocalUnlock(l)); }, 0, NO_ERROR},
        {"LocalUnlock at 0", [&] { return uintptr_t(LocalUnlock(l)); }, 0, ERROR_NOT_LOCKED},
        {"LocalFree", [&] { return V(LocalFree(l)); }, 0},
    });
}

TEST(Memory, LockCountStopsAt255) {  // M6
    for (auto [name, alloc, lock, unlock, freeBlock] :
         {std::tuple{"global", &GlobalAlloc, &GlobalLock, &GlobalUnlock, &GlobalFree},
          std::tuple{"local", &LocalAlloc, &LocalLock, &LocalUnlock, &LocalFree}}) {
        WinshimCounts before = WinshimGetCounts();
        HANDLE h = alloc(GMEM_MOVEABLE, 16);
        ASSERT_NE(h, nullptr) << name;
        for (int i = 0; i < 256; ++i) ASSERT_NE(lock(h), nullptr) << name << " lock " << i;
        WinshimCounts during = WinshimGetCounts();
        EXPECT_EQ(during.globalLocks + during.localLocks - before.globalLocks - before.localLocks, 255u) << name;
        for (int i = 0; i < 254; ++i) ASSERT_NE(unlock(h), 0) << name << " unlock " << i;
        SetLastError(kUnchanged);
        EXPECT_EQ(unlock(h), 0) << name << ": the 255th unlock must reach 0";
        EXPECT_EQ(GetLastError(), NO_ERROR) << name;
        EXPECT_EQ(freeBlock(h), nullptr) << name;
    }
}

TEST(Memory, CountsFollowBlocksAndFreeingALockedBlockDropsItsLocks) {  // M7, F7
    const std::array<size_t, 4> before = Counts();
    HGLOBAL g = GlobalAlloc(GHND, 8);
    HLOCAL l = LocalAlloc(LHND, 8);
    GlobalLock(g);
    GlobalLock(g);
    LocalLock(l);
    EXPECT_EQ(Counts(), (std::array<size_t, 4>{before[0] + 1, before[1] + 2, before[2] + 1, before[3] + 1}));
    EXPECT_EQ(GlobalFree(g), nullptr) << "freeing a locked block succeeds";
    EXPECT_EQ(LocalFree(l), nullptr);
    EXPECT_EQ(Counts(), before);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
}

TEST(Memory, FreedHandleIsRefusedByEveryCall) {  // M8, M13, F5
    HGLOBAL g = GlobalAlloc(GHND, 16);
    HLOCAL l = LocalAlloc(LHND, 16);
    ASSERT_EQ(GlobalFree(g), nullptr);
    ASSERT_EQ(LocalFree(l), nullptr);
    RunSteps("freed global handle", {
        {"GlobalLock", [&] { return V(GlobalLock(g)); }, 0, ERROR_INVALID_HANDLE},
        {"GlobalUnlock", [&] { return uintptr_t(GlobalUnlock(g)); }, TRUE, ERROR_INVALID_HANDLE},
        {"GlobalSize", [&] { return uintptr_t{GlobalSize(g)}; }, 0, ERROR_INVALID_HANDLE},
        {"GlobalFlags", [&] { return uintptr_t{GlobalFlags(g)}; }, GMEM_INVALID_HANDLE, ERROR_INVALID_HANDLE},
        {"GlobalFree", [&] { return V(GlobalFree(g)); }, V(g), ERROR_INVALID_HANDLE},
    });
    RunSteps("freed local handle", {
        {"LocalUnlock", [&] { return uintptr_t(LocalUnlock(l)); }, 0, ERROR_INVALID_HANDLE},
        {"LocalLock", [&] { return V(LocalLock(l)); }, 0, ERROR_INVALID_HANDLE},
        {"LocalFree", [&] { return V(LocalFree(l)); }, V(l), ERROR_INVALID_HANDLE},
    });
    // The handle stays dead after its slot is busy again.
    std::vector<HGLOBAL> live;
    for (int i = 0; i < 3000; ++i) {
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 8);
        ASSERT_NE(h, nullptr);
        ASSERT_NE(h, g) << "a freed handle value came back after " << i << " allocations";
        if (i % 2 == 0) ASSERT_EQ(GlobalFree(h), nullptr);
        else live.push_back(h);
    }
    RunSteps("stale handle", {{"GlobalLock", [&] { return V(GlobalLock(g)); }, 0, ERROR_INVALID_HANDLE}});
    for (HGLOBAL h : live) EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(Memory, InventedAndForeignValuesAreRefused) {  // M10, F5, F6
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, 16);
    HLOCAL l = LocalAlloc(LMEM_MOVEABLE, 16);
    HENHMETAFILE e = SetEnhMetaFileBits(4, reinterpret_cast<const BYTE*>("EMF!"));
    // A handle with the right shape and kind but another generation, and handles of the
    // other families: none may reach a block.
    const std::array<std::pair<const char*, HANDLE>, 5> handleShaped = {{
        {"0xc042", reinterpret_cast<HANDLE>(0xc042)},
        {"generation changed", reinterpret_cast<HANDLE>(V(g) ^ (uintptr_t{1} << 32))},
        {"slot changed", reinterpret_cast<HANDLE>(V(g) + 0x1000)},
        {"enhanced metafile", e},
        {"local handle", l},
    }};
    for (const auto& [name, value] : handleShaped) {
        SetLastError(kUnchanged);
        EXPECT_EQ(GlobalSize(value), 0u) << name;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << name;
        SetLastError(kUnchanged);
        EXPECT_EQ(GlobalLock(value), nullptr) << name;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << name;
        EXPECT_EQ(GlobalFlags(value), GMEM_INVALID_HANDLE) << name;
        EXPECT_EQ(GlobalFree(value), value) << name;
    }
    RunSteps("global handle elsewhere", {{"LocalLock", [&] { return V(LocalLock(g)); }, 0, ERROR_INVALID_HANDLE}});
    EXPECT_EQ(GetObjectType(g), 0u) << "a global handle is not a metafile";
    EXPECT_NE(V(g) >> 56, V(l) >> 56) << "global and local handles share a value range";

    alignas(16) static unsigned char notHeap[32];
    void* pointer = notHeap;
    RunSteps("pointer-shaped value", {
        {"GlobalUnlock", [&] { return uintptr_t(GlobalUnlock(pointer)); }, TRUE},
        {"GlobalLock", [&] { return V(GlobalLock(pointer)); }, 0, ERROR_INVALID_HANDLE},
        {"LocalLock", [&] { return V(LocalLock(pointer)); }, 0},
        {"LocalUnlock", [&] { return uintptr_t(LocalUnlock(pointer)); }, 0, ERROR_NOT_LOCKED},
        {"GlobalSize", [&] { return uintptr_t{GlobalSize(pointer)}; }, 0, ERROR_INVALID_HANDLE},
        {"GlobalFree", [&] { return V(GlobalFree(pointer)); }, V(pointer), ERROR_NOACCESS},
    });
    EXPECT_EQ(GlobalFree(g), nullptr);
    EXPECT_EQ(LocalFree(l), nullptr);
    EXPECT_TRUE(DeleteEnhMetaFile(e));
}

TEST(Memory, ZeroSizeMovableBlocksAreDiscarded) {  // M9, M15, F8
    struct Case {
        const char* name;
        bool global;
        UINT flags;
        UINT wantFlags;
    };
    for (const Case& c : {Case{"GlobalAlloc(GMEM_MOVEABLE, 0)", true, GMEM_MOVEABLE, 0x4000},
                          Case{"GlobalAlloc(GHND, 0)", true, GHND, 0x4000},
                          Case{"LocalAlloc(LHND, 0)", false, LHND, 0x4000}}) {
        HANDLE h = c.global ? GlobalAlloc(c.flags, 0) : LocalAlloc(c.flags, 0);
        ASSERT_NE(h, nullptr) << c.name;
        SetLastError(kUnchanged);
        EXPECT_EQ(c.global ? GlobalLock(h) : LocalLock(h), nullptr) << c.name;
        EXPECT_EQ(GetLastError(), ERROR_DISCARDED) << c.name;
        EXPECT_EQ(c.global ? GlobalFree(h) : LocalFree(h), nullptr) << c.name;
    }
}

TEST(Memory, FixedBlocksArePlainPointers) {  // M11, M14, F4, F8
    WinshimCounts before = WinshimGetCounts();
    HGLOBAL p = GlobalAlloc(GMEM_FIXED, 100);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(V(p) % 16, 0u) << "fixed blocks are 16-aligned";
    EXPECT_EQ(WinshimGetCounts().globalBlocks, before.globalBlocks + 1) << "a fixed block is live";
    RunSteps("GMEM_FIXED block", {
        {"GlobalLock", [&] { return V(GlobalLock(p)); }, V(p)},
        {"GlobalUnlock", [&] { return uintptr_t(GlobalUnlock(p)); }, TRUE},
        {"GlobalFlags", [&] { return uintptr_t{GlobalFlags(p)}; }, 0},
        {"GlobalSize", [&] { return uintptr_t{GlobalSize(p)}; }, 100},
        {"GlobalFree", [&] { return V(GlobalFree(p)); }, 0},
    });
    HLOCAL q = LocalAlloc(LMEM_FIXED, 100);
    RunSteps("LMEM_FIXED block", {
        {"LocalUnlock", [&] { return uintptr_t(LocalUnlock(q)); }, 0, ERROR_NOT_LOCKED},
        {"LocalLock", [&] { return V(LocalLock(q)); }, V(q)},
        {"LocalFree", [&] { return V(LocalFree(q)); }, 0},
    });
    HGLOBAL g0 = GlobalAlloc(GMEM_FIXED, 0);
    HLOCAL l0 = LocalAlloc(LMEM_FIXED, 0);
    EXPECT_EQ(GlobalSize(g0), 1u) << "GlobalAlloc(GMEM_FIXED, 0)";
    EXPECT_EQ(GlobalFree(g0), nullptr);
    EXPECT_EQ(LocalFree(l0), nullptr);
    EXPECT_EQ(WinshimGetCounts().globalBlocks, before.globalBlocks);
}


TEST(Memory, ZeroInitIsHonoured) {
    // Dirty memory first, so a missing clear would show.
    for (int round = 0; round < 4; ++round) {
        HGLOBAL dirty = GlobalAlloc(GMEM_MOVEABLE, 4000);
        std::memset(GlobalLock(dirty), 0xAB, 4000);
        GlobalUnlock(dirty);
        ASSERT_EQ(GlobalFree(dirty), nullptr);
        HLOCAL dirtyLocal = LocalAlloc(LMEM_FIXED, 4000);
        std::memset(dirtyLocal, 0xAB, 4000);
        ASSERT_EQ(LocalFree(dirtyLocal), nullptr);
        HGLOBAL g = GlobalAlloc(GHND, 4000);
        HLOCAL l = LocalAlloc(LPTR, 4000);
        auto* gp = static_cast<unsigned char*>(GlobalLock(g));
        auto* lp = static_cast<unsigned char*>(l);
        for (int i = 0; i < 4000; ++i) {
            ASSERT_EQ(gp[i], 0) << "GHND byte " << i;
            ASSERT_EQ(lp[i], 0) << "LPTR byte " << i;
        }
        GlobalUnlock(g);
        EXPECT_EQ(GlobalFree(g), nullptr);
        EXPECT_EQ(LocalFree(l), nullptr);
    }
}

TEST(Memory, FaultInjectionFailsExactlyTheChosenAllocation) {
    struct Case {
        const char* name;
        std::function<HANDLE()> allocate;
        bool global;
    };
    const std::vector<Case> cases = {
        {"GlobalAlloc(GHND)", [] { return GlobalAlloc(GHND, 32); }, true},
        {"GlobalAlloc(GMEM_FIXED)", [] { return GlobalAlloc(GMEM_FIXED, 32); }, true},
        {"GlobalAlloc(GHND, 0)", [] { return GlobalAlloc(GHND, 0); }, true},
        {"LocalAlloc(LHND)", [] { return LocalAlloc(LHND, 32); }, false},
    };
    for (const Case& c : cases) {
        for (int64_t n = 0; n < 4; ++n) {
            WinshimFailAllocationAfter(n);
            for (int64_t i = 0; i < 6; ++i) {
                SetLastError(kUnchanged);
                HANDLE h = c.allocate();
                EXPECT_EQ(h == nullptr, i == n) << c.name << ": allocation " << i << " with count " << n;
                if (h == nullptr) EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY) << c.name;
                else if (c.global) GlobalFree(h);
                else LocalFree(h);
            }
        }
    }
    WinshimFailAllocationAfter(-1);
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 8);
    EXPECT_NE(h, nullptr) << "injection off";
    WinshimFailAllocationAfter(0);
    EXPECT_EQ(GlobalSize(h), 8u);
    WinshimFailAllocationAfter(-1);
    EXPECT_EQ(GlobalFree(h), nullptr);
    for (SIZE_T bytes : {SIZE_MAX, SIZE_MAX / 2, SIZE_T{1} << 50}) {
        SetLastError(kUnchanged);
        EXPECT_EQ(GlobalAlloc(GHND, bytes), nullptr) << bytes;
        EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY) << bytes;
        EXPECT_EQ(LocalAlloc(LMEM_FIXED, bytes), nullptr) << bytes;
    }
}

TEST(Memory, ConcurrentUseKeepsBlocksApart) {
    const std::array<size_t, 4> before = Counts();
    std::atomic<int> corrupt{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &corrupt] {
            std::vector<std::pair<HANDLE, bool>> held;
            auto release = [](HANDLE h, bool global) { global ? (void)GlobalFree(h) : (void)LocalFree(h); };
            for (int i = 0; i < 3000; ++i) {
                const bool global = (i + t) % 2 == 0;
                HANDLE h = global ? GlobalAlloc(GHND, 64) : LocalAlloc(LHND, 64);
                if (h == nullptr) continue;
                std::memset(global ? GlobalLock(h) : LocalLock(h), t * 16 + (i & 15), 64);
                held.emplace_back(h, global);
                if (held.size() <= 20) continue;
                auto [old, oldGlobal] = held.front();
                held.erase(held.begin());
                auto* q = static_cast<unsigned char*>(oldGlobal ? GlobalLock(old) : LocalLock(old));
                for (int k = 1; k < 64; ++k) corrupt += q[k] != q[0] || q[0] / 16 != t;
                oldGlobal ? (void)GlobalUnlock(old) : (void)LocalUnlock(old);
                release(old, oldGlobal);
            }
            for (auto [h, global] : held) release(h, global);
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(corrupt.load(), 0);
    EXPECT_EQ(Counts(), before);
}

TEST(LastError, IsKeptPerThread) {
    SetLastError(1234);
    std::thread other([] { SetLastError(42); });
    other.join();
    EXPECT_EQ(GetLastError(), 1234u);
}

}  // namespace
