#pragma once

#include <string>

namespace ombrel {

// Title of every message box of both programs.
inline constexpr const char* kMessageTitle = "Feldrin Software Ombrel";

enum class MessageIcon { Information, Question, Exclamation };
enum class ButtonSet { Ok, YesNo, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };

// How the core talks to the user. The front end implements it with message boxes, the estimator
// with a framed message on its console, batch runs with standard error, and tests with a script.
class Messenger {
public:
    virtual ~Messenger() = default;
    // Shows a message with an OK button and returns when the user has acknowledged it.
    virtual void Show(const std::string& text, MessageIcon icon) = 0;
    // Asks a question with the given buttons and returns the button pressed.
    virtual Answer Ask(const std::string& text, ButtonSet buttons, MessageIcon icon) = 0;
};

}  // namespace ombrel
