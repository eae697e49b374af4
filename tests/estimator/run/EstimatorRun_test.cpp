// End-to-end runs of the estimator in-process on simulated studies: recovery of known part-worths,
// reproducibility with a seed, stopping and resuming, and the checks that keep a bad run from starting.

#include "estimator/run/EstimatorRun.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/RunLock.h"
#include "common/StudySettings.h"
#include "platform/ScriptedMessenger.h"
#include "tests/estimator/RecordingConsole.h"
#include "tests/support/SimulatedStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::ReadFileText;
using test::TempDir;

using test::RecordingConsole;

struct Study {
    TempDir dir;
    test::SimulatedStudy truth;
    StudySettings settings;

    explicit Study(const test::SimulationSpec& spec) {
        truth = test::WriteSimulatedStudy(dir.Folder(), spec);
        settings.namesFolder = dir.Folder();
        settings.dataFileName = dir.File("study.cho");
        settings.randomSeed = 7;
    }
    int Run(RecordingConsole& console) {
        ScriptedMessenger messenger;
        EXPECT_TRUE(settings.SaveSettings(messenger));
        return RunEstimator(console.Services(), dir.Folder());
    }
    std::string File(const std::string& extension) const {
        return ReadFileText(dir.File("study" + extension));
    }
    bool Exists(const std::string& extension) const {
        return std::filesystem::exists(dir.File("study" + extension));
    }
};

// Per-respondent point estimates of a ".hbu" file: levelCount values per respondent.
std::vector<std::vector<double>> ReadPartWorths(const std::string& text, int attributeCount,
                                                int layoutLines) {
    std::istringstream in(text);
    std::string line;
    int levelCount = 0;
    {
        std::getline(in, line);
        std::istringstream header(line);
        int attributes = 0, none = 0;
        header >> attributes >> none >> levelCount;
    }
    for (int i = 0; i < 1 + attributeCount + layoutLines; ++i) std::getline(in, line);
    std::vector<std::vector<double>> result;
    double number = 0, rlh = 0, merged = 0, levels = 0, noneFlag = 0;
    while (in >> number >> rlh >> merged >> levels >> noneFlag) {
        std::vector<double> values(static_cast<size_t>(levelCount));
        for (double& value : values) in >> value;
        result.push_back(values);
    }
    return result;
}

// Effects-coded parameters expanded to one value per level (the omitted level restored), None last.
std::vector<double> ExpandTruth(const std::vector<double>& parameters, const std::vector<int>& levels) {
    std::vector<double> expanded;
    size_t next = 0;
    for (int level : levels) {
        double sum = 0;
        for (int k = 0; k < level - 1; ++k) {
            expanded.push_back(parameters[next]);
            sum += parameters[next++];
        }
        expanded.push_back(-sum);
    }
    expanded.push_back(parameters[next]);
    return expanded;
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
    double ma = 0, mb = 0;
    for (size_t i = 0; i < a.size(); ++i) ma += a[i], mb += b[i];
    ma /= static_cast<double>(a.size());
    mb /= static_cast<double>(b.size());
    double sab = 0, saa = 0, sbb = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    return sab / std::sqrt(saa * sbb);
}

test::SimulationSpec SmallSpec() {
    test::SimulationSpec spec;
    spec.respondents = 40;
    spec.tasks = 8;
    spec.concepts = 3;
    spec.levels = {3, 2};
    spec.seed = 3;
    return spec;
}

void ShortRun(StudySettings& settings) {
    settings.preliminaryIterations = 40;
    settings.drawsPerRespondent = 20;
    settings.drawSkip = 2;
    settings.logSkip = 10;
}

// Statistical recovery: 200 respondents, 10 tasks of 3 concepts plus None, 8 parameters. The individual
// estimates must track each respondent's true part-worths, and the mean the population mean. The
// bounds leave room for the noise of 10 choices per respondent (an individual correlation near 0.7
// is what an HB fit of such a design typically reaches; 0.6 fails only a broken chain).
TEST(EstimatorRun, RecoversKnownPartWorths) {
    test::SimulationSpec spec;
    spec.respondents = 200;
    spec.tasks = 10;
    spec.concepts = 3;
    spec.levels = {3, 3, 3, 2};
    spec.heterogeneity = 0.7;
    spec.seed = 11;
    Study study(spec);
    ASSERT_EQ(study.truth.parameterCount, 8);
    study.settings.preliminaryIterations = 1000;
    study.settings.drawsPerRespondent = 200;
    study.settings.drawSkip = 2;
    RecordingConsole console;
    ASSERT_EQ(study.Run(console), 0) << testing::PrintToString(console.messenger.Texts());

    const int levelCount = 12;
    auto estimates = ReadPartWorths(study.File(".hbu"), 4, levelCount);
    ASSERT_EQ(estimates.size(), 200u);
    double correlationSum = 0;
    std::vector<double> meanEstimate(levelCount, 0.0);
    for (size_t n = 0; n < estimates.size(); ++n) {
        correlationSum += Correlation(estimates[n], ExpandTruth(study.truth.partWorths[n], spec.levels));
        for (int g = 0; g < levelCount; ++g)
            meanEstimate[static_cast<size_t>(g)] += estimates[n][static_cast<size_t>(g)] / 200.0;
    }
    EXPECT_GT(correlationSum / 200.0, 0.6);
    const std::vector<double> trueMean = ExpandTruth(study.truth.meanPartWorths, spec.levels);
    for (int g = 0; g < levelCount; ++g)
        EXPECT_NEAR(meanEstimate[static_cast<size_t>(g)], trueMean[static_cast<size_t>(g)], 0.35)
            << "level " << g;
}

