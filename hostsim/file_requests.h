// The file dialogs: "File Request 2" (a request record, any request type)
// and the older "File Request" (a load dialog through four arguments).
// Both are answered from one queue the caller fills (chosen paths, or
// cancel); an empty queue cancels. Every dialog is recorded with what the
// plug-in asked and what it was answered.
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "lwhost.h"

namespace hostsim {

struct FileRequest {
    int version = 0;  // 0 for "File Request"
    int type = 0;     // FREQ_LOAD, FREQ_SAVE, FREQ_DIRECTORY, FREQ_MULTILOAD
    std::string title;
    std::string fileType;
    std::string path;      // starting directory as handed in
    std::string baseName;  // initial name as handed in
    int bufLen = 0;
    int result = 0;      // as written back: 1 confirmed, 0 cancelled, -1 did not fit
    std::string answer;  // the queued choice used (the first file of several), empty for a cancel
    int picked = 0;      // FREQ_MULTILOAD: files handed to pickName
};

class FileRequests {
public:
    static LWFileActivateFunc* function();
    static LWFileReqFunc* simpleFunction();

    // The next dialog confirms this full path (a directory for FREQ_DIRECTORY).
    void queueChoice(const std::string& fullPath);
    // The next dialog confirms these files; a dialog of any type other than
    // FREQ_MULTILOAD takes the first.
    void queueChoices(const std::vector<std::string>& fullPaths);
    void queueCancel();
    size_t pending() const;
    std::vector<FileRequest> requests() const;
    // Dialogs that found the queue empty.
    int unanswered() const;
    // Calls refused without a dialog (unknown version, bad record).
    int refused() const;
    void clear();

    int run(int version, LWFileReqLocal* request);
    int runSimple(const char* hail, char* name, char* path, char* fullName, int bufLen);

private:
    // The next queued answer (none: cancel), counted when the queue is empty.
    std::optional<std::vector<std::string>> nextAnswer();

    mutable std::mutex mutex_;
    std::deque<std::optional<std::vector<std::string>>> answers_;
    std::vector<FileRequest> requests_;
    int unanswered_ = 0;
    int refused_ = 0;
};

}  // namespace hostsim
