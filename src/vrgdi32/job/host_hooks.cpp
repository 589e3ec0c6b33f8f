// Reading the host's hooks record without trusting its address (see host_hooks.h).
#include "job/host_hooks.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

namespace vrgdi32 {
namespace {

// This process's id without a system call per import: cached, and forgotten in a child
// made by fork (which has its own).
std::atomic<pid_t> g_pid{0};

void ForgetPid() { g_pid.store(0, std::memory_order_relaxed); }

pid_t OwnPid() {
    pid_t pid = g_pid.load(std::memory_order_relaxed);
    if (pid != 0) return pid;
    static const bool registered = ::pthread_atfork(nullptr, nullptr, ForgetPid) == 0;
    pid = ::getpid();
    if (registered) g_pid.store(pid, std::memory_order_relaxed);
    return pid;
}

// Copies count bytes from address into out when every byte is readable. The kernel does
// the access, so a bad address gives EFAULT instead of a fault in this process.
bool ProbeRead(uint64_t address, void* out, std::size_t count) {
    iovec local{out, count};
    iovec remote{reinterpret_cast<void*>(static_cast<uintptr_t>(address)), count};
    const ssize_t got = ::process_vm_readv(OwnPid(), &local, 1, &remote, 1, 0);
    if (got == static_cast<ssize_t>(count)) return true;
    if (got >= 0 || errno == EFAULT) return false;
    // process_vm_readv refused by policy (seccomp, no ptrace rights): a pipe write also
    // lets the kernel check the address.
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    bool ok = false;
    const ssize_t written = ::write(ends[1], remote.iov_base, count);
    if (written == static_cast<ssize_t>(count)) {
        ok = ::read(ends[0], out, count) == static_cast<ssize_t>(count);
    }
    ::close(ends[0]);
    ::close(ends[1]);
    return ok;
}

// The top of this thread's stack, looked up once per thread; 0 when it cannot be had.
uintptr_t StackTop() {
    thread_local const uintptr_t top = [] {
        pthread_attr_t attributes;
        if (::pthread_getattr_np(::pthread_self(), &attributes) != 0) return uintptr_t{0};
        void* low = nullptr;
        size_t size = 0;
        const bool known = ::pthread_attr_getstack(&attributes, &low, &size) == 0;
        ::pthread_attr_destroy(&attributes);
        return known ? reinterpret_cast<uintptr_t>(low) + size : uintptr_t{0};
    }();
    return top;
}

// True when [address, address + count) lies in the live part of this thread's stack, from
// this frame up to the top: mapped for certain, so it is read without a system call. A
// host usually keeps its hooks record in a local variable.
[[gnu::noinline]] bool OnLiveStack(uint64_t address, std::size_t count) {
    const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    const uintptr_t top = StackTop();
    return address >= here && address < top && count <= top - address;
}

}  // namespace

bool ReadHostHooks(uint64_t hostValue, VrHostHooks* hooks) {
    std::memset(hooks, 0, sizeof *hooks);
    if (hostValue == 0 || hostValue % alignof(VrHostHooks) != 0) return false;
    if (OnLiveStack(hostValue, sizeof(VrHostHooks))) {
        // Exactly the record's bytes: what lies past a shorter record is none of ours.
        const auto* record = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(hostValue));
        uint32_t size = 0;
        std::memcpy(&size, record, sizeof size);
        if (size != sizeof(VrHostHooks) && size != kVrHostHooksSizeV1) return false;
        std::memcpy(hooks, record, size);
        return true;
    }
    // Usually as many bytes as the current record has are readable: one probe. Otherwise
    // (an older, shorter record near the end of readable memory) the size comes first,
    // then exactly that many bytes.
    VrHostHooks whole{};
    if (ProbeRead(hostValue, &whole, sizeof whole)) {
        if (whole.size == sizeof(VrHostHooks)) {
            *hooks = whole;
            return true;
        }
        if (whole.size != kVrHostHooksSizeV1) return false;
        std::memcpy(hooks, &whole, kVrHostHooksSizeV1);
        return true;
    }
    uint32_t size = 0;
    if (!ProbeRead(hostValue, &size, sizeof size)) return false;
    if (size != sizeof(VrHostHooks) && size != kVrHostHooksSizeV1) return false;
    VrHostHooks copy{};
    if (!ProbeRead(hostValue, &copy, size)) return false;
    *hooks = copy;
    return true;
}

}  // namespace vrgdi32
