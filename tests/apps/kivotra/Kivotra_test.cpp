// The built kivotra program as a child process on small simulated studies: its screen on a
// pseudo-terminal and the ESC stop, a headless run, a stop by SIGTERM, and a fatal message.
// Every wait has a generous limit after which the child is killed and the test fails; nothing
// asserts how long anything takes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/StudySettings.h"
#include "common/TextConversion.h"
#include "frontend/ConsoleScreen.h"
#include "platform/ScriptedMessenger.h"
#include "tests/support/SimulatedSettingsFolder.h"
#include "tests/support/SimulatedStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using Clock = std::chrono::steady_clock;
using test::ReadFileText;
using test::TempDir;

const std::string kKivotra = std::string(OMBREL_BINARY_DIR) + "/bin/kivotra";
constexpr auto kPatience = std::chrono::seconds(60);

// Thirty simulated respondents; the program runs with the folder as its working directory.
struct Study : test::SimulatedSettingsFolder {
    explicit Study(int preliminaryIterations)
        : SimulatedSettingsFolder(test::SmallDesign(30, 4), preliminaryIterations, 2) {}
};

// The exit status, once the child has ended; after the limit the child is killed and nullopt returned.
std::optional<int> WaitForExit(pid_t pid, Clock::duration limit = kPatience) {
    const Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (done < 0) return std::nullopt;
        if (Clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool StillRunning(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
}

// Waits until the file holds the text (or the child has ended, or the limit passed).
bool WaitForFileText(const std::string& path, const std::string& text, pid_t pid) {
    const Clock::time_point deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        if (std::filesystem::exists(path) && ReadFileText(path).find(text) != std::string::npos) return true;
        if (!StillRunning(pid)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Starts kivotra headless: standard output and error into files of the study folder, standard
// input a pipe that stays open and silent (a program that waited for a key would wait for ever).
struct HeadlessChild {
    pid_t pid = -1;
    int keyboard = -1;
    std::string outPath;
    std::string errPath;

    HeadlessChild(const test::SimulatedSettingsFolder& study, std::vector<std::string> arguments) {
        outPath = study.dir.File("stdout.txt");
        errPath = study.dir.File("stderr.txt");
        const std::string folder = study.dir.Folder();
        arguments.insert(arguments.begin(), kKivotra);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        int fds[2];
        if (pipe(fds) != 0) return;
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid = fork();
        if (pid == 0) {
            if (chdir(folder.c_str()) != 0) _exit(126);
            dup2(fds[0], STDIN_FILENO);
            dup2(out, STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[0]);
        close(out);
        close(err);
        keyboard = fds[1];
    }
    ~HeadlessChild() {
        if (pid > 0 && StillRunning(pid)) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (keyboard >= 0) close(keyboard);
    }
    std::string Err() const { return ReadFileText(errPath); }
};

// kivotra on the slave side of a pseudo-terminal of 80 x 25 characters (no pixel size, so the
// window is never asked to move); the test reads the master side into a ConsoleScreen and types on it.
struct PtyChild {
    pid_t pid = -1;
    int master = -1;
    ConsoleScreen screen;

    explicit PtyChild(const Study& study) {
        const std::string folder = study.dir.Folder();
        std::string program = kKivotra;
        std::string top = "100", left = "200", bottom = "500", right = "800";
        char* argv[] = {program.data(), top.data(), left.data(), bottom.data(), right.data(), nullptr};
        winsize size{};
        size.ws_row = ConsoleScreen::kRows;
        size.ws_col = ConsoleScreen::kColumns;
        pid = forkpty(&master, nullptr, nullptr, &size);
        if (pid == 0) {
            if (chdir(folder.c_str()) != 0) _exit(126);
            execv(argv[0], argv);
            _exit(127);
        }
    }
    ~PtyChild() {
        if (pid > 0 && StillRunning(pid)) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (master >= 0) close(master);
    }

    // Reads what the program wrote, for up to waitMs; false once the pty is closed on its side.
    bool Pump(int waitMs) {
        pollfd entry{master, POLLIN, 0};
        if (poll(&entry, 1, waitMs) != 1) return true;
        char buffer[8192];
        const ssize_t count = read(master, buffer, sizeof buffer);
        if (count <= 0) return false;
        screen.Feed(std::string(buffer, static_cast<size_t>(count)));
        return true;
    }
    // Keeps reading until the condition holds on the screen; false when the program went away or the
    // limit passed first.
    template <typename Condition>
    bool PumpUntil(Condition condition) {
        const Clock::time_point deadline = Clock::now() + kPatience;
        while (Clock::now() < deadline) {
            if (condition(screen)) return true;
            if (!Pump(50)) return condition(screen);
        }
        return false;
    }
    void Type(const std::string& keys) const {
        if (write(master, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size()))
            ADD_FAILURE() << "typing";
    }
    // Types a key now and then until the program ends, reading its output meanwhile (a key typed
    // while it discards pending input is lost, and a full pty would block it).
    std::optional<int> PressKeysUntilExit() {
        const Clock::time_point deadline = Clock::now() + kPatience;
        while (Clock::now() < deadline) {
            int status = 0;
            const pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            Type("x");
            Pump(200);
        }
        return std::nullopt;
    }
};

int FieldValue(const ConsoleScreen& screen, int column, int row, size_t width) {
    std::istringstream in(screen.Text(row, column, width));
    int value = -1;
    in >> value;
    return value;
}

TEST(KivotraOnATerminal, DrawsTheScreenStopsOnEscapeAndWaitsForAKey) {
    Study study(1000000);
    PtyChild child(study);
    ASSERT_GT(child.pid, 0);

    // The header block, the fixed labels and the status line at their places, and a few iterations.
    ASSERT_TRUE(child.PumpUntil([](const ConsoleScreen& screen) {
        return FieldValue(screen, 15, 6, 8) >= 3 && screen.Row(24).rfind("Press ESC to stop", 0) == 0;
    })) << "screen so far:\n"
        << child.screen.Row(0) << "\n"
        << child.screen.Row(6) << "\n"
        << child.screen.Row(24);
    const ConsoleScreen& screen = child.screen;
    EXPECT_EQ(screen.Text(0, 0, 36), "Previous Iterations                0");
    EXPECT_EQ(screen.Text(1, 0, 36), "Preliminary iterations       1000000");
    EXPECT_EQ(screen.Text(4, 0, 36), "Total iterations             1000020");
    EXPECT_EQ(screen.Text(0, 45, 34), "Number of respondents           30");
    EXPECT_EQ(screen.Text(1, 45, 34), "Parameters per respondent        4");
    EXPECT_EQ(screen.Text(4, 45, 25), "No Constraints are in use");
    EXPECT_EQ(screen.Text(5, 45, 22), "Random draws not saved");
    EXPECT_EQ(screen.Text(7, 45, 30), "Total task weight             ");  // ".cho" data only
    EXPECT_EQ(screen.Text(6, 0, 9), "Iteration");
    EXPECT_EQ(screen.Text(7, 0, 10), "Pct. Cert.");
    EXPECT_EQ(screen.Text(6, 29, 7), "Average");
    EXPECT_EQ(screen.Text(9, 45, 15), "Acceptance Rate");
    EXPECT_EQ(screen.Text(12, 0, 19), "Average part worths");
    EXPECT_EQ(screen.Row(24), "Press ESC to stop" + std::string(63, ' '));
    EXPECT_EQ(screen.Title().value_or(""), "Feldrin Software Ombrel - study");

    child.Type("\x1b");
    ASSERT_TRUE(child.PumpUntil([](const ConsoleScreen& shown) {
        return shown.Row(24).find("  Press any key.") != std::string::npos;
    })) << child.screen.Row(24);
    EXPECT_EQ(child.screen.Row(24).rfind("This session did ", 0), 0u) << child.screen.Row(24);
    // The restart file is written before the key wait, and the program does wait.
    child.Pump(300);
    EXPECT_TRUE(StillRunning(child.pid));
    EXPECT_TRUE(study.Exists(".res"));
    const int completed = study.CompletedIterations();
    EXPECT_GE(completed, 3);
    EXPECT_LT(completed, study.TotalIterations());
    for (const char* extension : {".hbu", ".csv", ".sum", ".std"})
        EXPECT_FALSE(study.Exists(extension)) << extension;

    EXPECT_EQ(child.PressKeysUntilExit(), std::optional<int>(0));
}

TEST(KivotraOnATerminal, ArrowKeysDoNotStopTheRun) {
    Study study(200);
    PtyChild child(study);
    ASSERT_GT(child.pid, 0);
    ASSERT_TRUE(
        child.PumpUntil([](const ConsoleScreen& screen) { return FieldValue(screen, 15, 6, 8) >= 1; }));
    child.Type("\x1b[A\x1b[B");
    ASSERT_TRUE(child.PumpUntil([](const ConsoleScreen& screen) {
        return screen.Row(24).find("  Press any key.") != std::string::npos;
    }));
    EXPECT_EQ(FieldValue(child.screen, 15, 6, 8), study.TotalIterations());
    EXPECT_EQ(child.PressKeysUntilExit(), std::optional<int>(0));
    EXPECT_TRUE(study.Exists(".hbu"));
    EXPECT_EQ(study.CompletedIterations(), study.TotalIterations());
}

TEST(KivotraHeadless, RunsToTheEndWithProgressOnStandardErrorAndNoKeyWait) {
    Study study(60);
    HeadlessChild child(study, {"100", "200", "500", "800"});
    ASSERT_GT(child.pid, 0);
    EXPECT_EQ(WaitForExit(child.pid), std::optional<int>(0)) << child.Err();
    child.pid = -1;
    const std::string err = child.Err();
    EXPECT_NE(err.find("Iteration 80 of 80 (100%)  Pct. Cert. "), std::string::npos) << err;
    EXPECT_EQ(err.find("Feldrin Software Ombrel: "), std::string::npos) << err;
    EXPECT_EQ(ReadFileText(child.outPath), "");  // no screen
    for (const char* extension : {".hbu", ".lay", ".csv", ".std", ".sum", ".alp", ".cov", ".res", ".log"})
        EXPECT_TRUE(study.Exists(extension)) << extension;
    EXPECT_EQ(study.CompletedIterations(), 80);
    EXPECT_NE(ReadFileText(study.dir.File("study.log")).find("\nThis session did 80 iterations in "),
              std::string::npos);
}

TEST(KivotraHeadless, SigtermStopsAfterTheIterationAndKeepsTheRestartFile) {
    Study study(1000000);
    HeadlessChild child(study, {"--headless"});
    ASSERT_GT(child.pid, 0);
    // The first progress line comes with the first iteration, so the loop (and its handlers) run.
    ASSERT_TRUE(WaitForFileText(child.errPath, "Iteration ", child.pid)) << child.Err();
    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(child.pid), std::optional<int>(0)) << child.Err();
    child.pid = -1;
    ASSERT_TRUE(study.Exists(".res"));
    const int completed = study.CompletedIterations();
    EXPECT_GE(completed, 1);
    EXPECT_LT(completed, study.TotalIterations());
    for (const char* extension : {".hbu", ".lay", ".csv", ".std", ".sum", ".dra"})
        EXPECT_FALSE(study.Exists(extension)) << extension;
    EXPECT_NE(ReadFileText(study.dir.File("study.log")).find("\nThis session did "), std::string::npos);
}

TEST(KivotraHeadless, AFatalMessageGoesToStandardErrorWithStatusOne) {
    Study study(10);
    test::WriteFileText(study.dir.File("names.pellik"), study.dir.File("study.txt") + "\n");
    HeadlessChild child(study, {});
    ASSERT_GT(child.pid, 0);
    EXPECT_EQ(WaitForExit(child.pid), std::optional<int>(1));
    child.pid = -1;
    const std::string err = child.Err();
    EXPECT_NE(err.find("Feldrin Software Ombrel: An invalid data file was specified.\n"), std::string::npos)
        << err;
    EXPECT_FALSE(study.Exists(".log"));
    EXPECT_FALSE(study.Exists(".res"));
}

// The study folder without the child's own output files.
std::map<std::string, std::string> StudyFilesBesideTheOutput(const Study& study) {
    std::map<std::string, std::string> contents = test::FolderContents(study.dir.Folder());
    contents.erase("stdout.txt");
    contents.erase("stderr.txt");
    return contents;
}

TEST(KivotraHeadless, AHandEditedSettingOutOfItsRangeIsRefusedWithStatusOne) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"2000\n10\n0\n10\n0\n 1.00\n1\n5\n 2.00\n1\n5\n",
         "'Skip factor for using draws' must be an integer between 1 and 100."},
        {"2000\n10\n10\n10\n0\n 1.00\n1\n5\n-nan\n1\n5\n",
         "'Prior variance' must be a number between 0.1 and 100.0."},
        {"2000\n10\n10\n10\n0\n 1.00\n1\n5\n 2.00\n1\n4294967301\n",
         "The number 4294967301 in {folder}study.set does not fit a 32-bit integer (-2147483648 to "
         "2147483647)."},
    };
    for (auto [text, message] : cases) {
        Study study(10);
        test::WriteFileText(study.dir.File("study.set"), text);
        const auto before = StudyFilesBesideTheOutput(study);
        HeadlessChild child(study, {"--headless"});
        ASSERT_GT(child.pid, 0);
        EXPECT_EQ(WaitForExit(child.pid), std::optional<int>(1));
        child.pid = -1;
        if (message.find("{folder}") != std::string::npos)
            message.replace(message.find("{folder}"), 8, study.dir.Folder());
        EXPECT_EQ(child.Err(), "Feldrin Software Ombrel: " + message + "\n");
        EXPECT_EQ(StudyFilesBesideTheOutput(study), before) << message;
    }
}

TEST(KivotraHeadless, AThreadCountOutsideOneTo1024IsRefusedBeforeTheRun) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--threads", "0"}, "0"},         {{"0", "0", "--threads", "1025", "0", "0"}, "1025"},
        {{"--threads=-2"}, "-2"},          {{"--threads", "two"}, "two"},
        {{"--headless", "--threads"}, ""},
    };
    for (const auto& [arguments, given] : cases) {
        Study study(10);
        HeadlessChild child(study, arguments);
        ASSERT_GT(child.pid, 0);
        EXPECT_EQ(WaitForExit(child.pid), std::optional<int>(1)) << given;
        child.pid = -1;
        EXPECT_EQ(child.Err(),
                  "Feldrin Software Ombrel: kivotra --threads takes a whole number of threads from 1 to "
                  "1024, not \"" +
                      given + "\".\n");
        EXPECT_FALSE(study.Exists(".log")) << given;
        EXPECT_FALSE(study.Exists(".res")) << given;
    }
}

