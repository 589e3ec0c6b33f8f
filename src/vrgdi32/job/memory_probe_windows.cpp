// Probing memory on Windows (see memory_probe.h): the system copies the bytes and reports
// an unreadable page instead of raising an access violation here.
#include "job/memory_probe.h"

#include "winshim/winshim.h"

namespace vrgdi32 {

bool ProbeRead(uint64_t address, void* out, std::size_t count) {
    SIZE_T got = 0;
    return ::ReadProcessMemory(::GetCurrentProcess(),
                               reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(address)), out,
                               count, &got) != 0 &&
           got == count;
}

}  // namespace vrgdi32
