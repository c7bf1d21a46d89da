// "Info Messages 2": every message shown is recorded; questions are
// answered from a queue the caller fills.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "lw_message.h"

namespace hostsim {

enum class MessageKind { Info, Error, Warning, Question };

struct Message {
    MessageKind kind;
    std::string title;
    std::vector<std::string> lines;
    int answer = 0;  // questions only
};

const char* messageKindName(MessageKind kind);

class MessageLog {
public:
    MessageLog();
    const LWMessageFuncs* table() const { return &table_; }

    // Answers for the next questions, in order; an empty queue answers no.
    void queueAnswer(bool yes);
    std::vector<Message> messages() const;
    size_t pendingAnswers() const;
    // Questions asked while the queue was empty.
    int unansweredQuestions() const;
    void clear();

    void record(MessageKind kind, const char* title, std::vector<std::string> lines);
    int ask(const char* title, const char* line1, const char* line2);

private:
    LWMessageFuncs table_;
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    std::deque<bool> answers_;
    int unanswered_ = 0;
};

}  // namespace hostsim
