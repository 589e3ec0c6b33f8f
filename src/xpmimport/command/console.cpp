// Serialised output and the progress bar on a terminal.
#include "xpmimport/command/console.h"

#include <cstdio>

#include "xpmimport/command/terminal.h"

namespace xpmimport {

Console::Console(bool showBar, size_t jobCount) : showBar_(showBar), bar_(jobCount) {}

void Console::out(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    eraseBarLocked();
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
    drawBarLocked(true);
}

void Console::err(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    eraseBarLocked();
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    drawBarLocked(true);
}

void Console::jobStarted(size_t job, const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    bar_.started(job, name);
    drawBarLocked(true);
}

void Console::jobProgress(size_t job, int percent) {
    std::lock_guard<std::mutex> lock(mutex_);
    bar_.progressed(job, percent);
    drawBarLocked(false);
}

void Console::jobFinished(size_t job) {
    std::lock_guard<std::mutex> lock(mutex_);
    bar_.finished(job);
    drawBarLocked(true);
}

void Console::endBar() {
    std::lock_guard<std::mutex> lock(mutex_);
    eraseBarLocked();
    showBar_ = false;
}

void Console::eraseBarLocked() {
    if (!barOnScreen_) return;
    std::fputs("\r\033[K", stderr);
    barOnScreen_ = false;
}

void Console::drawBarLocked(bool force) {
    if (!showBar_ || !bar_.active()) return;
    // Progress arrives once per pixel row: redraw only when the text changed, and at most
    // every 50 ms.
    auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDrawTime_ < std::chrono::milliseconds(50)) return;
    std::string line = bar_.render(TerminalColumns());
    if (!force && barOnScreen_ && line == lastDrawn_) return;
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    barOnScreen_ = true;
    lastDrawn_ = line;
    lastDrawTime_ = now;
}

}  // namespace xpmimport
