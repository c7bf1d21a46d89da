#include "file_requests.h"

#include <cstring>

#include "host.h"
#include "lwdialog.h"
#include "lwmodule.h"

namespace hostsim {

namespace {
int fileRequest(int version, LWFileReqLocal* request) {
    Host* host = Host::current();
    return host ? host->fileRequests().run(version, request) : AFUNC_BADGLOBAL;
}

int simpleFileRequest(const char* hail, char* name, char* path, char* fullName, int bufLen) {
    Host* host = Host::current();
    return host ? host->fileRequests().runSimple(hail, name, path, fullName, bufLen) : 0;
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

// Writes a chosen path into the three buffers, split into directory and
// name unless it is a directory itself. A choice that does not fit is not
// cut short (a shortened path would name another file): nothing is
// written and the answer is false.
bool putChoice(const std::string& choice, bool directory, char* path, char* baseName, char* fullName, int bufLen) {
    std::string dir = choice, base;
    if (!directory) {
        const size_t cut = choice.find_last_of("/\\");
        dir = cut == std::string::npos ? std::string() : choice.substr(0, cut);
        base = cut == std::string::npos ? choice : choice.substr(cut + 1);
    }
    const size_t room = static_cast<size_t>(bufLen);
    if (choice.size() >= room || dir.size() >= room || base.size() >= room) return false;
    put(fullName, choice);
    put(path, dir);
    put(baseName, base);
    return true;
}
}  // namespace

LWFileActivateFunc* FileRequests::function() { return fileRequest; }
LWFileReqFunc* FileRequests::simpleFunction() { return simpleFileRequest; }

void FileRequests::queueChoice(const std::string& fullPath) { queueChoices({fullPath}); }

void FileRequests::queueChoices(const std::vector<std::string>& fullPaths) {
    std::lock_guard lock(mutex_);
    answers_.emplace_back(fullPaths);
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

std::optional<std::vector<std::string>> FileRequests::nextAnswer() {
    if (answers_.empty()) {
        unanswered_++;
        return std::nullopt;
    }
    auto answer = std::move(answers_.front());
    answers_.pop_front();
    if (answer && answer->empty()) answer.reset();  // no file chosen: a cancel
    return answer;
}

int FileRequests::run(int version, LWFileReqLocal* request) {
    std::unique_lock lock(mutex_);
    if (version != LWFILEREQ_VERSION) {
        refused_++;
        return AFUNC_BADVERSION;
    }
    const int type = request ? request->reqType : 0;
    if (!request || request->bufLen <= 0 || !request->path || !request->baseName || !request->fullName ||
        (type != FREQ_LOAD && type != FREQ_SAVE && type != FREQ_DIRECTORY && type != FREQ_MULTILOAD) ||
        (type == FREQ_MULTILOAD && !request->pickName)) {
        refused_++;
        return AFUNC_BADLOCAL;
    }
    FileRequest r;
    r.version = version;
    r.type = type;
    r.title = request->title ? request->title : "";
    r.fileType = request->fileType ? request->fileType : "";
    r.path = bufferText(request->path, request->bufLen);
    r.baseName = bufferText(request->baseName, request->bufLen);
    r.bufLen = request->bufLen;

    const auto choice = nextAnswer();
    if (!choice) {
        r.result = 0;
    } else if (type != FREQ_MULTILOAD) {
        r.answer = choice->front();
        r.result = putChoice(r.answer, type == FREQ_DIRECTORY, request->path, request->baseName,
                             request->fullName, request->bufLen)
                       ? 1
                       : -1;
    } else {
        // Each file in turn: the buffers name it while pickName runs, and a
        // nonzero answer ends the list. pickName is plug-in code, so the
        // queue is not locked meanwhile.
        r.answer = choice->front();
        r.result = 1;
        lock.unlock();
        for (const std::string& file : *choice) {
            if (!putChoice(file, false, request->path, request->baseName, request->fullName, request->bufLen)) {
                r.result = -1;
                break;
            }
            r.picked++;
            if (request->pickName() != 0) break;
        }
        lock.lock();
    }
    request->result = r.result;
    requests_.push_back(std::move(r));
    return AFUNC_OK;
}

int FileRequests::runSimple(const char* hail, char* name, char* path, char* fullName, int bufLen) {
    std::lock_guard lock(mutex_);
    if (bufLen <= 0 || !name || !path || !fullName) {
        refused_++;
        return 0;
    }
    FileRequest r;
    r.type = FREQ_LOAD;
    r.title = hail ? hail : "";
    r.path = bufferText(path, bufLen);
    r.baseName = bufferText(name, bufLen);
    r.bufLen = bufLen;
    const auto choice = nextAnswer();
    if (choice) {
        r.answer = choice->front();
        r.result = putChoice(r.answer, false, path, name, fullName, bufLen) ? 1 : -1;
    }
    requests_.push_back(r);
    // This dialog knows only confirmed (1) and cancelled (0).
    return r.result == 1 ? 1 : 0;
}

}  // namespace hostsim