// The same study and seed on 1, 2, 3 and 8 threads: the same result files to the byte and the same
// log lines (the closing sentence, which tells the time taken, aside).
TEST(KivotraHeadless, AnyThreadCountWritesTheSameFiles) {
    const std::vector<std::string> extensions = {".hbu", ".csv", ".std", ".sum", ".alp", ".cov", ".res"};
    std::vector<std::vector<std::string>> files;
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--threads", "1"},
                                               {"0", "0", "--threads", "2", "0", "0"},
                                               {"--threads=3"},
                                               {"--threads", "8"}}) {
        Study study(20);
        HeadlessChild child(study, arguments);
        ASSERT_GT(child.pid, 0);
        ASSERT_EQ(WaitForExit(child.pid), std::optional<int>(0)) << child.Err();
        child.pid = -1;
        files.emplace_back();
        for (const std::string& extension : extensions)
            files.back().push_back(ReadFileText(study.dir.File("study" + extension)));
        std::string log = study.Log();
        log = log.substr(0, log.find("This session did "));
        // The header's first lines carry the date and time of the run.
        files.back().push_back(log.substr(log.find("Iteration")));
    }
    ASSERT_FALSE(files[0][0].empty());
    for (size_t run = 1; run < files.size(); ++run)
        for (size_t i = 0; i < files[0].size(); ++i)
            EXPECT_EQ(files[0][i], files[run][i]) << "run " << run << ", file " << i;
}

