// All of xpmimport's output: result lines on standard output, messages and the progress bar
// on standard error. Lines from several import threads never mix, and the bar is taken off
// the screen before a line is printed and drawn again after it.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

#include "xpmimport/command/progress_bar.h"

namespace xpmimport {

class Console {
  public:
    // showBar: draw the bar (standard error is a terminal and the user did not ask quiet).
    Console(bool showBar, size_t jobCount);

    // One line on standard output (a result), or on standard error (a message); `line`
    // has no line end.
    void out(const std::string& line);
    void err(const std::string& line);

    void jobStarted(size_t job, const std::string& name);
    void jobProgress(size_t job, int percent);
    void jobFinished(size_t job);
    // Takes the bar off the screen for good.
    void endBar();

  private:
    void eraseBarLocked();
    void drawBarLocked(bool force);

    std::mutex mutex_;
    bool showBar_;
    bool barOnScreen_ = false;
    ProgressBar bar_;
    std::string lastDrawn_;
    std::chrono::steady_clock::time_point lastDrawTime_{};
};

}  // namespace xpmimport
