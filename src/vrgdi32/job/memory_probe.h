// Reading memory at an address that the host chose and that may not be mapped, without
// faulting: the system does the access and reports a bad address.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vrgdi32 {

// Copies count bytes from address into out when every one of them is readable; false
// otherwise (out is then unspecified).
[[nodiscard]] bool ProbeRead(uint64_t address, void* out, std::size_t count);

}  // namespace vrgdi32