TEST(EstimatorRun, SameSeedGivesTheSameFiles) {
    std::vector<std::string> first;
    for (int run = 0; run < 2; ++run) {
        Study study(SmallSpec());
        ShortRun(study.settings);
        RecordingConsole console;
        ASSERT_EQ(study.Run(console), 0);
        std::vector<std::string> files;
        for (const char* extension : {".hbu", ".lay", ".csv", ".std", ".sum", ".alp", ".cov", ".res"})
            files.push_back(study.File(extension));
        // The log names the temporary folder only through nothing: its text depends on the run alone.
        files.push_back(study.File(".log"));
        if (run == 0)
            first = files;
        else
            EXPECT_EQ(files, first);
    }
}

// Sees whether the study is locked while the run iterates and once it holds its final screen.
class LockWatchingConsole : public RecordingConsole {
public:
    explicit LockWatchingConsole(std::string lockPath) : lockPath_(std::move(lockPath)) {}
    void IterationDone(const IterationProgress& progress) override {
        RecordingConsole::IterationDone(progress);
        lockedWhileIterating = lockedWhileIterating && StudyRunInProgress(lockPath_);
    }
    void HoldFinalScreen() override {
        RecordingConsole::HoldFinalScreen();
        lockedAtTheEnd = StudyRunInProgress(lockPath_) || std::filesystem::exists(lockPath_);
    }
    bool lockedWhileIterating = true;
    bool lockedAtTheEnd = true;

private:
    std::string lockPath_;
};

TEST(EstimatorRun, HoldsTheStudysRunLockWhileItWritesAndRemovesItBeforeTheFinalScreen) {
    Study study(SmallSpec());
    ShortRun(study.settings);
    LockWatchingConsole console(study.dir.File("study.run"));
    ASSERT_EQ(study.Run(console), 0);
    EXPECT_GT(console.iterationsReported, 0);
    EXPECT_TRUE(console.lockedWhileIterating);
    EXPECT_FALSE(console.lockedAtTheEnd);
    EXPECT_FALSE(study.Exists(".run"));
}

TEST(EstimatorRun, EscapeWritesTheRestartFileOnlyAndAResumedRunContinues) {
    Study study(SmallSpec());
    ShortRun(study.settings);
    RecordingConsole stopped;
    stopped.escapeAfterIteration = 57;
    ASSERT_EQ(study.Run(stopped), 0);
    EXPECT_TRUE(study.Exists(".res"));
    for (const char* extension : {".hbu", ".csv", ".std", ".sum", ".lay"})
        EXPECT_FALSE(study.Exists(extension)) << extension;
    std::istringstream restart(study.File(".res"));
    int respondents = 0, parameters = 0, completed = 0;
    restart >> respondents >> parameters >> completed;
    EXPECT_EQ(respondents, 40);
    EXPECT_EQ(parameters, 4);
    EXPECT_EQ(completed, 57);
    const std::string alphaBefore = study.File(".alp");
    EXPECT_EQ(std::count(alphaBefore.begin(), alphaBefore.end(), '\n'), 28);  // iterations 2, 4, ..., 56

    // The restart file alone, as from elsewhere, starts a new session of the chain.
    std::filesystem::remove(study.dir.File("study.resume"));
    RecordingConsole resumed;
    ASSERT_EQ(study.Run(resumed), 0) << testing::PrintToString(resumed.messenger.Texts());
    EXPECT_EQ(resumed.lastIteration, 57 + 80);
    EXPECT_TRUE(study.Exists(".hbu"));
    const std::string alphaAfter = study.File(".alp");
    EXPECT_EQ(alphaAfter.substr(0, alphaBefore.size()), alphaBefore);  // appended, not truncated
    EXPECT_NE(study.File(".log").find("\nThis session did 80 iterations in 0 seconds.\n"), std::string::npos);
}

// Fields of the log line of one iteration ("\n%8d  %7.3lf ..."): the jump size is the second.
std::string LoggedJumpSize(const std::string& log, int iteration) {
    char start[16];
    std::snprintf(start, sizeof start, "\n%8d  ", iteration);
    const size_t at = log.find(start);
    return at == std::string::npos ? std::string() : log.substr(at + 11, 7);
}

