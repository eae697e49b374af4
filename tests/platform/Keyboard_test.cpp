#include "platform/Keyboard.h"

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

#include "platform/StopSignals.h"
#include "platform/TerminalRestore.h"
#include "tests/platform/PtyHelpers.h"

namespace ombrel {
namespace {

using test::Pipe;
using test::Pty;
using test::WaitReadable;
using test::WriteText;

// Long enough that the bytes of one write always count as one sequence, however slow the machine.
constexpr int kGenerousEscapeWait = 1000;

// The keys ReadKey reports until `last` arrives, sequences left out.
std::vector<int> KeysUntil(Keyboard& keyboard, int fd, int last) {
    std::vector<int> keys;
    for (int i = 0; i < 20; ++i) {
        if (!keyboard.KeyWaiting() && !WaitReadable(fd)) break;
        int key = keyboard.ReadKey();
        if (key == Keyboard::kNoKey) continue;
        keys.push_back(key);
        if (key == last) break;
    }
    return keys;
}

TEST(Keyboard, SwitchesEchoOffAndRestoresTheModes) {
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    termios before{};
    ASSERT_EQ(0, tcgetattr(pty.slave, &before));
    ASSERT_TRUE(before.c_lflag & ICANON);
    ASSERT_TRUE(before.c_lflag & ECHO);
    {
        Keyboard keyboard(pty.slave);
        EXPECT_TRUE(keyboard.IsTerminal());
        termios during{};
        ASSERT_EQ(0, tcgetattr(pty.slave, &during));
        EXPECT_FALSE(during.c_lflag & ICANON);
        EXPECT_FALSE(during.c_lflag & ECHO);
        EXPECT_TRUE(during.c_lflag & ISIG);  // Ctrl+C still reaches the stop handler

        EXPECT_FALSE(keyboard.KeyWaiting());
        EXPECT_EQ(Keyboard::kNoKey, keyboard.ReadKey());
        // Non-canonical: the key arrives without a line end, and is not echoed.
        WriteText(pty.master, "a");
        ASSERT_TRUE(WaitReadable(pty.slave));
        EXPECT_TRUE(keyboard.KeyWaiting());
        EXPECT_EQ('a', keyboard.ReadKey());
        EXPECT_EQ("", test::ReadAvailable(pty.master, 200));
    }
    termios after{};
    ASSERT_EQ(0, tcgetattr(pty.slave, &after));
    EXPECT_EQ(before.c_lflag, after.c_lflag);
    EXPECT_EQ(before.c_cc[VMIN], after.c_cc[VMIN]);
    EXPECT_EQ(before.c_cc[VTIME], after.c_cc[VTIME]);
}

TEST(Keyboard, RestoreTerminalPutsBackTheModesWhileAlive) {
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    termios before{};
    ASSERT_EQ(0, tcgetattr(pty.slave, &before));
    Keyboard keyboard(pty.slave);
    RestoreTerminal();
    termios after{};
    ASSERT_EQ(0, tcgetattr(pty.slave, &after));
    EXPECT_EQ(before.c_lflag, after.c_lflag);
}

TEST(Keyboard, LoneEscapeIsEscape) {
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    Keyboard keyboard(pty.slave, 100);
    WriteText(pty.master, "\x1b");
    ASSERT_TRUE(WaitReadable(pty.slave));
    EXPECT_EQ(Keyboard::kEscape, keyboard.ReadKey());
    EXPECT_FALSE(keyboard.KeyWaiting());
}

TEST(Keyboard, EscapeSequencesAreReadWholeAndIgnored) {
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    Keyboard keyboard(pty.slave, kGenerousEscapeWait);

    WriteText(pty.master, "\x1b[Ax");
    ASSERT_TRUE(WaitReadable(pty.slave));
    EXPECT_EQ(Keyboard::kNoKey, keyboard.ReadKey());
    ASSERT_TRUE(keyboard.KeyWaiting() || WaitReadable(pty.slave));
    EXPECT_EQ('x', keyboard.ReadKey());

    // F1 (SS3), F5, Ctrl+Right, Alt+x, a terminal's title reply: none of them is a key.
    WriteText(pty.master, "\x1bOP\x1b[15~\x1b[1;5C\x1bx\x1b]l title\x1b\\q");
    EXPECT_EQ(std::vector<int>{'q'}, KeysUntil(keyboard, pty.slave, 'q'));
}

TEST(Keyboard, EscapeTwiceIsTwoEscapes) {
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    Keyboard keyboard(pty.slave, 300);
    WriteText(pty.master, "\x1b\x1b");
    ASSERT_TRUE(WaitReadable(pty.slave));
    EXPECT_EQ(Keyboard::kEscape, keyboard.ReadKey());
    EXPECT_TRUE(keyboard.KeyWaiting());
    // The second one is lone: no byte follows it.
    EXPECT_EQ(Keyboard::kEscape, keyboard.ReadKey());
}

TEST(Keyboard, DiscardPendingDropsEverythingWaiting) {
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    Keyboard keyboard(pty.slave);
    WriteText(pty.master, "abc\x1b[B");
    ASSERT_TRUE(WaitReadable(pty.slave));
    keyboard.DiscardPending();
    EXPECT_FALSE(keyboard.KeyWaiting());
}

TEST(Keyboard, WaitKeySkipsSequencesAndEndsAtEndOfInput) {
    Pipe pipe;
    Keyboard keyboard(pipe.readEnd, kGenerousEscapeWait);
    EXPECT_FALSE(keyboard.IsTerminal());  // a pipe: no mode change, bytes still read as keys
    WriteText(pipe.writeEnd, "\x1b[Bz");
    EXPECT_EQ('z', keyboard.WaitKey());
    pipe.CloseWrite();
    EXPECT_EQ(Keyboard::kNoKey, keyboard.WaitKey());
    EXPECT_EQ(Keyboard::kNoKey, keyboard.ReadKey());
}

TEST(Keyboard, WaitKeyGivesUpOnceAStopIsRequested) {
    InstallStopHandlers();
    ResetStopFlag();
    Pipe pipe;
    Keyboard keyboard(pipe.readEnd);
    raise(SIGHUP);
    EXPECT_EQ(Keyboard::kNoKey, keyboard.WaitKey());
    ResetStopFlag();
}

}  // namespace
}  // namespace ombrel
