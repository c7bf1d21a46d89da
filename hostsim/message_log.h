// "Info Messages 2": every message shown is recorded; questions are
// answered from a queue the caller fills.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "lwhost.h"

namespace hostsim {

enum class MessageKind { Info, Error, Warning, Question };

// The buttons a question offers, as the four question functions do.
enum class Buttons { OkCancel, YesNo, YesNoCancel, YesNoAll };

struct Message {
    MessageKind kind;
    std::string title;
    std::vector<std::string> lines;
    int answer = 0;                   // questions only: the code returned
    Buttons buttons = Buttons::YesNo;  // questions only
};

// Codes the question functions return, by button.
namespace reply {
constexpr int kCancel = 0;       // also "No" of yesNo
constexpr int kYesToAll = 3;     // yesNoAll only
}  // namespace reply

const char* messageKindName(MessageKind kind);

class MessageLog {
public:
    MessageLog();
    const LWMessageFuncs* table() const { return &table_; }

    // Answers for the next questions, in order: yes presses OK or Yes, no
    // presses Cancel (okCancel) or No. An empty queue presses Cancel, or No
    // where there is no Cancel.
    void queueAnswer(bool yes);
    // The next answer as the code a question returns (reply::kCancel,
    // reply::kYesToAll …); a code the question does not offer answers Cancel.
    void queueReply(int code);
    std::vector<Message> messages() const;
    size_t pendingAnswers() const;
    // Questions asked while the queue was empty.
    int unansweredQuestions() const;
    void clear();

    void record(MessageKind kind, const char* title, std::vector<std::string> lines);
    int ask(Buttons buttons, const char* title, const char* line1, const char* line2);

private:
    LWMessageFuncs table_;
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    struct Answer {
        bool raw;   // a code as given
        int value;  // the code, or 1 for yes and 0 for no
    };
    std::deque<Answer> answers_;
    int unanswered_ = 0;
};

}  // namespace hostsim
