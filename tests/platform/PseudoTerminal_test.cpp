// Programs on a pseudo-terminal of their own: output, typed keys, the window size they see, the
// hang-up on close, what they inherit, and start failures known before anything is waited for.
// Every wait is bounded by a generous limit; nothing asserts how long anything takes.

#include "platform/PseudoTerminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/OmbrelError.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(30);

const std::vector<std::string> ShellCommand(const std::string& script) { return {"-c", script}; }

// Reads until the text has arrived (true) or the output ended or the limit passed (false).
bool ReadUntil(PseudoTerminal& terminal, std::string& output, const std::string& text) {
    const Clock::time_point deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        if (output.find(text) != std::string::npos) return true;
        const PseudoTerminal::ReadStatus status = terminal.Read(output);
        if (status == PseudoTerminal::ReadStatus::End) return output.find(text) != std::string::npos;
        if (status == PseudoTerminal::ReadStatus::Nothing)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// Reads everything up to the end of output.
std::string ReadToEnd(PseudoTerminal& terminal) {
    std::string output;
    const Clock::time_point deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        const PseudoTerminal::ReadStatus status = terminal.Read(output);
        if (status == PseudoTerminal::ReadStatus::End) break;
        if (status == PseudoTerminal::ReadStatus::Nothing)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return output;
}

bool WaitForExit(PseudoTerminal& terminal) {
    const Clock::time_point deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        if (terminal.PollExit()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

TEST(PseudoTerminal, OutputArrivesThenEndAndTheExitStatus) {
    PseudoTerminal terminal("/bin/sh", ShellCommand("printf 'hello\\nworld'; exit 3"), "", TerminalSize{});
    EXPECT_GT(terminal.ProcessId(), 0);
    // The terminal's output processing turns LF into CR LF.
    EXPECT_EQ(ReadToEnd(terminal), "hello\r\nworld");
    ASSERT_TRUE(WaitForExit(terminal));
    EXPECT_EQ(terminal.ExitStatus(), std::optional<int>(3));
    std::string more;
    EXPECT_EQ(terminal.Read(more), PseudoTerminal::ReadStatus::End);
    EXPECT_EQ(more, "");
}

TEST(PseudoTerminal, TypedBytesReachTheProgram) {
    PseudoTerminal terminal("/bin/sh", ShellCommand("echo ready; read x; echo got:$x"), "", TerminalSize{});
    std::string output;
    ASSERT_TRUE(ReadUntil(terminal, output, "ready")) << output;
    // Enter as a terminal sends it: CR, which the line discipline hands over as a line end.
    EXPECT_EQ(terminal.Write("abc\r"), 4u);
    ASSERT_TRUE(ReadUntil(terminal, output, "got:abc\r\n")) << output;
    ASSERT_TRUE(WaitForExit(terminal));
    EXPECT_EQ(terminal.ExitStatus(), std::optional<int>(0));
}

TEST(PseudoTerminal, RunsInTheWorkingFolderWithTheArgumentsAsTheyAre) {
    test::TempDir dir;
    PseudoTerminal terminal("/bin/sh",
                            {"-c", "pwd; printf '[%s]' \"$1\" \"$2\"", "sh", "two words", "$HOME;*"},
                            dir.Folder(), TerminalSize{});
    const std::string expected = std::filesystem::canonical(dir.Path()).string() + "\r\n[two words][$HOME;*]";
    EXPECT_EQ(ReadToEnd(terminal), expected);
}

TEST(PseudoTerminal, TheProgramSeesTheSizeAndItsChanges) {
    PseudoTerminal terminal("/bin/sh", ShellCommand("stty size; read x; stty size"), "",
                            TerminalSize{25, 80, 660, 340});
    std::string output;
    ASSERT_TRUE(ReadUntil(terminal, output, "25 80\r\n")) << output;
    terminal.Resize(TerminalSize{30, 100, 800, 600});
    terminal.Write("\r");
    ASSERT_TRUE(ReadUntil(terminal, output, "30 100\r\n")) << output;
}

TEST(PseudoTerminal, CloseHangsUpTheProgram) {
    test::TempDir dir;
    const std::string marker = dir.File("hangup.txt");
    PseudoTerminal terminal("/bin/sh",
                            ShellCommand("trap 'echo hup > \"" + marker +
                                         "\"; exit 0' HUP; echo ready; while :; do sleep 0.05; done"),
                            "", TerminalSize{});
    std::string output;
    ASSERT_TRUE(ReadUntil(terminal, output, "ready")) << output;
    terminal.Close();
    EXPECT_FALSE(terminal.IsOpen());
    EXPECT_EQ(terminal.MasterFd(), -1);
    EXPECT_EQ(terminal.Write("x"), 0u);
    EXPECT_EQ(terminal.Read(output), PseudoTerminal::ReadStatus::End);
    ASSERT_TRUE(WaitForExit(terminal));
    EXPECT_EQ(terminal.ExitStatus(), std::optional<int>(0));
    EXPECT_EQ(test::ReadFileText(marker), "hup\n");
}

// A signal set of /proc/<pid>/status ("SigIgn:\t0000000180000000"), bit n - 1 for signal n; all
// bits set when the line is missing.
unsigned long long SignalSet(const std::string& status, const std::string& name) {
    const size_t at = status.find(name + ":\t");
    if (at == std::string::npos) return ~0ULL;
    return std::strtoull(status.c_str() + at + name.size() + 2, nullptr, 16);
}

TEST(PseudoTerminal, TheChildInheritsNoSignalSettingsAndNoDescriptorsOfOurs) {
    // Blocked and ignored here, and a descriptor without close-on-exec: none of it may reach the child.
    sigset_t blocked;
    sigset_t previousMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    sigaddset(&blocked, SIGHUP);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &blocked, &previousMask), 0);
    struct sigaction ignore {};
    struct sigaction previousAction {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR2, &ignore, &previousAction), 0);
    // A number of its own: the shell's pipeline briefly holds low descriptors of its own (3, 4).
    const int opened = open("/dev/null", O_RDONLY);
    ASSERT_GE(opened, 3);
    const int stray = dup2(opened, 57);
    close(opened);
    ASSERT_EQ(stray, 57);

    std::string output;
    {
        PseudoTerminal terminal(
            "/bin/sh",
            // The shell reads its own status with builtins: while it forks a pipeline's programs it
            // blocks every signal for a moment, and a program reading the status then would see that.
            ShellCommand("while read -r line; do case $line in SigBlk:*|SigIgn:*) echo \"$line\";; esac; "
                         "done < /proc/$$/status; ls /proc/$$/fd | tr '\\n' ' '"),
            "", TerminalSize{});
        output = ReadToEnd(terminal);
    }
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    sigaction(SIGUSR2, &previousAction, nullptr);
    close(stray);

    // Signals 32 and 33 belong to the C library, which lets nobody change them: whatever the
    // environment did to those is left out.
    const unsigned long long ours = ~((1ULL << 31) | (1ULL << 32));
    EXPECT_EQ(SignalSet(output, "SigBlk") & ours, 0u) << output;
    EXPECT_EQ(SignalSet(output, "SigIgn") & ours, 0u) << output;
    // The shell's own descriptors: the terminal as 0, 1 and 2 (and whatever it opens itself for the
    // pipeline, never our stray one).
    EXPECT_NE(output.find("0 1 2 "), std::string::npos) << output;
    EXPECT_EQ(output.find(" " + std::to_string(stray) + " "), std::string::npos) << output;
}

