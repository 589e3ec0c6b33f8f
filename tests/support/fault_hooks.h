// Failure injection for a whole test process: every heap allocation (malloc and its relatives,
// operator new, and through them the Win32 heaps, libUEMF and the standard containers) and
// every write(2)/pwrite(2) passes one countdown (copy_file_range(2) copies nothing meanwhile,
// so copies write too). Arm it to fail the N-th point of a kind.
#pragma once

#include <cstdint>

namespace xpmfault {

enum class Kind { kAllocation, kWrite };
// How an injected write fails. A short write is not a failure: the caller must go on.
// kPartway writes half and fails every later write with ENOSPC, as a disk that fills does.
enum class WriteFault { kShort, kNoSpace, kIo, kPartway };

// Points count only between Resume and Pause, so that a test's own allocations around the
// call under test neither fail nor move the numbering.
void Resume();
void Pause();
// Fails the point numbered `n` (0 = the next one) of `kind`; the others pass.
void Arm(Kind kind, uint64_t n, WriteFault fault = WriteFault::kNoSpace);
// Stops injecting; returns true if the armed point was reached (and failed).
bool Disarm();
// Points of each kind seen while resumed, since the last StartCounting.
void StartCounting();
[[nodiscard]] uint64_t Seen(Kind kind);

// Runs `call` with its point `n` of `kind` failing; returns whether the call reached it.
template <typename Call>
bool FailDuring(Kind kind, uint64_t n, Call&& call) {
    Arm(kind, n);
    Resume();
    call();
    Pause();
    return Disarm();
}

}  // namespace xpmfault
