// The command's progress monitor: a bar that redraws in place
// when the stream is a terminal, and a line per tenth otherwise.
#pragma once

#include <chrono>
#include <mutex>
#include <ostream>
#include <string>

namespace korvalith::app {

class ProgressBar {
public:
    ProgressBar(std::ostream& out, std::string title, bool terminal);
    // done: 0 … 1; safe from several threads.
    void update(double done);
    // Ends the bar with a line break.
    void finish();

private:
    std::mutex mutex_;
    std::ostream& out_;
    std::string title_;
    bool terminal_;
    int shown_ = -1;
    bool finished_ = false;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace korvalith::app
