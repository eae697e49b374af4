// The run's events as kivotra turns them into screen writes, titles and progress reports, in-process
// with a recording screen and a clock that advances one second per iteration.

#include "apps/kivotra/KivotraConsole.h"

#include <gtest/gtest.h>

#include "platform/ScriptedMessenger.h"

namespace ombrel {
namespace {

class RecordingKivotra : public KivotraConsole {
public:
    ScriptedMessenger messenger;
    std::vector<std::string> titles;
    int clears = 0;
    std::vector<ScreenWrite> writes;
    std::vector<long long> secondsLeft;  // as reported after each iteration
    long long now = 1000;

    Messenger& Messages() override { return messenger; }
    long long Now() override { return now; }

protected:
    void SetTitle(const std::string& title) override { titles.push_back(title); }
    void ClearScreen() override { ++clears; }
    void Draw(const std::vector<ScreenWrite>& screenWrites) override {
        writes.insert(writes.end(), screenWrites.begin(), screenWrites.end());
    }
    void ReportProgress(int, int, double, double, long long left) override { secondsLeft.push_back(left); }
    void WriteText(const std::string&) override {}
    bool EscapePressed() override { return false; }
    bool CloseRequested() override { return false; }
    void WaitForKey() override {}
};

TEST(KivotraConsole, TitlesLabelsAndStatusLinesOfARun) {
    RecordingKivotra console;
    console.RunStarting();
    console.StudyOpened("coffee");
    EXPECT_EQ((std::vector<std::string>{"Feldrin Software Ombrel", "Feldrin Software Ombrel - coffee"}),
              console.titles);
    EXPECT_EQ(1, console.clears);

    console.IterationsStarting(12);
    ASSERT_EQ(12u, console.writes.size());  // eleven labels, then the status line
    EXPECT_EQ((ScreenWrite{0, 12, "Average part worths"}), console.writes[10]);
    EXPECT_EQ(ProgressScreen::Status("Press ESC to stop"), console.writes.back());

    console.writes.clear();
    console.DrawsStarting(false);
    EXPECT_TRUE(console.writes.empty());
    console.DrawsStarting(true);
    console.OutputStep(OutputPhase::SavingOutputFiles, 0, 0);
    console.OutputStep(OutputPhase::ComputingPointEstimates, 1, 40);
    console.RunFinished("This session did 3 iterations in 2 seconds.");
    EXPECT_EQ((std::vector<ScreenWrite>{
                  ProgressScreen::Status("Press ESC to stop (saved draws will be lost)"),
                  ProgressScreen::Status("Saving output files, please wait..."),
                  ProgressScreen::Status("Computing point estimates (1/40)..."),
                  ProgressScreen::Status("This session did 3 iterations in 2 seconds.  Press any key.")}),
              console.writes);
}

// Ten iterations of one second each leave 90 iterations of a 100-iteration run: 90 seconds, shown and
// reported from the tenth iteration on. Part worths are drawn only for sampled iterations.
TEST(KivotraConsole, IterationsRefreshTheScreenAndReportTheTimeRemaining) {
    RecordingKivotra console;
    console.IterationsStarting(2);
    console.writes.clear();
    const double levels[] = {1.0, -1.0};
    const double betas[] = {1.0};
    for (int k = 1; k <= 10; ++k) {
        IterationProgress progress;
        progress.statistics.iteration = k;
        progress.totalIterations = 100;
        if (k == 10) {
            progress.expandedLevels = levels;
            progress.levelCount = 2;
            progress.averageBetas = betas;
            progress.parameterCount = 1;
        }
        ++console.now;
        console.IterationDone(progress);
    }
    EXPECT_EQ((std::vector<long long>{-1, -1, -1, -1, -1, -1, -1, -1, -1, 90}), console.secondsLeft);
    EXPECT_EQ((ScreenWrite{60, 11, "            0:01:30"}), console.writes[console.writes.size() - 2]);
    EXPECT_EQ((ScreenWrite{0, 13, "   1.00   -1.00 "}), console.writes.back());
}

}  // namespace
}  // namespace ombrel

namespace ombrel {
namespace {

KivotraArguments Parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "kivotra");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    return ParseKivotraArguments(static_cast<int>(argv.size()), argv.data());
}

TEST(KivotraArguments, TheOptionsStandAnywhereAmongTheWindowNumbers) {
    KivotraArguments parsed = Parse({"10", "--threads", "3", "20", "--headless", "30", "40"});
    EXPECT_TRUE(parsed.headless);
    EXPECT_EQ(parsed.threads, 3);
    EXPECT_EQ(parsed.numbers, (std::vector<std::string>{"10", "20", "30", "40"}));
    EXPECT_EQ(parsed.failure, "");

    parsed = Parse({"1", "2", "3", "4", "--threads=1024"});
    EXPECT_FALSE(parsed.headless);
    EXPECT_EQ(parsed.threads, 1024);
    EXPECT_EQ(parsed.numbers.size(), 4u);

    parsed = Parse({});
    EXPECT_EQ(parsed.threads, 0);  // the run's default: one per core
    EXPECT_EQ(parsed.failure, "");
}

TEST(KivotraArguments, TheFirstBadThreadCountIsRefused) {
    EXPECT_EQ(Parse({"--threads", "1", "--threads", "00000"}).failure,
              "kivotra --threads takes a whole number of threads from 1 to 1024, not \"00000\".");
    EXPECT_EQ(Parse({"--threads", "+4"}).failure,
              "kivotra --threads takes a whole number of threads from 1 to 1024, not \"+4\".");
    EXPECT_EQ(Parse({"--threads", "9999", "--threads", "0"}).failure,
              "kivotra --threads takes a whole number of threads from 1 to 1024, not \"9999\".");
}

TEST(KivotraArguments, TheCheckpointIntervalIsSecondsOfZeroOrMoreAnywhereOnTheLine) {
    KivotraArguments parsed = Parse({"10", "--checkpoint-seconds", "0.25", "20", "30", "40"});
    EXPECT_DOUBLE_EQ(parsed.checkpointSeconds, 0.25);
    EXPECT_EQ(parsed.numbers, (std::vector<std::string>{"10", "20", "30", "40"}));
    EXPECT_DOUBLE_EQ(Parse({"--checkpoint-seconds=0"}).checkpointSeconds, 0.0);
    EXPECT_DOUBLE_EQ(Parse({"--checkpoint-seconds=600"}).checkpointSeconds, 600.0);
    EXPECT_LT(Parse({}).checkpointSeconds, 0.0);  // not given: the run's default
    for (const char* bad : {"-1", "", "1e3", "nan", "inf", "1.2.3", " 5"}) {
        EXPECT_EQ(Parse({"--checkpoint-seconds", bad}).failure,
                  std::string("kivotra --checkpoint-seconds takes a number of seconds, 0 or more (0: no "
                              "checkpoints), not \"") +
                      bad + "\".")
            << bad;
    }
}

}  // namespace
}  // namespace ombrel
