#include "file_requests.h"

#include <cstring>

#include "host.h"
#include "lwmodule.h"
#include "lwdialog.h"

namespace hostsim {

namespace {
int fileRequest(int version, LWFileReqLocal* request) {
    Host* host = Host::current();
    return host ? host->fileRequests().run(version, request) : AFUNC_BADGLOBAL;
}

// A caller's buffer as text, never reading past its length.
std::string bufferText(const char* buf, int len) {
    if (!buf || len <= 0) return {};
    const void* zero = std::memchr(buf, 0, static_cast<size_t>(len));
    return std::string(buf, zero ? static_cast<const char*>(zero) - buf : len);
}

void put(char* buf, const std::string& text) {
    std::memcpy(buf, text.data(), text.size());
    buf[text.size()] = 0;
}
}  // namespace

LWFileActivateFunc* FileRequests::function() { return fileRequest; }

void FileRequests::queueChoice(const std::string& fullPath) {
    std::lock_guard lock(mutex_);
    answers_.emplace_back(fullPath);
}

void FileRequests::queueCancel() {
    std::lock_guard lock(mutex_);
    answers_.emplace_back(std::nullopt);
}

size_t FileRequests::pending() const {
    std::lock_guard lock(mutex_);
    return answers_.size();
}

std::vector<FileRequest> FileRequests::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

int FileRequests::unanswered() const {
    std::lock_guard lock(mutex_);
    return unanswered_;
}

int FileRequests::refused() const {
    std::lock_guard lock(mutex_);
    return refused_;
}

void FileRequests::clear() {
    std::lock_guard lock(mutex_);
    answers_.clear();
    requests_.clear();
    unanswered_ = 0;
    refused_ = 0;
}

int FileRequests::run(int version, LWFileReqLocal* request) {
    std::lock_guard lock(mutex_);
    if (version != LWFILEREQ_VERSION) {
        refused_++;
        return AFUNC_BADVERSION;
    }
    if (!request || request->bufLen <= 0 || !request->path || !request->baseName || !request->fullName ||
        (request->reqType != FREQ_LOAD && request->reqType != FREQ_SAVE && request->reqType != FREQ_DIRECTORY)) {
        refused_++;
        return AFUNC_BADGLOBAL;
    }
    FileRequest r;
    r.version = version;
    r.type = request->reqType;
    r.title = request->title ? request->title : "";
    r.fileType = request->fileType ? request->fileType : "";
    r.path = bufferText(request->path, request->bufLen);
    r.baseName = bufferText(request->baseName, request->bufLen);
    r.bufLen = request->bufLen;

    std::optional<std::string> choice;
    if (answers_.empty()) {
        unanswered_++;
    } else {
        choice = std::move(answers_.front());
        answers_.pop_front();
    }
    if (!choice) {
        r.result = 0;
    } else {
        r.answer = *choice;
        std::string dir = *choice, base;
        if (request->reqType != FREQ_DIRECTORY) {
            const size_t cut = choice->find_last_of("/\\");
            dir = cut == std::string::npos ? std::string() : choice->substr(0, cut);
            base = cut == std::string::npos ? *choice : choice->substr(cut + 1);
        }
        const size_t room = static_cast<size_t>(request->bufLen);
        // A choice that does not fit is not cut short: a shortened path
        // would name another file.
        if (choice->size() >= room || dir.size() >= room || base.size() >= room) {
            r.result = -1;
        } else {
            put(request->fullName, *choice);
            put(request->path, dir);
            put(request->baseName, base);
            r.result = 1;
        }
    }
    request->result = r.result;
    requests_.push_back(std::move(r));
    return 0;
}

}  // namespace hostsim
