#pragma once

#include <string>
#include <vector>

#include "common/Messenger.h"
#include "platform/Keyboard.h"
#include "platform/TerminalScreen.h"

namespace ombrel {

// The estimator's messages on its own console: the text in a frame of ASCII characters in the
// middle of the 80 x 25 screen (above the status line), the title and icon in the top border.
// Show waits for any key; Ask waits for Y, N or C (either case; ESC counts as Cancel where there is
// one). When no key can come any more (end of input, stop requested) Ask returns the safe answer:
// Cancel, No for a Yes/No question.
//
// The frame is left on the screen afterwards; the caller redraws what it needs.
class TerminalMessenger : public Messenger {
public:
    TerminalMessenger(TerminalScreen& screen, Keyboard& keyboard);

    void Show(const std::string& text, MessageIcon icon) override;
    Answer Ask(const std::string& text, ButtonSet buttons, MessageIcon icon) override;

    // The rows of the frame, each the same width (at most 78 characters). Lines are broken at
    // blanks to fit; control characters are shown as blanks; a text longer than the screen is cut
    // with "...".
    static std::vector<std::string> FrameLines(const std::string& text, ButtonSet buttons, MessageIcon icon);

private:
    void Draw(const std::string& text, ButtonSet buttons, MessageIcon icon);

    TerminalScreen& screen_;
    Keyboard& keyboard_;
};

}  // namespace ombrel
