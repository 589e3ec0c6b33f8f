// The import job: the library's side of one import's status traffic. It follows the
// progress, asks the host's hooks whether to stop, and keeps the outcome that
// ImportJobEnd returns. Jobs live in a handle table; the writer reaches them through a
// JobLink (job_link.h) only.
#pragma once

#include <cstdint>
#include <optional>

#include "vrgdi32/vrgdi32.h"

namespace vrgdi32 {

class ImportJob {
  public:
    void AttachHooks(const VrHostHooks& hooks) { hooks_ = hooks; }
    [[nodiscard]] const std::optional<VrHostHooks>& hooks() const { return hooks_; }

    // One status call (the protocol of DefaultStatusProc); returns the answer.
    [[nodiscard]] int32_t OnStatus(uint32_t kind, uint32_t code, uint32_t first, uint32_t second);

    // The first failure code (kVrJobReadFailed for -1 or -23 when a read of the input failed
    // on this thread since the job began); else 61 when the job answered a stop notice with
    // stop; else 0.
    [[nodiscard]] int32_t Outcome() const;
    [[nodiscard]] bool answeredStop() const { return answeredStop_; }

  private:
    [[nodiscard]] bool HostWantsStop() const;
    [[nodiscard]] int32_t ScaledPercent(uint32_t value) const;

    std::optional<VrHostHooks> hooks_;
    std::optional<int32_t> firstFailure_;
    bool answeredStop_ = false;
    uint32_t rangeBase_ = 0;
    uint32_t rangeSize_ = 100;
};

}  // namespace vrgdi32
