// Stopping and resuming, and crashing after a checkpoint and resuming, any number of times, give the
// same result files as the same run uninterrupted; a resume file that does not belong to the restart
// file or the settings is left aside and the restart file is read as it always was.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/StudySettings.h"
#include "estimator/run/EstimatorRun.h"
#include "platform/ScriptedMessenger.h"
#include "tests/estimator/RecordingConsole.h"
#include "tests/support/SimulatedStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::TempDir;

// Thrown from the progress sink to leave a run at once, as a crash would (destructors still run, so
// buffered lines reach the files: the resume must cut them back).
struct Crash {};

// Stops after the listed iterations, crashes after crashAfter, and moves its steady clock one second
// per reading, so that a checkpoint every k seconds falls every k iterations.
class ScriptedConsole : public test::RecordingConsole {
public:
    std::set<int> stopAfter;
    int crashAfter = 0;
    double steady = 0.0;
    void IterationDone(const IterationProgress& progress) override {
        RecordingConsole::IterationDone(progress);
        if (progress.statistics.iteration == crashAfter) throw Crash{};
    }
    bool StopRequested() override { return stopAfter.count(lastIteration) > 0; }
    double SteadySeconds() override { return steady += 1.0; }
};

const std::vector<std::string> kResultFiles = {".hbu", ".lay", ".csv", ".std", ".dra",
                                               ".sum", ".alp", ".bet", ".cov"};

struct Study {
    TempDir dir;
    StudySettings settings;
    bool constrained = false;

    explicit Study(bool saveDraws, bool withConstraints) : constrained(withConstraints) {
        test::SimulationSpec spec;
        spec.respondents = 30;
        spec.tasks = 6;
        spec.concepts = 3;
        spec.levels = {3, 2};
        spec.seed = 11;
        test::WriteSimulatedStudy(dir.Folder(), spec);
        if (withConstraints) test::WriteFileText(dir.File("study.con"), "1 1 2\n");
        settings.namesFolder = dir.Folder();
        settings.dataFileName = dir.File("study.cho");
        settings.randomSeed = 5;
        settings.preliminaryIterations = 40;
        settings.drawsPerRespondent = 20;
        settings.drawSkip = 2;
        settings.logSkip = 10;
        settings.saveDraws = saveDraws;
        ScriptedMessenger messenger;
        EXPECT_TRUE(settings.SaveSettings(messenger));
    }
    // One session; false when it crashed.
    bool Run(ScriptedConsole& console, double checkpointSeconds = 0.0) {
        RunOptions options;
        options.namesFolder = dir.Folder();
        options.checkpointSeconds = checkpointSeconds;
        try {
            EXPECT_EQ(RunEstimator(console.Services(), options), 0)
                << testing::PrintToString(console.messenger.Texts());
        } catch (const Crash&) {
            return false;
        }
        return true;
    }
    std::map<std::string, std::string> Results() const {
        std::map<std::string, std::string> files;
        for (const std::string& extension : kResultFiles) {
            const std::string path = dir.File("study" + extension);
            files[extension] = fs::exists(path) ? ReadFileText(path) : "(none)";
        }
        return files;
    }
    std::string Log() const { return ReadFileText(dir.File("study.log")); }
};

std::map<std::string, std::string> Uninterrupted(bool saveDraws, bool constrained) {
    Study study(saveDraws, constrained);
    ScriptedConsole console;
    EXPECT_TRUE(study.Run(console));
    return study.Results();
}

struct Variant {
    bool saveDraws;
    bool constrained;
};

class ExactResume : public ::testing::TestWithParam<Variant> {};

// Stops after the first iteration, in the preliminary phase, after its last iteration, after the
// first used one, and after the last iteration of all: the run goes on each time as if it never had.
TEST_P(ExactResume, StopsAtEveryKindOfMomentGiveTheUninterruptedRunsFiles) {
    const auto [saveDraws, constrained] = GetParam();
    const auto expected = Uninterrupted(saveDraws, constrained);
    Study study(saveDraws, constrained);
    int sessions = 0;
    for (int stop : {1, 17, 40, 41, 80, 0}) {
        ScriptedConsole console;
        if (stop != 0) console.stopAfter = {stop};
        ASSERT_TRUE(study.Run(console));
        ++sessions;
        if (stop != 0) {
            EXPECT_EQ(console.lastIteration, stop);
            EXPECT_TRUE(fs::exists(study.dir.File("study.resume")));
        }
    }
    EXPECT_EQ(study.Results(), expected);
    EXPECT_FALSE(fs::exists(study.dir.File("study.resume"))) << "a finished run leaves no resume file";
    const std::string log = study.Log();
    EXPECT_NE(log.find("The run resumes exactly where it stopped, after iteration 41."), std::string::npos);
    EXPECT_EQ(sessions, 6);
}

