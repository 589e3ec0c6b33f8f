// Status, progress and stop requests: the one procedure through which the filter talks to the
// host during an import, and the checks made after every pixel row.
#pragma once

#include <cstdint>

#include "output/import_context.h"

namespace xpmfilter {

// Calls proc (when not null) with the seven arguments; after a stop answer to a progress call
// (kind 0, code 0) sends the stop notice (kind 2, code 61, ten zero words), whose answer
// replaces the first. Returns the answer, 0 for a null proc.
int32_t InvokeStatusProc(VrStatusProc proc, uint64_t userData, uint32_t kind, uint32_t code,
                         uint32_t first, uint32_t second, uint32_t severityClass,
                         const uint64_t* block);

// Severity class of a result code: 1, 2, or 0 for every other code.
[[nodiscard]] uint32_t SeverityClass(int32_t code);

// Reports code with kind 3 and its severity class. Returns 61 when the host answered
// non-zero, else 0; callers ignore it (a report never stops anything).
int32_t ReportStatus(const ImportContext& import, int32_t code);

// Sends progressPercent (kind 0, code 0). Returns 61 when the host asked to stop, else 0.
[[nodiscard]] int32_t ReportProgress(const ImportContext& import);

// Progress, then the writer's pending error. Returns 0, 61 (not reported, writer not
// queried), or a mapped writer code after WriterAbort.
[[nodiscard]] int32_t CheckProgress(const ImportContext& import);

}  // namespace xpmfilter
