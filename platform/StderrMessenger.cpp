#include "platform/StderrMessenger.h"

namespace ombrel {

namespace {

bool Offers(ButtonSet buttons, Answer answer) {
    switch (buttons) {
        case ButtonSet::Ok:
            return answer == Answer::Ok;
        case ButtonSet::YesNo:
            return answer == Answer::Yes || answer == Answer::No;
        case ButtonSet::YesNoCancel:
            return answer == Answer::Yes || answer == Answer::No || answer == Answer::Cancel;
    }
    return false;
}

Answer SafeAnswer(ButtonSet buttons) {
    switch (buttons) {
        case ButtonSet::Ok:
            return Answer::Ok;
        case ButtonSet::YesNo:
            return Answer::No;
        case ButtonSet::YesNoCancel:
            return Answer::Cancel;
    }
    return Answer::Cancel;
}

}  // namespace

StderrMessenger::StderrMessenger(std::FILE* stream, std::optional<Answer> answer)
    : stream_(stream), answer_(answer) {}

void StderrMessenger::Write(const std::string& text) {
    std::fputs(kMessageTitle, stream_);
    std::fputs(": ", stream_);
    std::fwrite(text.data(), 1, text.size(), stream_);
    std::fputc('\n', stream_);
    std::fflush(stream_);
}

void StderrMessenger::Show(const std::string& text, MessageIcon) { Write(text); }

Answer StderrMessenger::Ask(const std::string& text, ButtonSet buttons, MessageIcon) {
    Write(text);
    if (answer_ && Offers(buttons, *answer_)) return *answer_;
    return SafeAnswer(buttons);
}

}  // namespace ombrel
