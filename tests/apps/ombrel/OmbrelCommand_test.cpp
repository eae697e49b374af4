#include "apps/ombrel/OmbrelCommand.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/OmbrelError.h"
#include "tests/apps/ombrel/OmbrelStreamsTest.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

const std::string& kTitle = test::kMessageTitle;

// One study folder, a program folder with a stand-in kivotra, a settings folder, a folder for the
// private working folders, and captured output streams.
class OmbrelCommandTest : public test::OmbrelStreamsTest {
protected:
    void SetUp() override {
        fs::create_directories(root_.Path() / "study");
        fs::create_directories(root_.Path() / "bin");
        fs::create_directories(root_.Path() / "settings");
        fs::create_directories(root_.Path() / "tmp");
        dataFile_ = root_.File("study/coffee.cho");
        WriteFileText(dataFile_, "1 0 1 1 0\n2 1\n1\n2\n1 1\n");
        // The stand-in estimator records where it ran, how it was called and which study its names
        // file names, then ends with the status the test asks for.
        WriteKivotra(7);

        environment_.programFolder = root_.Folder() + "bin/";
        environment_.settingsFolder = root_.Folder() + "settings/";
        environment_.temporaryFolder = root_.File("tmp");
        OmbrelStreamsTest::SetUp();
        environment_.prepare = [this](const StudySettings& settings) {
            prepared_.push_back(settings);
            if (!prepareFailure_.empty()) throw OmbrelError(prepareFailure_);
            return std::string("Preparing Files For HB Analysis\nData file: ") + settings.dataFileName;
        };
    }
    void WriteKivotra(int status) {
        const std::string script = root_.File("bin/kivotra");
        WriteFileText(
            script,
            "#!/bin/sh\n{ echo \"cwd=$(pwd)\"; echo \"args=$*\"; echo \"names=$(cat names.pellik)\"; } > " +
                root_.File("kivotra.log") + "\nexit " + std::to_string(status) + "\n");
        chmod(script.c_str(), 0755);
    }

    int Run(std::vector<std::string> arguments) { return RunCommand(std::move(arguments)); }
    bool Launched() const { return fs::exists(root_.File("kivotra.log")); }
    std::string KivotraLog() const { return ReadFileText(root_.File("kivotra.log")); }
    std::string SettingsFile() const { return ReadFileText(root_.File("study/coffee.set")); }

    std::string dataFile_;
    std::vector<StudySettings> prepared_;
    std::string prepareFailure_;
};

TEST_F(OmbrelCommandTest, EveryCommandHasHelp) {
    for (std::vector<std::string> arguments : std::vector<std::vector<std::string>>{
             {"--help"}, {"prepare", "--help"}, {"estimate", "--help"}, {"convert", "--help"}}) {
        EXPECT_EQ(Run(arguments), 0);
    }
    const std::string help = Out();
    EXPECT_NE(help.find("Usage: ombrel [OPTIONS] SUBCOMMAND"), std::string::npos);
    EXPECT_NE(help.find("Usage: ombrel prepare [OPTIONS] DATAFILE"), std::string::npos);
    EXPECT_NE(help.find("--prior-variance X"), std::string::npos);
    EXPECT_NE(help.find("--responses"), std::string::npos);
    EXPECT_EQ(Err(), "");
}

TEST_F(OmbrelCommandTest, UsageErrorsGoToStandardErrorWithAFailingStatus) {
    EXPECT_NE(Run({}), 0);
    EXPECT_NE(Run({"estimate"}), 0);
    EXPECT_NE(Run({"estimate", dataFile_, "--resume", "--fresh"}), 0);
    EXPECT_NE(Run({"estimate", dataFile_, "--dummy-coding", "--effects-coding"}), 0);
    EXPECT_NE(Run({"frobnicate"}), 0);
    const std::string err = Err();
    EXPECT_NE(err.find("A subcommand is required"), std::string::npos);
    EXPECT_NE(err.find("DATAFILE is required"), std::string::npos);
    EXPECT_NE(err.find("--resume excludes --fresh"), std::string::npos);
    EXPECT_EQ(Out(), "");
    EXPECT_FALSE(Launched());
    EXPECT_TRUE(prepared_.empty());
}

