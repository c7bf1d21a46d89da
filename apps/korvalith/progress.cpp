#include "progress.h"

#include <algorithm>
#include <cstdio>

namespace korvalith::app {

ProgressBar::ProgressBar(std::ostream& out, std::string title, bool terminal)
    : out_(out), title_(std::move(title)), terminal_(terminal), start_(std::chrono::steady_clock::now()) {}

void ProgressBar::update(double done) {
    std::lock_guard lock(mutex_);
    if (finished_) return;
    done = std::clamp(done, 0.0, 1.0);
    const int percent = static_cast<int>(done * 100);
    // A terminal redraws each percent; a log gets a line per tenth.
    const int step = terminal_ ? percent : percent / 10 * 10;
    if (step == shown_) return;
    shown_ = step;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(done * kWidth);
    char line[160];
    std::snprintf(line, sizeof line, "%s [%s%s] %3d%% %6.1f s", title_.c_str(), std::string(filled, '#').c_str(),
                  std::string(kWidth - filled, '.').c_str(), step, seconds);
    if (terminal_) out_ << '\r' << line << std::flush;
    else out_ << line << '\n' << std::flush;
}

void ProgressBar::finish() {
    update(1.0);
    std::lock_guard lock(mutex_);
    if (finished_) return;
    finished_ = true;
    if (terminal_) out_ << '\n' << std::flush;
}

}  // namespace korvalith::app
