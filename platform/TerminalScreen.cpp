#include "platform/TerminalScreen.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "common/TextConversion.h"
#include "platform/TerminalRestore.h"

namespace ombrel {

bool IsTerminal(int fd) { return isatty(fd) == 1; }

TerminalScreen::TerminalScreen(int fd) : fd_(fd) {}

TerminalScreen::~TerminalScreen() {
    if (cursorHidden_) ShowCursor();
    Flush();
}

void TerminalScreen::MoveTo(int row, int col) {
    pending_ += Format("\x1b[%d;%dH", std::max(row, 0) + 1, std::max(col, 0) + 1);
}

void TerminalScreen::Write(std::string_view text) { pending_.append(text); }

void TerminalScreen::WriteAt(int row, int col, std::string_view text) {
    MoveTo(row, col);
    Write(text);
}

void TerminalScreen::Clear() { pending_ += "\x1b[2J\x1b[H"; }

void TerminalScreen::HideCursor() {
    pending_ += "\x1b[?25l";
    cursorHidden_ = true;
    RegisterHiddenCursor(fd_);
}

void TerminalScreen::ShowCursor() {
    pending_ += "\x1b[?25h";
    cursorHidden_ = false;
    UnregisterHiddenCursor(fd_);
}

void TerminalScreen::SetTitle(std::string_view title) {
    pending_ += "\x1b]0;";
    for (char c : title) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) pending_ += c;
    }
    pending_ += '\a';
}

void TerminalScreen::MoveWindow(int x, int y) { pending_ += Format("\x1b[3;%d;%dt", x, y); }

void TerminalScreen::Flush() {
    const char* bytes = pending_.data();
    size_t length = pending_.size();
    while (length > 0) {
        ssize_t written = write(fd_, bytes, length);
        if (written >= 0) {
            bytes += written;
            length -= static_cast<size_t>(written);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // A non-blocking output that is full: wait a little for room, but never hang the run.
            pollfd entry{fd_, POLLOUT, 0};
            if (poll(&entry, 1, 1000) <= 0) break;
        } else if (errno != EINTR) {
            break;
        }
    }
    pending_.clear();
}

}  // namespace ombrel