TEST_F(OmbrelCommandTest, SettingOptionsAreValidatedWithTheSettingsOwnMessages) {
    struct Case {
        std::vector<std::string> options;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--iterations", "1000001"},
         "'Number of iterations before using results' must be an integer between 0 and 1000000."},
        {{"--draws", "0"},
         "'Number of draws to be used for each respondent' must be an integer between 1 and 10000."},
        {{"--draws", "12x"},
         "'Number of draws to be used for each respondent' must be an integer between 1 and 10000."},
        {{"--draw-skip", "101"}, "'Skip factor for using draws' must be an integer between 1 and 100."},
        {{"--log-skip", "2.5"},
         "'Skip factor for printing in log file' must be an integer between 1 and 100000."},
        {{"--prior-df", "1"}, "'Prior degrees of freedom' must be an integer between 2 and 100000."},
        {{"--prior-variance", "nan"}, "'Prior variance' must be a number between 0.1 and 100.0."},
        {{"--prior-variance", "0.09"}, "'Prior variance' must be a number between 0.1 and 100.0."},
        {{"--seed", "32001"}, "'Random starting seed' must be an integer between 0 and 32000."},
        {{"--seed", "99999999999"}, "'Random starting seed' must be an integer between 0 and 32000."},
        {{"--dummy-coding"}, "'Use smart starting betas' cannot be used with 'Use dummy coding'."},
    };
    for (const Case& c : cases) {
        std::fflush(err_);
        ASSERT_EQ(ftruncate(fileno(err_), 0), 0);
        std::rewind(err_);
        std::vector<std::string> arguments = {"estimate", dataFile_};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        EXPECT_EQ(Run(arguments), 1) << c.message;
        EXPECT_EQ(Err(), kTitle + c.message + "\n");
    }
    // Task weight matters only for allocation data (".cho" data saves 1.0 whatever the field says).
    WriteFileText(root_.File("study/points.chs"), "1 0 1 0 0\n");
    std::fflush(err_);
    ASSERT_EQ(ftruncate(fileno(err_), 0), 0);
    std::rewind(err_);
    EXPECT_EQ(Run({"estimate", root_.File("study/points.chs"), "--task-weight", "10.5"}), 1);
    EXPECT_EQ(Err(), kTitle + "'Total task weight' must be a number between 1.0 and 10.0.\n");
    EXPECT_FALSE(Launched());
    EXPECT_TRUE(prepared_.empty());
    EXPECT_FALSE(fs::exists(root_.File("study/coffee.set")));
}

// A hand-edited settings file meets the same checks as the options, and an integer beyond 32 bits in
// it is refused by the load: nothing is written, prepared or launched.
TEST_F(OmbrelCommandTest, AHandEditedSettingsFileIsRefusedBeforeAnythingIsWritten) {
    const std::string settingsFile = root_.File("study/coffee.set");
    const std::string tooLarge = " does not fit a 32-bit integer (-2147483648 to 2147483647).";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"2000\n1000\n0\n100\n0\n 5.00\n1\n5\n 2.00\n1\n0\n",
         "'Skip factor for using draws' must be an integer between 1 and 100."},
        {"2000\n1000\n10\n100\n0\n 5.00\n1\n5\nnan\n1\n0\n",
         "'Prior variance' must be a number between 0.1 and 100.0."},
        {"2000\n1000\n10\n100\n0\n 5.00\n1\n5\n1e308\n1\n0\n",
         "'Prior variance' must be a number between 0.1 and 100.0."},
        {"2000\n1000\n10\n100\n0\n 5.00\n1\n5\n 2.00\n1\n4294967297\n",
         "The number 4294967297 in " + settingsFile + tooLarge},
        {"2000\n1000\n10\n100\n2147483648\n 5.00\n1\n5\n 2.00\n1\n0\n",
         "The number 2147483648 in " + settingsFile + tooLarge},
    };
    for (const auto& [text, message] : cases) {
        WriteFileText(settingsFile, text);
        const auto study = test::FolderContents(root_.File("study"));
        const auto settings = test::FolderContents(root_.File("settings"));
        std::fflush(err_);
        ASSERT_EQ(ftruncate(fileno(err_), 0), 0);
        std::rewind(err_);
        EXPECT_EQ(Run({"estimate", dataFile_}), 1) << message;
        EXPECT_EQ(Err(), kTitle + message + "\n");
        EXPECT_EQ(test::FolderContents(root_.File("study")), study) << message;
        EXPECT_EQ(test::FolderContents(root_.File("settings")), settings) << message;
    }
    EXPECT_FALSE(Launched());
    EXPECT_TRUE(prepared_.empty());
}

