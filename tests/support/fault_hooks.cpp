// The process-wide failure countdown of fault_hooks.h. The allocation functions and the write
// calls are defined here, in the test executable, so that they take the place of the C
// library's (and a sanitizer's) for every shared library of the process; each forwards to the
// next definition, found with dlsym(RTLD_NEXT).
#include "fault_hooks.h"

#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>

namespace xpmfault {
namespace {

struct Countdown {
    std::atomic<bool> armed{false}, fired{false};
    std::atomic<uint64_t> remaining{0}, seen{0};
};
Countdown g_counts[2];
std::atomic<bool> g_active{false};
Kind g_armedKind = Kind::kAllocation;
WriteFault g_writeFault = WriteFault::kNoSpace;
bool g_full = false;  // kPartway's disk has filled

// True when this point of `kind` must fail.
bool Fails(Kind kind) {
    if (!g_active.load(std::memory_order_relaxed)) return false;
    Countdown& c = g_counts[static_cast<int>(kind)];
    c.seen.fetch_add(1, std::memory_order_relaxed);
    if (!c.armed.load(std::memory_order_relaxed)) return false;
    if (c.remaining.fetch_sub(1, std::memory_order_relaxed) != 0) return false;
    c.armed = false;
    c.fired = true;
    return true;
}

struct RealAllocators {
    decltype(&::malloc) malloc;
    decltype(&::calloc) calloc;
    decltype(&::realloc) realloc;
    decltype(&::aligned_alloc) aligned;
    decltype(&::free) free;
};

// The next definitions; null while dlsym, which allocates itself, resolves them.
const RealAllocators* Real() {
    static RealAllocators real{};
    static std::atomic<bool> ready{false};
    thread_local bool resolving = false;
    if (ready.load(std::memory_order_acquire)) return &real;
    if (resolving) return nullptr;
    resolving = true;
    const auto next = [](const char* name) { return dlsym(RTLD_NEXT, name); };
    real = {reinterpret_cast<decltype(real.malloc)>(next("malloc")),
            reinterpret_cast<decltype(real.calloc)>(next("calloc")),
            reinterpret_cast<decltype(real.realloc)>(next("realloc")),
            reinterpret_cast<decltype(real.aligned)>(next("aligned_alloc")),
            reinterpret_cast<decltype(real.free)>(next("free"))};
    resolving = false;
    ready.store(true, std::memory_order_release);
    return &real;
}

// The real functions, or null for an allocation that must fail: the chosen point, or one that
// dlsym itself makes while it resolves them.
const RealAllocators* Pass() {
    const RealAllocators* real = Real();
    if (real != nullptr && !Fails(Kind::kAllocation)) return real;
    errno = ENOMEM;
    return nullptr;
}

}  // namespace

void Resume() {
    g_active = true;
}
void Pause() {
    g_active = false;
}

void Arm(Kind kind, uint64_t n, WriteFault fault) {
    g_armedKind = kind;
    g_writeFault = fault;
    g_full = false;
    Countdown& c = g_counts[static_cast<int>(kind)];
    c.fired = false;
    c.remaining = n;
    c.armed = true;
}

bool Disarm() {
    Countdown& c = g_counts[static_cast<int>(g_armedKind)];
    c.armed = false;
    return c.fired.load();
}

void StartCounting() {
    for (Countdown& c : g_counts) c.seen = 0;
}

uint64_t Seen(Kind kind) {
    return g_counts[static_cast<int>(kind)].seen.load();
}

}  // namespace xpmfault

using xpmfault::Kind;

// Visible, whatever the build's default: the shared libraries must bind to these.
#define XPMFAULT_EXPORT __attribute__((visibility("default")))

extern "C" {

XPMFAULT_EXPORT void* malloc(size_t size) {
    const auto* real = xpmfault::Pass();
    return real != nullptr ? real->malloc(size) : nullptr;
}

XPMFAULT_EXPORT void* calloc(size_t count, size_t size) {
    const auto* real = xpmfault::Pass();
    return real != nullptr ? real->calloc(count, size) : nullptr;
}

XPMFAULT_EXPORT void* realloc(void* pointer, size_t size) {
    const auto* real = xpmfault::Pass();
    return real != nullptr ? real->realloc(pointer, size) : nullptr;
}

XPMFAULT_EXPORT void* aligned_alloc(size_t alignment, size_t size) {
    const auto* real = xpmfault::Pass();
    return real != nullptr ? real->aligned(alignment, size) : nullptr;
}

XPMFAULT_EXPORT void free(void* pointer) {
    const auto* real = xpmfault::Real();  // null only inside dlsym, which frees nothing of ours
    if (real != nullptr && pointer != nullptr) real->free(pointer);
}

// An injected write failure: a short write (the caller must go on), ENOSPC or EIO.
static bool WriteFails(size_t* count) {
    if (!xpmfault::Fails(Kind::kWrite)) return false;
    if (xpmfault::g_writeFault == xpmfault::WriteFault::kPartway) {
        // The disk fills: half of this write goes, and no later write.
        xpmfault::g_counts[static_cast<int>(Kind::kWrite)].remaining = 0;
        xpmfault::g_counts[static_cast<int>(Kind::kWrite)].armed = true;
        if (*count >= 2 && !std::exchange(xpmfault::g_full, true)) {
            *count /= 2;
            return false;
        }
        errno = ENOSPC;
        return true;
    }
    if (xpmfault::g_writeFault != xpmfault::WriteFault::kShort || *count < 2) {
        errno = xpmfault::g_writeFault == xpmfault::WriteFault::kIo ? EIO : ENOSPC;
        return true;
    }
    *count /= 2;
    return false;
}

XPMFAULT_EXPORT ssize_t write(int fd, const void* data, size_t count) {
    return WriteFails(&count) ? -1 : syscall(SYS_write, fd, data, count);
}

XPMFAULT_EXPORT ssize_t pwrite(int fd, const void* data, size_t count, off_t offset) {
    return WriteFails(&count) ? -1 : syscall(SYS_pwrite64, fd, data, count, offset);
}

// While resumed the kernel copies nothing, as between file systems: copies write instead.
XPMFAULT_EXPORT ssize_t copy_file_range(int in, off64_t* inAt, int out, off64_t* outAt,
                                        size_t count, unsigned flags) {
    if (xpmfault::g_active) {
        errno = EXDEV;
        return -1;
    }
    return syscall(SYS_copy_file_range, in, inAt, out, outAt, count, flags);
}

}  // extern "C"

// operator new goes through malloc above (a sanitizer's own operator new would not), and
// every form of delete through free, so that both sides agree on who allocated.
// clang-format off
XPMFAULT_EXPORT void* operator new(size_t size) {
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
XPMFAULT_EXPORT void* operator new[](size_t size) { return operator new(size); }
XPMFAULT_EXPORT void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}
XPMFAULT_EXPORT void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}
XPMFAULT_EXPORT void operator delete(void* p) noexcept { std::free(p); }
XPMFAULT_EXPORT void operator delete[](void* p) noexcept { std::free(p); }
XPMFAULT_EXPORT void operator delete(void* p, size_t) noexcept { std::free(p); }
XPMFAULT_EXPORT void operator delete[](void* p, size_t) noexcept { std::free(p); }
XPMFAULT_EXPORT void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
XPMFAULT_EXPORT void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
// clang-format on