// A stop falls before the stopped iteration's jump-size adaptation: the restart file keeps the jump
// size that iteration used, and the resumed session starts with it. The sinks hear of every iteration
// and the console holds its final screen once.
TEST(EstimatorRun, StopKeepsTheJumpSizeTheLastIterationUsed) {
    Study study(SmallSpec());
    ShortRun(study.settings);
    study.settings.logSkip = 1;
    RecordingConsole stopped;
    stopped.escapeAfterIteration = 30;
    ASSERT_EQ(study.Run(stopped), 0);
    EXPECT_EQ(30, stopped.iterationsReported);
    EXPECT_EQ(1, stopped.keyWaits);
    EXPECT_EQ((std::vector<std::string>{"study"}), stopped.studies);
    std::istringstream restart(study.File(".res"));
    int respondents = 0, parameters = 0, completed = 0;
    std::string jumpSize;
    restart >> respondents >> parameters >> completed >> jumpSize;
    EXPECT_EQ(30, completed);
    const std::string firstLog = study.File(".log");
    EXPECT_EQ(LoggedJumpSize(firstLog, 30), "  " + jumpSize);

    std::filesystem::remove(study.dir.File("study.resume"));
    RecordingConsole resumed;
    ASSERT_EQ(study.Run(resumed), 0);
    EXPECT_EQ(80 + 30, resumed.lastIteration);
    EXPECT_EQ(80, resumed.iterationsReported);
    EXPECT_EQ(LoggedJumpSize(study.File(".log").substr(firstLog.size()), 31), "  " + jumpSize);
}

TEST(EstimatorRun, RefusesToStartOnBadStudies) {
    {  // no respondents in the prepared data
        Study study(SmallSpec());
        test::WriteFileText(study.dir.File("qebdat.tmp"), "");
        RecordingConsole console;
        EXPECT_EQ(study.Run(console), 1);
        ASSERT_EQ(console.messenger.Texts().size(), 1u);
        EXPECT_NE(console.messenger.Texts()[0].find("no respondents"), std::string::npos);
        EXPECT_FALSE(study.Exists(".alp"));
    }
    {  // a restart file of another preparation: nothing is overwritten
        Study study(SmallSpec());
        ShortRun(study.settings);
        RecordingConsole first;
        ASSERT_EQ(study.Run(first), 0);
        const std::string alp = study.File(".alp");
        std::string restart = study.File(".res");
        restart.replace(0, 2, "39");
        test::WriteFileText(study.dir.File("study.res"), restart);
        RecordingConsole second;
        EXPECT_EQ(study.Run(second), 1);
        EXPECT_EQ(second.messenger.Texts().size(), 1u);
        EXPECT_EQ(study.File(".alp"), alp);
        EXPECT_EQ(study.File(".res"), restart);
    }
    {  // a data file name of the wrong kind
        Study study(SmallSpec());
        test::WriteFileText(study.dir.File("names.pellik"), study.dir.File("study.txt"));
        RecordingConsole console;
        EXPECT_EQ(RunEstimator(console.Services(), study.dir.Folder()), 1);
        EXPECT_EQ(console.messenger.Texts().back(), "An invalid data file was specified.");
    }
}

}  // namespace
}  // namespace ombrel

namespace ombrel {
namespace {

// Orderings on the first attribute (level 1 >= level 2 >= level 3): the history of constrained betas
// and the constrained summary section appear, and every respondent's point estimates keep the order.
TEST(EstimatorRun, ConstrainedRunKeepsTheOrderings) {
    Study study(SmallSpec());
    ShortRun(study.settings);
    test::WriteFileText(study.dir.File("study.con"), "1 1 2\n1 2 3\n");
    RecordingConsole console;
    ASSERT_EQ(study.Run(console), 0) << testing::PrintToString(console.messenger.Texts());
    EXPECT_TRUE(study.Exists(".bet"));
    const std::string bet = study.File(".bet");
    EXPECT_EQ(std::count(bet.begin(), bet.end(), '\n'), 40);  // every sampled iteration, 2 .. 80
    EXPECT_NE(study.File(".sum").find("\n\nAverage of Constrained Betas\n"), std::string::npos);
    EXPECT_NE(study.File(".log").find("\nConstraints in use                2"), std::string::npos);
    // Layout: 3 levels, 2 levels, None; estimates are printed with three decimals.
    const auto estimates = ReadPartWorths(study.File(".hbu"), 2, 6);
    ASSERT_EQ(estimates.size(), 40u);
    for (const auto& values : estimates) {
        EXPECT_GE(values[0] - values[1], -0.0015);
        EXPECT_GE(values[1] - values[2], -0.0015);
    }
}

}  // namespace
}  // namespace ombrel