TEST_F(OmbrelCommandTest, BadDataFilesAreRefusedBeforeAnythingIsWritten) {
    EXPECT_EQ(Run({"estimate", root_.File("study/coffee.txt")}), 1);
    EXPECT_EQ(Run({"estimate", root_.File("study/missing.chs")}), 1);
    EXPECT_EQ(Run({"prepare", root_.File("study/coffee.dat")}), 1);
    EXPECT_EQ(Err(), kTitle + "An invalid data file was specified.\n" + kTitle + "Cannot locate " +
                         root_.File("study/missing.chs") + ".\n" + kTitle +
                         "An invalid data file was specified.\n");
    EXPECT_FALSE(fs::exists(root_.File("settings/names.pellik")));
    EXPECT_FALSE(Launched());
}

TEST_F(OmbrelCommandTest, EstimateSavesPreparesAndRunsKivotraInAPrivateFolder) {
    EXPECT_EQ(Run({"estimate",
                   dataFile_,
                   "--iterations",
                   "300",
                   "--draws",
                   "200",
                   "--draw-skip",
                   "2",
                   "--log-skip",
                   "50",
                   "--save-draws",
                   "--task-weight",
                   "7.5",
                   "--no-smart-start",
                   "--prior-df",
                   "9",
                   "--prior-variance",
                   "1.237",
                   "--dummy-coding",
                   "--seed",
                   "1"}),
              7);  // kivotra's own status
    // Saved as the front end saves: the names file in the settings folder, ".set" beside the data.
    EXPECT_EQ(ReadFileText(root_.File("settings/names.pellik")), dataFile_);
    EXPECT_EQ(SettingsFile(), "300\n200\n2\n50\n1\n 1.00\n0\n9\n 1.24\n0\n1\n");
    ASSERT_EQ(prepared_.size(), 1u);
    EXPECT_EQ(prepared_[0].dataFileName, dataFile_);
    EXPECT_EQ(prepared_[0].priorDegreesOfFreedom, 9);
    EXPECT_EQ(Out(), "Preparing Files For HB Analysis\nData file: " + dataFile_ + "\n");
    EXPECT_EQ(Err(), "");

    // Standard output is not a terminal here: kivotra runs headless, in a private working folder whose
    // names file names the study, removed afterwards.
    const std::string log = KivotraLog();
    EXPECT_NE(log.find("\nargs=--headless 0 0 0 0\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nnames=" + dataFile_ + "\n"), std::string::npos) << log;
    const std::string cwdPrefix = "cwd=" + root_.File("tmp") + "/ombrel-";
    ASSERT_EQ(log.compare(0, cwdPrefix.size(), cwdPrefix), 0) << log;
    const std::string workingFolder = log.substr(4, log.find('\n') - 4);
    EXPECT_FALSE(fs::exists(workingFolder));
    EXPECT_TRUE(fs::is_empty(root_.File("tmp")));
}

// The thread count goes to kivotra as given; without one kivotra takes its own default.
TEST_F(OmbrelCommandTest, ThreadsArePassedOnToKivotraAndCheckedForTheirRange) {
    EXPECT_EQ(Run({"estimate", dataFile_, "--threads", "3"}), 7);
    EXPECT_NE(KivotraLog().find("\nargs=--headless 0 0 0 0 --threads 3\n"), std::string::npos)
        << KivotraLog();
    fs::remove(root_.File("kivotra.log"));

    for (const char* count : {"0", "1025", "-1"}) {
        EXPECT_NE(Run({"estimate", dataFile_, "--threads", count}), 0) << count;
        EXPECT_FALSE(Launched()) << count;
    }
    const std::string err = Err();
    EXPECT_NE(err.find("--threads: Value 0 not in range 1 to 1024\n"), std::string::npos) << err;
    EXPECT_NE(err.find("--threads: Value 1025 not in range 1 to 1024\n"), std::string::npos) << err;
    EXPECT_NE(err.find("--threads: Value -1 not in range 1 to 1024\n"), std::string::npos) << err;
}

