#pragma once

#include <unistd.h>

#include <optional>
#include <string>
#include <string_view>

namespace ombrel {

// True when fd is a terminal.
bool IsTerminal(int fd);

// The estimator's console: ANSI/VT100 sequences on an output file descriptor. Everything is
// collected in a buffer and written with one write() per Flush, since the progress screen is redrawn
// field by field once per iteration.
//
// Rows and columns are counted from 0 here and written 1-based in the sequences. Output errors (a
// terminal that was closed, a vanished reader) drop the output silently: the run goes on and still
// writes its files.
//
// While the cursor is hidden the screen is recorded with RestoreTerminal, so the cursor comes back
// at every exit; the destructor flushes and shows it again.
class TerminalScreen {
public:
    explicit TerminalScreen(int fd = STDOUT_FILENO);
    ~TerminalScreen();
    TerminalScreen(const TerminalScreen&) = delete;
    TerminalScreen& operator=(const TerminalScreen&) = delete;

    // ESC [ row+1 ; col+1 H. Negative arguments count as 0.
    void MoveTo(int row, int col);
    // Text at the cursor, as it is (line breaks included).
    void Write(std::string_view text);
    void WriteAt(int row, int col, std::string_view text);
    // ESC [2J, then the cursor to the top left corner (ESC [H).
    void Clear();
    void HideCursor();
    void ShowCursor();
    // ESC ] 0;title BEL. Control characters of the title (they would end the sequence early or start
    // another one) are left out.
    void SetTitle(std::string_view title);
    // Asks the terminal to move its window to pixel position (x, y): ESC [ 3;x;y t.
    void MoveWindow(int x, int y);
    // Writes out everything collected since the last Flush.
    void Flush();

    int Fd() const { return fd_; }
    // What would be written by the next Flush (for tests).
    const std::string& Pending() const { return pending_; }

private:
    int fd_;
    std::string pending_;
    bool cursorHidden_ = false;
};

}  // namespace ombrel
