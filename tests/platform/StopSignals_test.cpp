#include "platform/StopSignals.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>

#include "platform/Keyboard.h"
#include "platform/TerminalScreen.h"
#include "tests/platform/PtyHelpers.h"

namespace ombrel {
namespace {

using test::Pty;

TEST(StopSignals, HangUpTerminateAndOneInterruptOnlySetTheFlag) {
    InstallStopHandlers();
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        ResetStopFlag();
        EXPECT_FALSE(StopRequested());
        raise(signal);
        EXPECT_TRUE(StopRequested()) << "signal " << signal;
    }
    // After a reset one SIGINT is again only a stop request.
    ResetStopFlag();
    raise(SIGINT);
    EXPECT_TRUE(StopRequested());
    ResetStopFlag();
}

// Runs `body` in a child that has a keyboard and a screen with a hidden cursor on the pty's slave
// side, and returns the child's wait status. The child never returns into the test framework.
template <typename Body>
int RunChildOnTerminal(Pty& pty, Body body) {
    pid_t child = fork();
    if (child == 0) {
        rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        auto* keyboard = new Keyboard(pty.slave);  // never destroyed: only the exit paths restore
        auto* screen = new TerminalScreen(pty.slave);
        screen->HideCursor();
        screen->Flush();
        if (!keyboard->IsTerminal()) _exit(2);
        body();
        _exit(3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

void ExpectTerminalRestored(Pty& pty, const termios& before) {
    termios after{};
    ASSERT_EQ(0, tcgetattr(pty.slave, &after));
    EXPECT_EQ(before.c_lflag, after.c_lflag);
    std::string output = test::ReadAvailable(pty.master);
    EXPECT_NE(std::string::npos, output.find("\x1b[?25l\x1b[?25h")) << output;
}

TEST(StopSignals, SecondInterruptRestoresTheTerminalAndExits130) {
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    termios before{};
    ASSERT_EQ(0, tcgetattr(pty.slave, &before));
    int status = RunChildOnTerminal(pty, [] {
        InstallStopHandlers();
        raise(SIGINT);
        if (!StopRequested()) _exit(4);
        raise(SIGINT);
        _exit(5);
    });
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(130, WEXITSTATUS(status));
    ExpectTerminalRestored(pty, before);
}

TEST(StopSignals, ExitAfterAFatalMessageRestoresTheTerminal) {
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    termios before{};
    ASSERT_EQ(0, tcgetattr(pty.slave, &before));
    int status = RunChildOnTerminal(pty, [] { std::exit(1); });
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(1, WEXITSTATUS(status));
    ExpectTerminalRestored(pty, before);
}

TEST(StopSignals, AbortRestoresTheTerminalAndStillAborts) {
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    termios before{};
    ASSERT_EQ(0, tcgetattr(pty.slave, &before));
    int status = RunChildOnTerminal(pty, [] {
        InstallStopHandlers();
        std::abort();
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(SIGABRT, WTERMSIG(status));
    ExpectTerminalRestored(pty, before);
}

}  // namespace
}  // namespace ombrel