// The checkpoint interval goes to kivotra when it is not kivotra's own default.
TEST_F(OmbrelCommandTest, TheCheckpointIntervalIsPassedOnToKivotraAndMayNotBeNegative) {
    EXPECT_EQ(Run({"estimate", dataFile_, "--checkpoint-seconds", "0.5"}), 7);
    EXPECT_NE(KivotraLog().find("\nargs=--headless 0 0 0 0 --checkpoint-seconds 0.5\n"), std::string::npos)
        << KivotraLog();
    fs::remove(root_.File("kivotra.log"));
    EXPECT_EQ(Run({"estimate", dataFile_, "--checkpoint-seconds", "0"}), 7);
    EXPECT_NE(KivotraLog().find("\nargs=--headless 0 0 0 0 --checkpoint-seconds 0\n"), std::string::npos)
        << KivotraLog();
    fs::remove(root_.File("kivotra.log"));
    EXPECT_NE(Run({"estimate", dataFile_, "--checkpoint-seconds", "-1"}), 0);
    EXPECT_FALSE(Launched());
    EXPECT_NE(Err().find("--checkpoint-seconds"), std::string::npos) << Err();
}

TEST_F(OmbrelCommandTest, OnATerminalKivotraDrawsItsScreenAndTheStudysSettingsAreKept) {
    environment_.outputIsTerminal = true;
    WriteKivotra(0);
    WriteFileText(root_.File("study/coffee.set"), "100\n50\n5\n10\n1\n 3.00\n1\n7\n 4.00\n1\n123\n");
    EXPECT_EQ(Run({"estimate", dataFile_, "--seed", "9"}), 0);
    EXPECT_NE(KivotraLog().find("\nargs=0 0 0 0\n"), std::string::npos);
    // Only the seed changed; ".cho" data saves 1.00 as its weight.
    EXPECT_EQ(SettingsFile(), "100\n50\n5\n10\n1\n 1.00\n1\n7\n 4.00\n1\n9\n");
}

TEST_F(OmbrelCommandTest, ARelativeDataPathIsMadeAbsoluteForKivotra) {
    const fs::path before = fs::current_path();
    fs::current_path(root_.Path());
    int status = Run({"estimate", "study/../study/coffee.cho"});
    fs::current_path(before);
    EXPECT_EQ(status, 7);
    EXPECT_NE(KivotraLog().find("\nnames=" + dataFile_ + "\n"), std::string::npos) << KivotraLog();
    EXPECT_EQ(ReadFileText(root_.File("settings/names.pellik")), dataFile_);
}

TEST_F(OmbrelCommandTest, ARestartFileNeedsResumeOrFresh) {
    const std::string restart = root_.File("study/coffee.res");
    WriteFileText(restart, "restart");

    EXPECT_EQ(Run({"estimate", dataFile_}), 1);
    EXPECT_EQ(Err(), kTitle + "A restart file is available: " + restart +
                         ".  Use --resume to resume estimation from it, or --fresh to delete it and estimate "
                         "from the start.\n");
    EXPECT_TRUE(fs::exists(restart));
    EXPECT_TRUE(prepared_.empty());
    EXPECT_FALSE(Launched());

    // Resume: no preparation, kivotra starts at once and finds the restart file.
    EXPECT_EQ(Run({"estimate", dataFile_, "--resume"}), 7);
    EXPECT_TRUE(prepared_.empty());
    EXPECT_TRUE(Launched());
    EXPECT_TRUE(fs::exists(restart));
    EXPECT_EQ(Out(), "");

    // Fresh: the restart file goes, the study is prepared again.
    fs::remove(root_.File("kivotra.log"));
    EXPECT_EQ(Run({"estimate", dataFile_, "--fresh"}), 7);
    EXPECT_FALSE(fs::exists(restart));
    EXPECT_EQ(prepared_.size(), 1u);
    EXPECT_TRUE(Launched());
}

TEST_F(OmbrelCommandTest, ResumeWithoutARestartFileStartsFromTheBeginning) {
    EXPECT_EQ(Run({"estimate", dataFile_, "--resume"}), 7);
    EXPECT_EQ(prepared_.size(), 1u);
    EXPECT_EQ(Out().rfind("There is no restart file " + root_.File("study/coffee.res") +
                              "; the estimation starts from the beginning.\n",
                          0),
              0u);
}

TEST_F(OmbrelCommandTest, AFailedPreparationLaunchesNothing) {
    prepareFailure_ = "No <studyname>.att file is available.";
    EXPECT_EQ(Run({"estimate", dataFile_}), 1);
    EXPECT_EQ(Err(), kTitle + "No <studyname>.att file is available.\n");
    EXPECT_FALSE(Launched());
    EXPECT_EQ(Out(), "");
}

