// The import job and its exported calls: ImportJobBegin, DefaultStatusProc, ImportJobEnd.
#include "job/import_job.h"

#include <algorithm>
#include <memory>
#include <new>

#include "handle_table.h"
#include "job/job_link.h"
#include "streams/read_failure.h"

namespace vrgdi32 {
namespace {

constexpr auto kCodeRange = static_cast<uint32_t>(kVrCodeProgressRange);
// ImportJobEnd for a job that was never made (no memory for it): the import could not be
// followed, so it must not pass for a success.
constexpr int16_t kJobUnknown = 27;

constinit HandleTable<ImportJob> g_jobs;

}  // namespace

bool ImportJob::HostWantsStop() const {
    return hooks_ && hooks_->shouldStop != nullptr && hooks_->shouldStop(hooks_->context) != 0;
}

int32_t ImportJob::ScaledPercent(uint32_t value) const {
    int64_t percent = static_cast<int32_t>(value);
    if (rangeSize_ != 0) {
        percent =
            (percent - static_cast<int64_t>(rangeBase_)) * 100 / static_cast<int64_t>(rangeSize_);
    }
    return static_cast<int32_t>(std::clamp<int64_t>(percent, 0, 100));
}

int32_t ImportJob::OnStatus(uint32_t kind, uint32_t code, uint32_t first, uint32_t second) {
    if (kind == kVrStatusProgress && code == kCodeRange) {
        rangeBase_ = first;
        rangeSize_ = second;
        return 0;
    }
    if (kind == kVrStatusProgress && code == kVrCodeProgress) {
        if (hooks_ && hooks_->progress != nullptr)
            hooks_->progress(hooks_->context, ScaledPercent(first));
        return HostWantsStop() ? 1 : 0;
    }
    if (kind == kVrStatusStopNotice && code == kVrCodeStopped) {
        if (!HostWantsStop()) return 0;
        answeredStop_ = true;
        return 1;
    }
    if (kind == kVrStatusReport && code != 0 && !firstFailure_) {
        firstFailure_ = static_cast<int32_t>(code);
    }
    return 0;
}

int32_t ImportJob::Outcome() const {
    // The filter takes a failed read for the end of the input: its code for a file cut short
    // (-1, or -23) then blames the file for what the read did.
    const bool cutShort = firstFailure_ == -1 || firstFailure_ == -23;
    if (cutShort && RecordedReadFailure() != 0) return kVrJobReadFailed;
    if (firstFailure_) return *firstFailure_;
    return answeredStop_ ? static_cast<int32_t>(kVrCodeStopped) : 0;
}

void JobLink::AttachHooks(const VrHostHooks& hooks) const {
    if (ImportJob* found = g_jobs.Find(job_)) found->AttachHooks(hooks);
}

bool JobLink::AnsweredStop() const {
    const ImportJob* found = g_jobs.Find(job_);
    return found != nullptr && found->answeredStop();
}

}  // namespace vrgdi32

extern "C" {

VRGDI32_API ImportJobHandle ImportJobBegin(HWND /*window*/, const char* /*title*/,
                                           const char* /*inputName*/, int32_t /*reserved*/,
                                           uint32_t /*version*/, uint32_t /*option26*/) {
    vrgdi32::ClearReadFailure();
    try {
        std::unique_ptr<vrgdi32::ImportJob> job(new (std::nothrow) vrgdi32::ImportJob);
        if (job == nullptr) return 0;
        return vrgdi32::g_jobs.Insert(std::move(job));
    } catch (...) {
        return 0;
    }
}

VRGDI32_API int32_t DefaultStatusProc(uint64_t job, uint32_t kind, uint32_t code, uint32_t first,
                                      uint32_t second, uint32_t /*severityClass*/,
                                      const uint64_t* /*block*/) {
    try {
        vrgdi32::ImportJob* found = vrgdi32::g_jobs.Find(job);
        if (found == nullptr) return 0;
        return found->OnStatus(kind, code, first, second);
    } catch (...) {
        return 0;
    }
}

VRGDI32_API int16_t ImportJobEnd(ImportJobHandle job) {
    std::unique_ptr<vrgdi32::ImportJob> ended = vrgdi32::g_jobs.Remove(job);
    if (ended == nullptr) return vrgdi32::kJobUnknown;
    return static_cast<int16_t>(ended->Outcome());
}

}  // extern "C"
