#pragma once

#include <deque>
#include <string>
#include <vector>

#include "common/Messenger.h"

namespace ombrel {

// A messenger for tests: records every message and question, and answers questions from a script.
class ScriptedMessenger : public Messenger {
public:
    struct Entry {
        std::string text;
        MessageIcon icon;
        bool question;
        ButtonSet buttons;
    };

    // Answers given to the next questions, in order. An unscripted question is answered Cancel
    // (or No for a Yes/No question), the safe choice.
    void ScriptAnswers(std::vector<Answer> answers);

    void Show(const std::string& text, MessageIcon icon) override;
    Answer Ask(const std::string& text, ButtonSet buttons, MessageIcon icon) override;

    const std::vector<Entry>& Entries() const { return entries_; }
    // The texts of all messages and questions, in order.
    std::vector<std::string> Texts() const;
    void Clear() { entries_.clear(); }

private:
    std::vector<Entry> entries_;
    std::deque<Answer> answers_;
};

}  // namespace ombrel
