#include "platform/Process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "common/OmbrelError.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::ReadFileText;
using test::TempDir;

std::string FailureOf(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& folder) {
    try {
        RunProgram(program, arguments, folder);
    } catch (const OmbrelError& failure) {
        return failure.what();
    }
    return "no failure";
}

TEST(RunProgram, ReturnsTheExitCodeOrTheSignalPlus128) {
    TempDir dir;
    EXPECT_EQ(RunProgram("/bin/sh", {"-c", "exit 0"}, dir.Folder()), 0);
    EXPECT_EQ(RunProgram("/bin/sh", {"-c", "exit 3"}, dir.Folder()), 3);
    EXPECT_EQ(RunProgram("/bin/sh", {"-c", "kill -KILL $$"}, dir.Folder()), 128 + 9);
}

TEST(RunProgram, RunsInTheWorkingFolderWithArgumentsUntouchedAndWaits) {
    TempDir dir;
    // No shell in between: blanks, quotes and $ reach the program as they are.
    int status = RunProgram("/bin/sh",
                            {"-c", "pwd > seen.txt; for a in \"$@\"; do echo \"[$a]\" >> seen.txt; done",
                             "script", "two words", "it's \"$HOME\"", ""},
                            dir.Folder());
    EXPECT_EQ(status, 0);
    std::string expected =
        std::filesystem::canonical(dir.Path()).string() + "\n[two words]\n[it's \"$HOME\"]\n[]\n";
    EXPECT_EQ(ReadFileText(dir.File("seen.txt")), expected);
}

TEST(RunProgram, ShieldedCallerSurvivesAnInterruptOfItsGroup) {
    TempDir dir;
    // The child interrupts its caller and itself, as Ctrl+C in a terminal interrupts the whole
    // foreground group; it dies of it, the caller does not, and gets its SIGINT handling back.
    int status = RunProgram("/bin/sh", {"-c", "kill -INT $PPID; kill -INT $$; exit 5"}, dir.Folder(), true);
    EXPECT_EQ(status, 128 + 2);
    struct sigaction now {};
    sigaction(SIGINT, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST(RunProgram, ProgramsThatCannotStartAreNamed) {
    TempDir dir;
    EXPECT_EQ(FailureOf(dir.File("missing"), {}, dir.Folder()),
              "The program " + dir.File("missing") + " could not be started (No such file or directory).");

    test::WriteFileText(dir.File("plain"), "#!/bin/sh\nexit 0\n");
    chmod(dir.File("plain").c_str(), 0644);
    EXPECT_EQ(FailureOf(dir.File("plain"), {}, dir.Folder()),
              "The program " + dir.File("plain") + " could not be started (Permission denied).");

    EXPECT_EQ(FailureOf("/bin/sh", {"-c", "exit 0"}, dir.File("gone")),
              "The program /bin/sh could not be started in the folder " + dir.File("gone") +
                  " (No such file or directory).");
}

}  // namespace
}  // namespace ombrel
