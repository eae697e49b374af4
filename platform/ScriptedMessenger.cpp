#include "platform/ScriptedMessenger.h"

namespace ombrel {

void ScriptedMessenger::ScriptAnswers(std::vector<Answer> answers) {
    answers_.assign(answers.begin(), answers.end());
}

void ScriptedMessenger::Show(const std::string& text, MessageIcon icon) {
    entries_.push_back({text, icon, false, ButtonSet::Ok});
}

Answer ScriptedMessenger::Ask(const std::string& text, ButtonSet buttons, MessageIcon icon) {
    entries_.push_back({text, icon, true, buttons});
    if (!answers_.empty()) {
        Answer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
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

std::vector<std::string> ScriptedMessenger::Texts() const {
    std::vector<std::string> texts;
    for (const Entry& entry : entries_) texts.push_back(entry.text);
    return texts;
}

}  // namespace ombrel
