#include "message_log.h"

#include "host.h"

namespace hostsim {

const char* messageKindName(MessageKind kind) {
    switch (kind) {
        case MessageKind::Info: return "info";
        case MessageKind::Error: return "error";
        case MessageKind::Warning: return "warning";
        case MessageKind::Question: return "question";
    }
    return "?";
}

namespace {
std::string text(const char* s) { return s ? s : ""; }

void show(MessageKind kind, const char* title, const char* line) {
    if (Host* host = Host::current()) host->messages().record(kind, title, {text(line)});
}
void info(const char* title, const char* line) { show(MessageKind::Info, title, line); }
void error(const char* title, const char* line) { show(MessageKind::Error, title, line); }
void warning(const char* title, const char* line) { show(MessageKind::Warning, title, line); }
int yesNo(const char* title, const char* line1, const char* line2) {
    Host* host = Host::current();
    return host ? host->messages().ask(title, line1, line2) : 0;
}
}  // namespace

MessageLog::MessageLog() : table_{info, error, warning, yesNo} {}

void MessageLog::queueAnswer(bool yes) {
    std::lock_guard lock(mutex_);
    answers_.push_back(yes);
}

std::vector<Message> MessageLog::messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

size_t MessageLog::pendingAnswers() const {
    std::lock_guard lock(mutex_);
    return answers_.size();
}

int MessageLog::unansweredQuestions() const {
    std::lock_guard lock(mutex_);
    return unanswered_;
}

void MessageLog::clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
    answers_.clear();
    unanswered_ = 0;
}

void MessageLog::record(MessageKind kind, const char* title, std::vector<std::string> lines) {
    std::lock_guard lock(mutex_);
    messages_.push_back({kind, text(title), std::move(lines), 0});
}

int MessageLog::ask(const char* title, const char* line1, const char* line2) {
    std::lock_guard lock(mutex_);
    int answer = 0;
    if (answers_.empty()) {
        unanswered_++;
    } else {
        answer = answers_.front() ? 1 : 0;
        answers_.pop_front();
    }
    messages_.push_back({MessageKind::Question, text(title), {text(line1), text(line2)}, answer});
    return answer;
}

}  // namespace hostsim
