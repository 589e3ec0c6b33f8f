// Progress bar text.
#include "xpmimport/command/progress_bar.h"

#include <algorithm>

namespace xpmimport {

void ProgressBar::started(size_t job, const std::string& name) {
    running_[job] = Running{name, 0};
}

void ProgressBar::progressed(size_t job, int percent) {
    auto found = running_.find(job);
    if (found != running_.end()) found->second.percent = std::clamp(percent, 0, 100);
}

void ProgressBar::finished(size_t job) {
    if (running_.erase(job) != 0) ++finishedCount_;
}

int ProgressBar::overallPercent() const {
    if (jobCount_ == 0) return 100;
    size_t sum = finishedCount_ * 100;
    for (const auto& [job, state] : running_) sum += static_cast<size_t>(state.percent);
    // An import at 100% still has its picture to write: 100 means every one has finished.
    const size_t ceiling = finishedCount_ < jobCount_ ? 99 : 100;
    return static_cast<int>(std::min<size_t>(ceiling, sum / jobCount_));
}

std::string ProgressBar::render(size_t columns) const {
    const int percent = overallPercent();
    std::string label;
    if (!running_.empty()) label = running_.begin()->second.name;
    if (jobCount_ > 1)
        label += " (" + std::to_string(finishedCount_) + "/" + std::to_string(jobCount_) + ")";
    constexpr size_t kBarWidth = 30;
    std::string line = "[";
    size_t filled = kBarWidth * static_cast<size_t>(percent) / 100;
    line.append(filled, '#');
    line.append(kBarWidth - filled, '-');
    line += "] ";
    std::string number = std::to_string(percent);
    line.append(3 - std::min<size_t>(3, number.size()), ' ');
    line += number + "%  " + label;
    if (line.size() > columns) line.resize(columns);
    return line;
}

}  // namespace xpmimport