// A crash after a checkpoint (every three iterations here) loses only the iterations since; the
// histories are cut back to the checkpoint, so no line is doubled.
TEST_P(ExactResume, CrashesAfterCheckpointsGiveTheUninterruptedRunsFiles) {
    const auto [saveDraws, constrained] = GetParam();
    const auto expected = Uninterrupted(saveDraws, constrained);
    Study study(saveDraws, constrained);
    std::vector<int> crashes = {2, 16, 39, 43, 60, 79};
    for (int crash : crashes) {
        ScriptedConsole console;
        console.crashAfter = crash;
        EXPECT_FALSE(study.Run(console, 3.0)) << "crash after " << crash;
    }
    ScriptedConsole last;
    ASSERT_TRUE(study.Run(last, 3.0));
    EXPECT_EQ(study.Results(), expected);
    EXPECT_NE(study.Log().find("The run resumes from its checkpoint after iteration"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(DrawsAndConstraints, ExactResume,
                         ::testing::Values(Variant{false, false}, Variant{true, false}, Variant{false, true},
                                           Variant{true, true}),
                         [](const testing::TestParamInfo<Variant>& info) {
                             return std::string(info.param.saveDraws ? "SavedDraws" : "Accumulated") +
                                    (info.param.constrained ? "Constrained" : "Free");
                         });

TEST(ExactResumeFallback, AResumeFileOfOtherSettingsOrDamagedIsLeftAsideAndSaidSo) {
    Study study(false, false);
    ScriptedConsole stopped;
    stopped.stopAfter = {30};
    ASSERT_TRUE(study.Run(stopped));
    const std::string resume = ReadFileText(study.dir.File("study.resume"));

    // Another seed: the resume file belongs to other settings, so the restart file starts a new
    // session, whose total counts its 30 previous iterations.
    study.settings.randomSeed = 6;
    ScriptedMessenger messenger;
    ASSERT_TRUE(study.settings.SaveSettings(messenger));
    ScriptedConsole other;
    ASSERT_TRUE(study.Run(other));
    EXPECT_EQ(other.lastIteration, 30 + 80);
    EXPECT_NE(study.Log().find(
                  "The resume file is not used (the settings or the prepared data have changed since)."),
              std::string::npos);

    Study damaged(false, false);
    ScriptedConsole again;
    again.stopAfter = {30};
    ASSERT_TRUE(damaged.Run(again));
    std::string bytes = ReadFileText(damaged.dir.File("study.resume"));
    bytes[bytes.size() / 2] ^= 0x40;
    test::WriteFileText(damaged.dir.File("study.resume"), bytes);
    ScriptedConsole resumed;
    ASSERT_TRUE(damaged.Run(resumed));
    EXPECT_EQ(resumed.lastIteration, 30 + 80);
    EXPECT_NE(damaged.Log().find("The resume file is not used (it is incomplete or damaged)."),
              std::string::npos);
    EXPECT_FALSE(resume.empty());
}

// A checkpoint that cannot be written (here the resume file's place is taken by a folder, as a full
// disk would refuse it) keeps the previous checkpoint and the run goes on to its end.
TEST(ExactResumeFallback, ACheckpointThatCannotBeWrittenKeepsThePreviousOneAndSaysSo) {
    Study study(true, false);
    ScriptedConsole crashed;
    crashed.crashAfter = 10;
    EXPECT_FALSE(study.Run(crashed, 4.0));  // checkpoints after iterations 4 and 8
    const std::string restart = ReadFileText(study.dir.File("study.res"));
    const std::string resume = ReadFileText(study.dir.File("study.resume"));
    fs::rename(study.dir.File("study.resume"), study.dir.File("kept.resume"));
    fs::create_directory(study.dir.File("study.resume"));

    struct FailingCheckpoints : ScriptedConsole {
        std::vector<std::string> failures;
        void CheckpointFailed(const std::string& text) override { failures.push_back(text); }
    } failing;
    failing.crashAfter = 14;
    EXPECT_FALSE(study.Run(failing, 4.0));
    ASSERT_FALSE(failing.failures.empty());
    EXPECT_EQ(failing.failures[0].rfind(
                  "The checkpoint after iteration 12 could not be written, so the previous one is kept: ", 0),
              0u)
        << failing.failures[0];
    EXPECT_EQ(ReadFileText(study.dir.File("study.res")), restart) << "the previous checkpoint's restart file";
    EXPECT_NE(study.Log().find(failing.failures[0]), std::string::npos);

    fs::remove(study.dir.File("study.resume"));
    fs::rename(study.dir.File("kept.resume"), study.dir.File("study.resume"));
    EXPECT_EQ(ReadFileText(study.dir.File("study.resume")), resume);
    ScriptedConsole last;
    ASSERT_TRUE(study.Run(last));
    EXPECT_EQ(study.Results(), Uninterrupted(true, false));
}

}  // namespace
}  // namespace ombrel
