// The text of the progress bar: overall percentage of a set of imports, from the
// percentage of each one running and the count of those finished.
#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace xpmimport {

class ProgressBar {
  public:
    explicit ProgressBar(size_t jobCount) : jobCount_(jobCount) {}

    void started(size_t job, const std::string& name);
    // percent is clamped to 0..100.
    void progressed(size_t job, int percent);
    void finished(size_t job);

    // Whether some import is running (there is something to show).
    [[nodiscard]] bool active() const { return !running_.empty(); }
    // The whole set's percentage (0..100; 100 only once every import has finished).
    [[nodiscard]] int overallPercent() const;
    // One line without line end, at most `columns` characters:
    // "[#########-----------]  45%  name.xpm (3/10)".
    [[nodiscard]] std::string render(size_t columns) const;

  private:
    struct Running {
        std::string name;
        int percent = 0;
    };
    size_t jobCount_;
    size_t finishedCount_ = 0;
    std::map<size_t, Running> running_;
};

}  // namespace xpmimport