// A study whose run makes many checkpoints: 300 respondents, saved draws, 600 iterations.
struct CheckpointedStudy : test::SimulatedSettingsFolder {
    CheckpointedStudy() : SimulatedSettingsFolder(test::SmallDesign(300, 9), 400, 2) {
        settings.drawsPerRespondent = 100;
        settings.saveDraws = true;
        ScriptedMessenger messenger;
        EXPECT_TRUE(settings.SaveSettings(messenger));
    }
    // Per result file, where it first differs from other's: empty when every file is the same.
    std::string DifferencesFrom(const CheckpointedStudy& other) const {
        std::string differences;
        for (const char* extension : {".hbu", ".lay", ".csv", ".dra", ".sum", ".alp", ".cov"}) {
            const std::string mine = ReadFileText(dir.File(std::string("study") + extension));
            const std::string theirs = ReadFileText(other.dir.File(std::string("study") + extension));
            if (mine == theirs) continue;
            size_t at = 0;
            while (at < mine.size() && at < theirs.size() && mine[at] == theirs[at]) ++at;
            differences += Format("%s differs at byte %zu (%zu and %zu bytes); ", extension, at, mine.size(),
                                  theirs.size());
        }
        return differences;
    }
    // A temporary file of a checkpoint being written: the restart file's or the resume file's.
    bool CheckpointBeingWritten() const {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path(), error)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("study.res.tmp", 0) == 0 || name.rfind("study.resume.tmp", 0) == 0) return true;
        }
        return false;
    }
};

