// "File Request 2": the file dialog, answered from a queue the caller fills
// (a chosen path, or cancel); an empty queue cancels. Every dialog is
// recorded with what the plug-in asked and what it was answered.
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "lwhost.h"

namespace hostsim {

struct FileRequest {
    int version = 0;
    int type = 0;  // FREQ_LOAD, FREQ_SAVE, FREQ_DIRECTORY
    std::string title;
    std::string fileType;
    std::string path;      // starting directory as handed in
    std::string baseName;  // initial name as handed in
    int bufLen = 0;
    int result = 0;      // as written back: 1 confirmed, 0 cancelled, -1 did not fit
    std::string answer;  // the queued choice used, empty for a cancel
};

class FileRequests {
public:
    static LWFileActivateFunc* function();

    // The next dialog confirms this full path (a directory for FREQ_DIRECTORY).
    void queueChoice(const std::string& fullPath);
    void queueCancel();
    size_t pending() const;
    std::vector<FileRequest> requests() const;
    // Dialogs that found the queue empty.
    int unanswered() const;
    // Calls refused without a dialog (unknown version, bad record).
    int refused() const;
    void clear();

    int run(int version, LWFileReqLocal* request);

private:
    mutable std::mutex mutex_;
    std::deque<std::optional<std::string>> answers_;
    std::vector<FileRequest> requests_;
    int unanswered_ = 0;
    int refused_ = 0;
};

}  // namespace hostsim
