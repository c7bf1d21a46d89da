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
int question(Buttons buttons, const char* title, const char* line1, const char* line2) {
    Host* host = Host::current();
    return host ? host->messages().ask(buttons, title, line1, line2) : reply::kCancel;
}
int okCancel(const char* t, const char* a, const char* b) { return question(Buttons::OkCancel, t, a, b); }
int yesNo(const char* t, const char* a, const char* b) { return question(Buttons::YesNo, t, a, b); }
int yesNoCan(const char* t, const char* a, const char* b) { return question(Buttons::YesNoCancel, t, a, b); }
int yesNoAll(const char* t, const char* a, const char* b) { return question(Buttons::YesNoAll, t, a, b); }

// Highest code each kind of question returns.
int highestCode(Buttons buttons) {
    switch (buttons) {
        case Buttons::OkCancel:
        case Buttons::YesNo: return 1;
        case Buttons::YesNoCancel: return 2;
        case Buttons::YesNoAll: return 3;
    }
    return 0;
}
}  // namespace

MessageLog::MessageLog() : table_{info, error, warning, okCancel, yesNo, yesNoCan, yesNoAll} {}

void MessageLog::queueAnswer(bool yes) {
    std::lock_guard lock(mutex_);
    answers_.push_back({false, yes ? 1 : 0});
}

void MessageLog::queueReply(int code) {
    std::lock_guard lock(mutex_);
    answers_.push_back({true, code});
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

int MessageLog::ask(Buttons buttons, const char* title, const char* line1, const char* line2) {
    std::lock_guard lock(mutex_);
    // Questions with a Cancel button count Yes and No from the top: Yes is
    // the highest code but Yes to All, No the one below it.
    const bool withCancel = buttons == Buttons::YesNoCancel || buttons == Buttons::YesNoAll;
    const int yes = buttons == Buttons::YesNoAll ? 2 : highestCode(buttons);
    int answer = reply::kCancel;
    if (answers_.empty()) {
        unanswered_++;
    } else {
        const Answer a = answers_.front();
        answers_.pop_front();
        if (a.raw)
            answer = a.value >= 0 && a.value <= highestCode(buttons) ? a.value : reply::kCancel;
        else
            answer = a.value ? yes : (withCancel ? yes - 1 : 0);
    }
    messages_.push_back({MessageKind::Question, text(title), {text(line1), text(line2)}, answer, buttons});
    return answer;
}

}  // namespace hostsim