void Kill(HeadlessChild& child) {
    kill(child.pid, SIGKILL);
    int status = 0;
    waitpid(child.pid, &status, 0);
    child.pid = -1;
}

// SIGKILL at twenty random moments spread over the run (each a few milliseconds after the run has
// passed a random iteration), and once while a checkpoint is being written, each followed by a
// resume: the last session ends the run with the files of the same run uninterrupted.
TEST(KivotraHeadless, KilledAtAnyMomentAndResumedItWritesTheUninterruptedRunsFiles) {
    CheckpointedStudy reference;
    {
        HeadlessChild child(reference, {"--checkpoint-seconds", "0"});
        ASSERT_EQ(WaitForExit(child.pid), std::optional<int>(0)) << child.Err();
        child.pid = -1;
    }
    CheckpointedStudy study;
    std::mt19937 random(20261208);
    std::vector<int> targets(20);
    std::uniform_int_distribution<int> iteration(5, study.TotalIterations() - 20);
    for (int& target : targets) target = iteration(random);
    std::sort(targets.begin(), targets.end());
    std::uniform_int_distribution<int> delay(0, 8);
    int kills = 0;
    for (int target : targets) {
        HeadlessChild child(study, {"--checkpoint-seconds", "0.02"});
        ASSERT_GT(child.pid, 0);
        const Clock::time_point deadline = Clock::now() + kPatience;
        while (study.CompletedIterations() < target && StillRunning(child.pid) && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
        ASSERT_TRUE(StillRunning(child.pid)) << "the run ended before iteration " << target << child.Err();
        Kill(child);
        ++kills;
    }
    EXPECT_EQ(kills, 20);
    bool killedInCheckpoint = false;
    for (int session = 0; !killedInCheckpoint && session < 20; ++session) {
        HeadlessChild child(study, {"--checkpoint-seconds", "0.001"});
        ASSERT_GT(child.pid, 0);
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
        while (!killedInCheckpoint && StillRunning(child.pid) && Clock::now() < deadline) {
            if (study.CheckpointBeingWritten()) {
                Kill(child);
                killedInCheckpoint = true;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        if (child.pid > 0) Kill(child);
    }
    EXPECT_TRUE(killedInCheckpoint);
    HeadlessChild last(study, {"--checkpoint-seconds", "0.02"});
    ASSERT_EQ(WaitForExit(last.pid), std::optional<int>(0)) << last.Err();
    last.pid = -1;
    // On a failure, the log's lines about sessions and resumes tell what happened.
    const std::string log = study.Log();
    {
        std::istringstream lines(log);
        std::string line, notes;
        while (std::getline(lines, line))
            if (line.find("esume") != std::string::npos || line.find("heckpoint") != std::string::npos ||
                line.find("Previous") != std::string::npos || line.find("session") != std::string::npos)
                notes += line + "\n";
        EXPECT_EQ(study.DifferencesFrom(reference), "") << notes;
    }
    EXPECT_NE(log.find("The run resumes from its checkpoint after iteration "), std::string::npos);
    EXPECT_FALSE(study.CheckpointBeingWritten()) << "the half-written checkpoint is cleared away";
    EXPECT_FALSE(study.Exists(".resume")) << "a finished run leaves no resume file";
    const size_t leftAside = log.find("The resume file is not used");
    EXPECT_EQ(leftAside, std::string::npos) << log.substr(leftAside, 120);
}

// SIGTERM and SIGHUP stop the run after its iteration; resumed, it goes on exactly.
TEST(KivotraHeadless, SigtermAndSighupStopsResumeExactly) {
    CheckpointedStudy reference;
    {
        HeadlessChild child(reference, {"--checkpoint-seconds", "0"});
        ASSERT_EQ(WaitForExit(child.pid), std::optional<int>(0)) << child.Err();
        child.pid = -1;
    }
    CheckpointedStudy study;
    for (int signal : {SIGTERM, SIGHUP, SIGTERM}) {
        HeadlessChild child(study, {"--checkpoint-seconds", "0"});
        ASSERT_GT(child.pid, 0);
        ASSERT_TRUE(WaitForFileText(child.errPath, "Iteration ", child.pid)) << child.Err();
        kill(child.pid, signal);
        EXPECT_EQ(WaitForExit(child.pid), std::optional<int>(0)) << child.Err();
        child.pid = -1;
    }
    HeadlessChild last(study, {"--checkpoint-seconds", "0"});
    ASSERT_EQ(WaitForExit(last.pid), std::optional<int>(0)) << last.Err();
    last.pid = -1;
    EXPECT_EQ(study.DifferencesFrom(reference), "");
    EXPECT_NE(study.Log().find("The run resumes exactly where it stopped, after iteration "),
              std::string::npos);
}

}  // namespace
}  // namespace ombrel
