#include "platform/TerminalMessenger.h"

#include <algorithm>

namespace ombrel {

namespace {

constexpr size_t kScreenWidth = 80;
constexpr size_t kScreenRows = 24;  // row 24 is the status line
constexpr size_t kMaxTextWidth = 72;
constexpr size_t kMaxTextLines = kScreenRows - 5;  // two borders, two blank rows, the prompt row

const char* IconMark(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return "[i]";
        case MessageIcon::Question:
            return "[?]";
        case MessageIcon::Exclamation:
            return "[!]";
    }
    return "[!]";
}

const char* Prompt(ButtonSet buttons) {
    switch (buttons) {
        case ButtonSet::Ok:
            return "Press any key.";
        case ButtonSet::YesNo:
            return "Y = Yes   N = No";
        case ButtonSet::YesNoCancel:
            return "Y = Yes   N = No   C = Cancel";
    }
    return "Press any key.";
}

// Breaks one paragraph into lines of at most kMaxTextWidth characters, at blanks where possible.
void WrapParagraph(const std::string& paragraph, std::vector<std::string>& lines) {
    size_t start = 0;
    do {
        size_t rest = paragraph.size() - start;
        if (rest <= kMaxTextWidth) {
            lines.push_back(paragraph.substr(start));
            return;
        }
        size_t cut = paragraph.rfind(' ', start + kMaxTextWidth);
        size_t next;
        if (cut == std::string::npos || cut <= start) {
            cut = start + kMaxTextWidth;  // one word longer than a line
            next = cut;
        } else {
            next = cut + 1;
        }
        lines.push_back(paragraph.substr(start, cut - start));
        start = next;
    } while (start < paragraph.size());
}

std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string paragraph;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n') {
            if (!paragraph.empty() && paragraph.back() == '\r') paragraph.pop_back();
            WrapParagraph(paragraph, lines);
            paragraph.clear();
            continue;
        }
        unsigned char byte = static_cast<unsigned char>(text[i]);
        paragraph += (byte < 0x20 || byte == 0x7f) && byte != '\r' ? ' ' : text[i];
    }
    if (lines.size() > kMaxTextLines) {
        lines.resize(kMaxTextLines);
        std::string& last = lines.back();
        if (last.size() > kMaxTextWidth - 3) last.resize(kMaxTextWidth - 3);
        last += "...";
    }
    return lines;
}

}  // namespace

TerminalMessenger::TerminalMessenger(TerminalScreen& screen, Keyboard& keyboard)
    : screen_(screen), keyboard_(keyboard) {}

std::vector<std::string> TerminalMessenger::FrameLines(const std::string& text, ButtonSet buttons,
                                                       MessageIcon icon) {
    std::vector<std::string> body = TextLines(text);
    std::string title = std::string("-") + IconMark(icon) + "- " + kMessageTitle + " ";
    std::string prompt = Prompt(buttons);

    size_t width = std::max(title.size() - 4, prompt.size());
    for (const std::string& line : body) width = std::max(width, line.size());
    size_t inner = width + 4;

    auto framed = [inner](const std::string& content) {
        std::string row = "|  " + content;
        row.append(inner + 1 - row.size(), ' ');
        return row + "|";
    };
    std::vector<std::string> rows;
    rows.push_back("+" + title + std::string(inner - title.size(), '-') + "+");
    rows.push_back(framed(""));
    for (const std::string& line : body) rows.push_back(framed(line));
    rows.push_back(framed(""));
    rows.push_back(framed(prompt));
    rows.push_back("+" + std::string(inner, '-') + "+");
    return rows;
}

void TerminalMessenger::Draw(const std::string& text, ButtonSet buttons, MessageIcon icon) {
    // A key pressed before the message appears must not answer it unseen.
    keyboard_.DiscardPending();
    std::vector<std::string> rows = FrameLines(text, buttons, icon);
    int left = static_cast<int>((kScreenWidth - rows.front().size()) / 2);
    int top = rows.size() < kScreenRows ? static_cast<int>((kScreenRows - rows.size()) / 2) : 0;
    for (size_t i = 0; i < rows.size(); ++i) screen_.WriteAt(top + static_cast<int>(i), left, rows[i]);
    screen_.Flush();
}

void TerminalMessenger::Show(const std::string& text, MessageIcon icon) {
    Draw(text, ButtonSet::Ok, icon);
    keyboard_.WaitKey();
}

Answer TerminalMessenger::Ask(const std::string& text, ButtonSet buttons, MessageIcon icon) {
    Draw(text, buttons, icon);
    if (buttons == ButtonSet::Ok) {
        keyboard_.WaitKey();
        return Answer::Ok;
    }
    const bool cancelAllowed = buttons == ButtonSet::YesNoCancel;
    for (;;) {
        int key = keyboard_.WaitKey();
        if (key == Keyboard::kNoKey) return cancelAllowed ? Answer::Cancel : Answer::No;
        if (key == 'y' || key == 'Y') return Answer::Yes;
        if (key == 'n' || key == 'N') return Answer::No;
        if (cancelAllowed && (key == 'c' || key == 'C' || key == Keyboard::kEscape)) return Answer::Cancel;
    }
}

}  // namespace ombrel
