// The writer's way to the import job that the status record names (its userData): all the
// writer may do with a job. A link to no job, or to one that has ended, does nothing.
#pragma once

#include <cstdint>

#include "vrgdi32/vrgdi32.h"

namespace vrgdi32 {

class JobLink {
  public:
    JobLink() = default;
    explicit JobLink(uint64_t job) : job_(job) {}

    // Gives the job the host's hooks: the progress the job is told and its stop answers reach
    // the host from now on.
    void AttachHooks(const VrHostHooks& hooks) const;
    // True when the job has answered a stop notice with stop: what was drawn is no picture.
    [[nodiscard]] bool AnsweredStop() const;

  private:
    uint64_t job_ = 0;
};

}  // namespace vrgdi32
