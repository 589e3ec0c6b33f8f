// Test hook that makes one chosen allocation of the global or local heap fail, so callers'
// out-of-memory paths can be exercised one allocation at a time.
#pragma once

namespace winshim {

// Consumes one allocation from the injection budget. Returns false exactly for the allocation
// WinshimFailAllocationAfter asked to fail; true otherwise (and always when injection is off).
[[nodiscard]] bool AllocationPermitted();

}  // namespace winshim
