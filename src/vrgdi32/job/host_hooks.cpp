// Reading the host's hooks record without trusting its address (see host_hooks.h).
#include "job/host_hooks.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace vrgdi32 {
namespace {

// Copies count bytes from address into out when every byte is readable. The kernel does
// the access, so a bad address gives EFAULT instead of a fault in this process.
bool ProbeRead(uint64_t address, void* out, std::size_t count) {
    iovec local{out, count};
    iovec remote{reinterpret_cast<void*>(static_cast<uintptr_t>(address)), count};
    const ssize_t got = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
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

}  // namespace

bool ReadHostHooks(uint64_t hostValue, VrHostHooks* hooks) {
    std::memset(hooks, 0, sizeof *hooks);
    if (hostValue == 0 || hostValue % alignof(VrHostHooks) != 0) return false;
    uint32_t size = 0;
    if (!ProbeRead(hostValue, &size, sizeof size)) return false;
    if (size != sizeof(VrHostHooks) && size != kVrHostHooksSizeV1) return false;
    VrHostHooks copy{};
    if (!ProbeRead(hostValue, &copy, size)) return false;
    *hooks = copy;
    return true;
}

}  // namespace vrgdi32