TEST(PseudoTerminal, StartFailuresThrowNamingTheProgram) {
    test::TempDir dir;
    const std::string missing = dir.File("no-such-program");
    EXPECT_EQ(test::FailureMessage([&] { PseudoTerminal terminal(missing, {}, "", TerminalSize{}); }),
              "The program " + missing + " could not be started (No such file or directory).");

    const std::string plain = dir.File("plain.txt");
    test::WriteFileText(plain, "not a program\n");
    chmod(plain.c_str(), 0644);
    EXPECT_EQ(test::FailureMessage([&] { PseudoTerminal terminal(plain, {}, "", TerminalSize{}); }),
              "The program " + plain + " could not be started (Permission denied).");

    const std::string folder = dir.File("no-such-folder") + "/";
    EXPECT_EQ(
        test::FailureMessage([&] {
            PseudoTerminal terminal("/bin/sh", {"-c", "true"}, folder, TerminalSize{});
        }),
        "The program /bin/sh could not be started in the folder " + folder + " (No such file or directory).");

    // No child is left behind by the failed starts.
    int status = 0;
    errno = 0;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(PseudoTerminal, TheDestructorReapsEvenAProgramThatIgnoresTheHangUp) {
    pid_t pid = -1;
    {
        PseudoTerminal terminal("/bin/sh",
                                ShellCommand("trap '' HUP; echo ready; while :; do sleep 0.05; done"), "",
                                TerminalSize{});
        std::string output;
        ASSERT_TRUE(ReadUntil(terminal, output, "ready")) << output;
        pid = terminal.ProcessId();
    }
    // Reaped: no such child any more (a zombie would still be waitable).
    int status = 0;
    errno = 0;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(PseudoTerminal, KillEndsTheProgramAtOnce) {
    PseudoTerminal terminal("/bin/sh", ShellCommand("trap '' HUP; echo ready; while :; do sleep 0.05; done"),
                            "", TerminalSize{});
    std::string output;
    ASSERT_TRUE(ReadUntil(terminal, output, "ready")) << output;
    terminal.Close();
    terminal.Kill();
    EXPECT_TRUE(terminal.HasExited());
    EXPECT_EQ(terminal.ExitStatus(), std::optional<int>(128 + SIGKILL));
}

}  // namespace
}  // namespace ombrel
