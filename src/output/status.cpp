// Status, progress and stop requests: every call into the host's status procedure goes
// through InvokeStatusProc, which also sends the stop notice after a stop answer to progress.
#include "output/status.h"

#include "xpmfilter/xpmfilter.h"
#include "output/graphics_library.h"
#include "output/writer_errors.h"

namespace xpmfilter {
namespace {

// The sink's procedure, or null when there is no sink or no procedure in it.
VrStatusProc SinkProc(const ImportContext& import) {
    if (import.statusSink == nullptr) return nullptr;
    return reinterpret_cast<VrStatusProc>(import.statusSink->statusProc);
}

uint64_t SinkUserData(const ImportContext& import) {
    return import.statusSink == nullptr ? 0 : import.statusSink->userData;
}

}  // namespace

int32_t InvokeStatusProc(VrStatusProc proc, uint64_t userData, uint32_t kind, uint32_t code,
                         uint32_t first, uint32_t second, uint32_t severityClass,
                         const uint64_t* block) {
    if (proc == nullptr) return 0;
    int32_t answer = proc(userData, kind, code, first, second, severityClass, block);
    // Only a stop answer to a progress call is confirmed; the confirmation decides.
    if (answer != 0 && kind == kVrStatusProgress && code == kVrCodeProgress) {
        const uint64_t zeros[kVrStatusBlockWords] = {};
        answer =
            proc(userData, kVrStatusStopNotice, static_cast<uint32_t>(kXpmStopped), 0, 0, 0, zeros);
    }
    return answer;
}

uint32_t SeverityClass(int32_t code) {
    switch (code) {
        case 9:
        case 56:
        case 60:
        case 4867:
            return 1;
        case 57:
        case 59:
        case 527:
        case 775:
        case 784:
            return 2;
        default:
            return 0;
    }
}

int32_t ReportStatus(const ImportContext& import, int32_t code) {
    // No report of this filter carries optional arguments: the block is ten zero words.
    const uint64_t block[kVrStatusBlockWords] = {};
    const int32_t answer =
        InvokeStatusProc(SinkProc(import), SinkUserData(import), kVrStatusReport,
                         static_cast<uint32_t>(code), 0, 0, SeverityClass(code), block);
    return answer != 0 ? kXpmStopped : kXpmOk;
}

int32_t ReportProgress(const ImportContext& import) {
    const int32_t answer =
        InvokeStatusProc(SinkProc(import), SinkUserData(import), kVrStatusProgress, kVrCodeProgress,
                         static_cast<uint32_t>(import.progressPercent), 0, 0, nullptr);
    return answer != 0 ? kXpmStopped : kXpmOk;
}

int32_t CheckProgress(const ImportContext& import) {
    // A stop wins outright: the writer is neither queried nor aborted.
    if (ReportProgress(import) != kXpmOk) return kXpmStopped;
    int16_t pair[2] = {0, 0};
    int32_t code = CheckWriterError(import, pair);
    if (code != kXpmOk) Gdi().WriterAbort(import.writer);
    return code;
}

}  // namespace xpmfilter
