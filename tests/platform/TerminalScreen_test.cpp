#include "platform/TerminalScreen.h"

#include <gtest/gtest.h>

#include <csignal>

#include "platform/TerminalRestore.h"
#include "tests/platform/PtyHelpers.h"

namespace ombrel {
namespace {

using test::Pipe;
using test::ReadAvailable;

TEST(TerminalScreen, WritesTheExactSequences) {
    Pipe pipe;
    TerminalScreen screen(pipe.writeEnd);
    screen.MoveTo(0, 0);
    screen.MoveTo(24, 79);
    screen.WriteAt(6, 15, "       1");
    screen.MoveTo(-3, -1);
    screen.Clear();
    screen.SetTitle("Feldrin Software Ombrel - study");
    screen.MoveWindow(170, 130);
    screen.MoveWindow(-30, 5);
    screen.Write("Iteration\n");
    screen.Flush();
    EXPECT_EQ(std::string("\x1b[1;1H"
                          "\x1b[25;80H"
                          "\x1b[7;16H       1"
                          "\x1b[1;1H"
                          "\x1b[2J\x1b[H"
                          "\x1b]0;Feldrin Software Ombrel - study\a"
                          "\x1b[3;170;130t"
                          "\x1b[3;-30;5t"
                          "Iteration\n"),
              ReadAvailable(pipe.readEnd));
}

TEST(TerminalScreen, CursorSequencesAndRestoreAtExit) {
    Pipe pipe;
    {
        TerminalScreen screen(pipe.writeEnd);
        screen.HideCursor();
        screen.Flush();
        EXPECT_EQ("\x1b[?25l", ReadAvailable(pipe.readEnd));

        // What the exit paths run: the hidden cursor comes back.
        RestoreTerminal();
        EXPECT_EQ("\x1b[?25h", ReadAvailable(pipe.readEnd));

        screen.ShowCursor();
        screen.Flush();
        EXPECT_EQ("\x1b[?25h", ReadAvailable(pipe.readEnd));
        RestoreTerminal();  // nothing hidden any more: nothing written
        EXPECT_EQ("", ReadAvailable(pipe.readEnd, 50));

        screen.HideCursor();
        screen.WriteAt(24, 0, "Press ESC to stop");
    }
    // The destructor writes what was pending and shows the cursor again.
    EXPECT_EQ("\x1b[?25l\x1b[25;1HPress ESC to stop\x1b[?25h", ReadAvailable(pipe.readEnd));
    RestoreTerminal();
    EXPECT_EQ("", ReadAvailable(pipe.readEnd, 50));
}

TEST(TerminalScreen, OutputIsHeldUntilFlush) {
    Pipe pipe;
    TerminalScreen screen(pipe.writeEnd);
    screen.WriteAt(7, 15, "   0.123");
    EXPECT_EQ("\x1b[8;16H   0.123", screen.Pending());
    EXPECT_EQ("", ReadAvailable(pipe.readEnd, 50));
    screen.Flush();
    EXPECT_EQ("", screen.Pending());
    EXPECT_EQ("\x1b[8;16H   0.123", ReadAvailable(pipe.readEnd));
}

TEST(TerminalScreen, TitleCannotEndItsSequenceEarly) {
    Pipe pipe;
    TerminalScreen screen(pipe.writeEnd);
    screen.SetTitle("Feldrin Software Ombrel - a\a\x1b]0;b\x7f\n");
    screen.Flush();
    EXPECT_EQ("\x1b]0;Feldrin Software Ombrel - a]0;b\a", ReadAvailable(pipe.readEnd));
}

TEST(TerminalScreen, ClosedOutputIsDroppedNotFatal) {
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    Pipe pipe;
    pipe.CloseRead();
    TerminalScreen screen(pipe.writeEnd);
    screen.WriteAt(0, 0, "Previous Iterations");
    screen.Flush();
    EXPECT_EQ("", screen.Pending());
    sigaction(SIGPIPE, &previous, nullptr);
}

}  // namespace
}  // namespace ombrel