// The example study of an installed package lies in a folder nobody may write. (Root may write
// anywhere, so the case cannot arise for it.)
TEST_F(OmbrelCommandTest, AStudyInAFolderThatCannotBeWrittenIsRefusedWithHowToCopyIt) {
    if (geteuid() == 0) GTEST_SKIP() << "root can write every folder";
    const std::string folder = root_.File("study");
    fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);
    const auto before = FolderEntries();
    EXPECT_EQ(Run({"estimate", dataFile_}), 1);
    EXPECT_EQ(Run({"prepare", dataFile_}), 1);
    fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
    const std::string message =
        kTitle + "The folder " + folder +
        " cannot be written, so the study cannot be estimated there.  Copy the folder to "
        "one of your own and estimate the copy, for example:\n  cp -r " +
        folder + " ~/study\n  ombrel estimate ~/study/coffee.cho\n";
    EXPECT_EQ(Err(), message + message);
    EXPECT_FALSE(Launched());
    EXPECT_EQ(FolderEntries(), before);
}

TEST_F(OmbrelCommandTest, AMissingKivotraIsReportedAndTheWorkingFolderRemoved) {
    fs::remove(root_.File("bin/kivotra"));
    EXPECT_EQ(Run({"estimate", dataFile_}), 1);
    EXPECT_EQ(Err(), kTitle + "The program " + root_.File("bin/kivotra") +
                         " could not be started (No such file or directory).\n");
    EXPECT_TRUE(fs::is_empty(root_.File("tmp")));
}

TEST_F(OmbrelCommandTest, PrepareLoadsTheStudySettingsAndPrintsTheReport) {
    WriteFileText(root_.File("study/coffee.set"), "100\n50\n5\n10\n1\n 3.00\n1\n7\n 4.00\n0\n123\n");
    EXPECT_EQ(Run({"prepare", dataFile_}), 0);
    ASSERT_EQ(prepared_.size(), 1u);
    EXPECT_FALSE(prepared_[0].effectsCoding);
    EXPECT_EQ(Out(), "Preparing Files For HB Analysis\nData file: " + dataFile_ + "\n");
    EXPECT_FALSE(Launched());
    EXPECT_FALSE(fs::exists(root_.File("settings/names.pellik")));  // nothing saved
}

TEST_F(OmbrelCommandTest, EstimateRunsTheRealPreparationBeforeKivotra) {
    environment_.prepare = nullptr;
    WriteFileText(root_.File("study/coffee.att"), "Light\n\nDark\n");
    WriteFileText(dataFile_, "1 0 1 2 0\n2 1\n1\n2\n2 9\n2 1\n2\n1\n1 9\n");
    EXPECT_EQ(Run({"estimate", dataFile_}), 7);
    EXPECT_EQ(Out().rfind("Preparing Files For HB Analysis\nData file: " + dataFile_ + "\n", 0), 0u) << Out();
    EXPECT_NE(Out().find("Files built for 1 respondents."), std::string::npos) << Out();
    EXPECT_TRUE(fs::exists(root_.File("study/qebdat.tmp")));
    EXPECT_TRUE(fs::exists(root_.File("study/qebatt.tmp")));
    EXPECT_TRUE(Launched());

    // Without an attribute file the preparation fails with its own message and nothing starts.
    fs::remove(root_.File("kivotra.log"));
    fs::remove(root_.File("study/coffee.att"));
    EXPECT_EQ(Run({"estimate", dataFile_}), 1);
    EXPECT_EQ(Err(), kTitle + "No <studyname>.att file is available.\n");
    EXPECT_FALSE(Launched());
}

TEST_F(OmbrelCommandTest, ConvertWritesTheChsBesideTheData) {
    WriteFileText(root_.File("study/responses.txt"), "3 4");
    EXPECT_EQ(Run({"convert", dataFile_, "--responses", root_.File("study/responses.txt")}), 0);
    EXPECT_EQ(ReadFileText(root_.File("study/coffee.chs")), "1 0 1 1 0\n2\n1 3\n2 4\n");
    EXPECT_EQ(Out(), root_.File("study/coffee.chs") + "\n");
    EXPECT_EQ(Err(), kTitle + "The conversion completed successfully.\n");

    EXPECT_EQ(Run({"convert", root_.File("study/nothing.cho")}), 1);
    EXPECT_NE(Err().find(kTitle + "Cannot locate " + root_.File("study/nothing.cho") + ".\n"),
              std::string::npos);
}

}  // namespace
}  // namespace ombrel
