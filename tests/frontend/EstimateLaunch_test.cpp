#include "frontend/EstimateLaunch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/OmbrelError.h"
#include "platform/ScriptedMessenger.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

// One allocation study in a temporary folder, and steps that record what the launch asked of them.
class EstimateLaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings_.namesFolder = dir_.Path().string();
        settings_.dataFileName = dir_.File("study.chs");
        WriteFileText(settings_.dataFileName, "data");
    }

    EstimateLaunchSteps Steps() {
        return EstimateLaunchSteps{
            .messenger = messenger_,
            .saved = [this] { calls_.push_back("saved"); },
            .askAboutRestart =
                [this](const std::string& restartFile) {
                    calls_.push_back("ask " + restartFile);
                    return restartChoice_;
                },
            .noRestartFile =
                [this](const std::string& restartFile) { calls_.push_back("none " + restartFile); },
            .prepare =
                [this](const StudySettings& settings) {
                    calls_.push_back("prepare " + settings.dataFileName);
                    if (!prepareFailure_.empty()) throw OmbrelError(prepareFailure_);
                    return std::string("the report");
                },
            .showReport =
                [this](const std::string& report) {
                    calls_.push_back("report " + report);
                    return continueAfterReport_;
                },
            .startEstimator =
                [this] {
                    calls_.push_back("estimate");
                    if (!startFailure_.empty()) throw OmbrelError(startFailure_);
                    return 7;
                },
        };
    }

    std::string Restart() const { return dir_.File("study.res"); }

    TempDir dir_;
    StudySettings settings_;
    ScriptedMessenger messenger_;
    std::vector<std::string> calls_;
    RestartChoice restartChoice_ = RestartChoice::Cancel;
    bool continueAfterReport_ = true;
    std::string prepareFailure_;
    std::string startFailure_;
};

TEST_F(EstimateLaunchTest, WithoutARestartFileSavesPreparesReportsAndStartsTheEstimator) {
    const LaunchResult result = LaunchEstimation(settings_, Steps());
    EXPECT_EQ(result.outcome, LaunchOutcome::EstimatorRan);
    EXPECT_EQ(result.estimatorStatus, 7);
    EXPECT_EQ(calls_,
              (std::vector<std::string>{"saved", "none " + Restart(), "prepare " + settings_.dataFileName,
                                        "report the report", "estimate"}));
    EXPECT_EQ(ReadFileText(dir_.File("study.set")), "2000\n1000\n10\n100\n0\n 5.00\n1\n5\n 2.00\n1\n0\n");
    EXPECT_EQ(ReadFileText(dir_.File("names.pellik")), settings_.dataFileName);
    EXPECT_TRUE(messenger_.Entries().empty());
}

TEST_F(EstimateLaunchTest, InvalidSettingsStopBeforeAnythingIsWritten) {
    settings_.drawSkip = 0;
    EXPECT_EQ(LaunchEstimation(settings_, Steps()).outcome, LaunchOutcome::NotSaved);
    EXPECT_TRUE(calls_.empty());
    EXPECT_EQ(messenger_.Texts(), std::vector<std::string>{
                                      "'Skip factor for using draws' must be an integer between 1 and 100."});
    EXPECT_FALSE(fs::exists(dir_.File("study.set")));

    settings_.drawSkip = 10;
    settings_.dataFileName = dir_.File("two\nlines.chs");
    messenger_.Clear();
    EXPECT_EQ(LaunchEstimation(settings_, Steps()).outcome, LaunchOutcome::NotSaved);
    EXPECT_EQ(messenger_.Texts(),
              std::vector<std::string>{
                  "The data file path holds a line break, which the names file cannot carry."});
}

TEST_F(EstimateLaunchTest, ResumingKeepsTheRestartFileAndPreparesNothing) {
    WriteFileText(Restart(), "restart");
    restartChoice_ = RestartChoice::Resume;
    EXPECT_EQ(LaunchEstimation(settings_, Steps()).outcome, LaunchOutcome::EstimatorRan);
    EXPECT_EQ(calls_, (std::vector<std::string>{"saved", "ask " + Restart(), "estimate"}));
    EXPECT_TRUE(fs::exists(Restart()));
}

TEST_F(EstimateLaunchTest, StartingOverDeletesTheRestartFileBeforePreparing) {
    WriteFileText(Restart(), "restart");
    const std::string resume = Restart().substr(0, Restart().size() - 4) + ".resume";
    WriteFileText(resume, "its full state");
    restartChoice_ = RestartChoice::StartOver;
    EXPECT_EQ(LaunchEstimation(settings_, Steps()).outcome, LaunchOutcome::EstimatorRan);
    EXPECT_EQ(calls_,
              (std::vector<std::string>{"saved", "ask " + Restart(), "prepare " + settings_.dataFileName,
                                        "report the report", "estimate"}));
    EXPECT_FALSE(fs::exists(Restart()));
    EXPECT_FALSE(fs::exists(resume)) << "the resume file goes with its restart file";
}

TEST_F(EstimateLaunchTest, CancelAtTheRestartQuestionLaunchesNothing) {
    WriteFileText(Restart(), "restart");
    EXPECT_EQ(LaunchEstimation(settings_, Steps()).outcome, LaunchOutcome::Cancelled);
    EXPECT_EQ(calls_, (std::vector<std::string>{"saved", "ask " + Restart()}));
    EXPECT_TRUE(fs::exists(Restart()));
}

TEST_F(EstimateLaunchTest, ARestartFileThatCannotBeDeletedStopsTheLaunch) {
    // A folder of that name cannot be removed by a file removal while it holds something.
    fs::create_directories(Restart() + "/inside");
    restartChoice_ = RestartChoice::StartOver;
    EXPECT_EQ(LaunchEstimation(settings_, Steps()).outcome, LaunchOutcome::RestartFileKept);
    EXPECT_EQ(calls_, (std::vector<std::string>{"saved", "ask " + Restart()}));
    ASSERT_EQ(messenger_.Entries().size(), 1u);
    EXPECT_EQ(
        messenger_.Entries()[0].text.rfind("The restart file " + Restart() + " could not be deleted (", 0),
        0u);
    EXPECT_EQ(messenger_.Entries()[0].icon, MessageIcon::Exclamation);
}

TEST_F(EstimateLaunchTest, AFailedPreparationOrADeclinedReportStartsNothing) {
    prepareFailure_ = "No <studyname>.att file is available.";
    EXPECT_EQ(LaunchEstimation(settings_, Steps()).outcome, LaunchOutcome::PreparationFailed);
    EXPECT_EQ(messenger_.Texts(), std::vector<std::string>{"No <studyname>.att file is available."});
    EXPECT_EQ(calls_.back(), "prepare " + settings_.dataFileName);

    prepareFailure_.clear();
    continueAfterReport_ = false;
    calls_.clear();
    EXPECT_EQ(LaunchEstimation(settings_, Steps()).outcome, LaunchOutcome::NotContinued);
    EXPECT_EQ(calls_.back(), "report the report");
}

TEST_F(EstimateLaunchTest, AnEstimatorThatCannotStartIsReported) {
    startFailure_ = "The program kivotra could not be started.";
    EXPECT_EQ(LaunchEstimation(settings_, Steps()).outcome, LaunchOutcome::EstimatorNotStarted);
    EXPECT_EQ(messenger_.Texts(), std::vector<std::string>{"The program kivotra could not be started."});
}

}  // namespace
}  // namespace ombrel
