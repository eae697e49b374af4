#include "frontend/MainWindowLogic.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/OmbrelError.h"
#include "frontend/AdvancedSettingsLogic.h"
#include "frontend/EstimatorLaunch.h"
#include "platform/ScriptedMessenger.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

const std::string kSaveQuestion = "Some settings have changed.  Would you like to save your changes?";
const std::string kRestartQuestion =
    "A restart file is available.  Select 'Yes' if you would like to resume estimation using this data.  "
    "Select 'No' if you want to destroy the restart data and begin estimation.  Select 'Cancel' otherwise.";
const std::string kDefaultSettingsFile = "2000\n1000\n10\n100\n0\n 5.00\n1\n5\n 2.00\n1\n0\n";

class FakePicker : public FilePicker {
public:
    std::optional<std::string> PickExistingFile(const std::vector<FileFilter>& filters,
                                                const std::string& extension) override {
        ++calls;
        lastFilters = filters;
        lastExtension = extension;
        return answer;
    }
    std::optional<std::string> answer;
    int calls = 0;
    std::vector<FileFilter> lastFilters;
    std::string lastExtension;
};

class FakeAdvancedDialog : public AdvancedSettingsDialog {
public:
    bool Run(AdvancedSettingsLogic& logic) override { return script ? script(logic) : false; }
    std::function<bool(AdvancedSettingsLogic&)> script;
};

class FakeLauncher : public EstimatorLauncher {
public:
    std::string PrepareStudy(const StudySettings& settings) override {
        calls.push_back("prepare " + settings.dataFileName);
        if (!prepareFailure.empty()) throw OmbrelError(prepareFailure);
        return report;
    }
    bool ShowReport(const std::string& text) override {
        calls.push_back("report");
        shownReport = text;
        return continueEstimation;
    }
    WindowRect MainWindowRect() override { return rect; }
    void RunEstimator(const EstimatorLaunch& launch) override {
        calls.push_back("run " + launch.commandLine);
        lastLaunch = launch;
        if (!runFailure.empty()) throw OmbrelError(runFailure);
    }

    std::vector<std::string> calls;
    std::string report = "Preparing Files For HB Analysis\r\nData file: x";
    std::string shownReport;
    std::string prepareFailure;
    std::string runFailure;
    bool continueEstimation = true;
    WindowRect rect{200, 120, 875, 560};
    EstimatorLaunch lastLaunch;
};

class RecordingView : public MainWindowView {
public:
    void FieldsChanged() override { ++fieldUpdates; }
    void TitleChanged(const std::string& title) override { titles.push_back(title); }
    int fieldUpdates = 0;
    std::vector<std::string> titles;
};

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest()
        : settingsFolder(dir.Folder() + "settings/"),
          logic({dir.Folder() + "bin/", settingsFolder}, {messenger, picker, advanced, launcher, &view}) {
        fs::create_directories(settingsFolder);
    }

    std::string NamesFile() const { return settingsFolder + "names.pellik"; }
    std::string Study(const std::string& name) const { return dir.File(name); }
    void StartWithStudy(const std::string& dataFile) {
        WriteFileText(NamesFile(), dataFile);
        logic.Start();
    }

    TempDir dir;
    std::string settingsFolder;
    ScriptedMessenger messenger;
    FakePicker picker;
    FakeAdvancedDialog advanced;
    FakeLauncher launcher;
    RecordingView view;
    MainWindowLogic logic;
};

TEST_F(MainWindowTest, StartWithoutNamesFileShowsDefaultsAndACleanTitle) {
    logic.Start();
    EXPECT_TRUE(logic.DialogReady());
    EXPECT_FALSE(logic.SettingsChanged());
    EXPECT_EQ(logic.Title(), "Feldrin Software Ombrel");
    const MainWindowFields& fields = logic.Fields();
    EXPECT_EQ(fields.dataFileName, "");
    EXPECT_EQ(fields.preliminaryIterations, "2000");
    EXPECT_EQ(fields.drawsPerRespondent, "1000");
    EXPECT_EQ(fields.drawSkip, "10");
    EXPECT_EQ(fields.logSkip, "100");
    EXPECT_FALSE(fields.saveDraws);
    EXPECT_EQ(fields.totalTaskWeight, " 5.00");
    EXPECT_TRUE(fields.totalTaskWeightEnabled);
    EXPECT_GE(view.fieldUpdates, 1);
    EXPECT_TRUE(messenger.Entries().empty());
}

TEST_F(MainWindowTest, StartWithAChoiceStudyDisablesTheWeightWithoutMarkingAChange) {
    WriteFileText(Study("study.set"), "3000\n500\n5\n50\n1\n 7.50\n1\n5\n 2.00\n1\n0\n");
    StartWithStudy(Study("study.cho"));
    EXPECT_EQ(logic.Fields().preliminaryIterations, "3000");
    EXPECT_TRUE(logic.Fields().saveDraws);
    EXPECT_FALSE(logic.Fields().totalTaskWeightEnabled);
    EXPECT_EQ(logic.Fields().totalTaskWeight, "1.00");
    EXPECT_EQ(logic.Title(), "Feldrin Software Ombrel");
}

// A hand-edited settings file with a number beyond 32 bits: the message at start-up, then the study with
// the default settings.
TEST_F(MainWindowTest, StartWithASettingBeyond32BitsShowsItAndTheDefaults) {
    WriteFileText(Study("study.set"), "3000\n500\n4294967301\n50\n1\n 7.50\n1\n5\n 2.00\n1\n0\n");
    StartWithStudy(Study("study.chs"));
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{"The number 4294967301 in " + Study("study.set") +
                                                          " does not fit a 32-bit integer (-2147483648 to "
                                                          "2147483647)."});
    EXPECT_EQ(logic.Fields().dataFileName, Study("study.chs"));
    EXPECT_EQ(logic.Fields().preliminaryIterations, "2000");
    EXPECT_EQ(logic.Fields().drawSkip, "10");
}

TEST_F(MainWindowTest, WeightRuleFollowsThePathField) {
    logic.Start();
    logic.EditText(MainTextField::TotalTaskWeight, "7.5");
    logic.EditText(MainTextField::DataFileName, "  /data/STUDY.CHO ");
    EXPECT_FALSE(logic.Fields().totalTaskWeightEnabled);
    EXPECT_EQ(logic.Fields().totalTaskWeight, "1.00");
    EXPECT_EQ(logic.Title(), "Feldrin Software Ombrel *");
    EXPECT_EQ(view.titles.back(), "Feldrin Software Ombrel *");
    logic.EditText(MainTextField::DataFileName, "/data/STUDY.chs");
    EXPECT_TRUE(logic.Fields().totalTaskWeightEnabled);
    EXPECT_EQ(logic.Fields().totalTaskWeight, "1.00");
}

TEST_F(MainWindowTest, BrowseSharesThePathFieldsHelpText) {
    logic.Start();
    EXPECT_EQ(logic.HelpText(), "");
    logic.Focus(MainControl::DataFile);
    EXPECT_EQ(logic.HelpText().rfind("The data file contains the respondent data", 0), 0u);
    logic.Focus(MainControl::RestoreDefaults);
    EXPECT_EQ(logic.HelpText().rfind("The data file contains the respondent data", 0), 0u);
}

TEST_F(MainWindowTest, EveryFieldEditAndTheCheckBoxMarkAChange) {
    logic.Start();
    logic.ClickSaveDraws(true);
    EXPECT_TRUE(logic.SettingsChanged());
    EXPECT_EQ(view.titles.back(), "Feldrin Software Ombrel *");
}

TEST_F(MainWindowTest, SaveWithNothingChangedWritesNothingEvenWithAnInvalidField) {
    const std::string invalid = "2000\n1000\n0\n100\n0\n 5.00\n1\n5\n 2.00\n1\n0\n";
    WriteFileText(Study("study.set"), invalid);
    StartWithStudy(Study("study.chs"));
    EXPECT_EQ(logic.Fields().drawSkip, "0");
    fs::remove(NamesFile());
    logic.Save();
    EXPECT_FALSE(fs::exists(NamesFile()));
    EXPECT_EQ(ReadFileText(Study("study.set")), invalid);
    EXPECT_TRUE(messenger.Entries().empty());
}

TEST_F(MainWindowTest, SaveWritesBothFilesAndClearsTheTitle) {
    StartWithStudy(Study("study.chs"));
    logic.EditText(MainTextField::LogSkip, "100");
    logic.Save();
    EXPECT_FALSE(logic.SettingsChanged());
    EXPECT_EQ(logic.Title(), "Feldrin Software Ombrel");
    EXPECT_EQ(view.titles.back(), "Feldrin Software Ombrel");
    EXPECT_EQ(ReadFileText(NamesFile()), Study("study.chs"));
    EXPECT_EQ(ReadFileText(Study("study.set")), kDefaultSettingsFile);
}

TEST_F(MainWindowTest, SaveThatCannotWriteIsNotTakenForASave) {
    StartWithStudy(Study("missing-folder/study.chs"));
    logic.EditText(MainTextField::LogSkip, "100");
    logic.Save();
    EXPECT_TRUE(logic.SettingsChanged());
    EXPECT_EQ(messenger.Texts(),
              std::vector<std::string>{"The settings could not be saved to " + NamesFile() + " and " +
                                       Study("missing-folder/study.set") + "."});
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Exclamation);
}

TEST_F(MainWindowTest, ExitWithoutChangesClosesAtOnce) {
    logic.Start();
    EXPECT_TRUE(logic.Exit());
    EXPECT_TRUE(messenger.Entries().empty());
}

TEST_F(MainWindowTest, ExitAsksWithYesNoCancelAndHonoursEachAnswer) {
    StartWithStudy(Study("study.chs"));
    logic.EditText(MainTextField::DrawSkip, "20");

    messenger.ScriptAnswers({Answer::Cancel});
    EXPECT_FALSE(logic.Exit());
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, kSaveQuestion);
    EXPECT_EQ(messenger.Entries()[0].buttons, ButtonSet::YesNoCancel);
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Question);
    EXPECT_FALSE(fs::exists(Study("study.set")));

    messenger.ScriptAnswers({Answer::No});
    EXPECT_TRUE(logic.Exit());
    EXPECT_FALSE(fs::exists(Study("study.set")));

    messenger.ScriptAnswers({Answer::Yes});
    EXPECT_TRUE(logic.Exit());
    EXPECT_EQ(ReadFileText(Study("study.set")), "2000\n1000\n20\n100\n0\n 5.00\n1\n5\n 2.00\n1\n0\n");
    EXPECT_FALSE(logic.SettingsChanged());
}

TEST_F(MainWindowTest, ExitYesWithInvalidValuesStaysOpenAndChanged) {
    StartWithStudy(Study("study.chs"));
    logic.EditText(MainTextField::DrawSkip, "");
    messenger.ScriptAnswers({Answer::Yes});
    EXPECT_FALSE(logic.Exit());
    EXPECT_EQ(messenger.Texts(),
              (std::vector<std::string>{
                  kSaveQuestion, "'Skip factor for using draws' must be an integer between 1 and 100."}));
    EXPECT_EQ(logic.Title(), "Feldrin Software Ombrel *");
}

TEST_F(MainWindowTest, BrowseToAStudyWithoutSettingsFileShowsAllDefaultsAndMarksAChange) {
    WriteFileText(Study("old.set"), "3000\n500\n5\n50\n1\n 7.50\n0\n9\n 4.00\n0\n17\n");
    StartWithStudy(Study("old.chs"));
    WriteFileText(Study("new.cho"), "");
    picker.answer = Study("new.cho");
    logic.Browse();
    EXPECT_EQ(picker.calls, 1);
    ASSERT_EQ(picker.lastFilters.size(), 1u);
    EXPECT_EQ(picker.lastFilters[0].description, "Ombrel Data Files (*.cho; *.chs)");
    EXPECT_EQ(picker.lastFilters[0].patterns, (std::vector<std::string>{"*.cho", "*.chs"}));
    EXPECT_EQ(picker.lastExtension, "cho");
    EXPECT_TRUE(messenger.Entries().empty());  // nothing had changed: no question
    EXPECT_EQ(logic.Fields().dataFileName, Study("new.cho"));
    EXPECT_EQ(logic.Fields().preliminaryIterations, "2000");
    EXPECT_FALSE(logic.Fields().saveDraws);
    EXPECT_EQ(logic.Fields().totalTaskWeight, "1.00");
    EXPECT_FALSE(logic.Fields().totalTaskWeightEnabled);
    const StudySettings& settings = logic.Settings();
    EXPECT_TRUE(settings.smartStart);
    EXPECT_EQ(settings.priorDegreesOfFreedom, 5);
    EXPECT_DOUBLE_EQ(settings.priorVariance, 2.0);
    EXPECT_TRUE(settings.effectsCoding);
    EXPECT_EQ(settings.randomSeed, 0);
    EXPECT_EQ(settings.namesFolder, settingsFolder);
    EXPECT_EQ(logic.Title(), "Feldrin Software Ombrel *");
}

TEST_F(MainWindowTest, BrowseWithChangesAnsweredNoLoadsTheNewStudysOwnSettings) {
    StartWithStudy(Study("old.chs"));
    logic.EditText(MainTextField::PreliminaryIterations, "123");
    WriteFileText(Study("new.chs"), "");
    WriteFileText(Study("new.set"), "4000\n800\n8\n80\n1\n 3.00\n0\n7\n 1.50\n0\n11\n");
    picker.answer = Study("new.chs");
    messenger.ScriptAnswers({Answer::No});
    logic.Browse();
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, kSaveQuestion);
    EXPECT_EQ(messenger.Entries()[0].buttons, ButtonSet::YesNo);
    EXPECT_FALSE(fs::exists(Study("old.set")));
    EXPECT_EQ(logic.Fields().preliminaryIterations, "4000");
    EXPECT_EQ(logic.Fields().totalTaskWeight, " 3.00");
    EXPECT_TRUE(logic.Fields().totalTaskWeightEnabled);
    EXPECT_EQ(logic.Settings().randomSeed, 11);
    EXPECT_FALSE(logic.Settings().effectsCoding);
}

TEST_F(MainWindowTest, BrowseWithChangesAnsweredYesSavesFirstAndStopsWhenTheSaveFails) {
    StartWithStudy(Study("old.chs"));
    logic.EditText(MainTextField::PreliminaryIterations, "123");
    picker.answer = Study("new.chs");
    messenger.ScriptAnswers({Answer::Yes});
    logic.Browse();
    EXPECT_EQ(ReadFileText(Study("old.set")), "123\n1000\n10\n100\n0\n 5.00\n1\n5\n 2.00\n1\n0\n");
    EXPECT_EQ(picker.calls, 1);

    logic.EditText(MainTextField::DrawsPerRespondent, "0");
    messenger.Clear();
    messenger.ScriptAnswers({Answer::Yes});
    logic.Browse();
    EXPECT_EQ(picker.calls, 1);  // the failed save stops before the file dialog
    EXPECT_EQ(
        messenger.Texts(),
        (std::vector<std::string>{
            kSaveQuestion,
            "'Number of draws to be used for each respondent' must be an integer between 1 and 10000."}));
}

TEST_F(MainWindowTest, BrowseCancelledChangesNothing) {
    StartWithStudy(Study("old.chs"));
    logic.Browse();
    EXPECT_EQ(picker.calls, 1);
    EXPECT_EQ(logic.Fields().dataFileName, Study("old.chs"));
    EXPECT_FALSE(logic.SettingsChanged());
}

TEST_F(MainWindowTest, RestoreDefaultsKeepsThePathAndTheAdvancedSettings) {
    WriteFileText(Study("study.set"), "3000\n500\n5\n50\n1\n 7.50\n0\n9\n 4.00\n0\n17\n");
    StartWithStudy(Study("study.cho"));
    logic.RestoreDefaults();
    EXPECT_EQ(logic.Fields().dataFileName, Study("study.cho"));
    EXPECT_EQ(logic.Fields().preliminaryIterations, "2000");
    EXPECT_EQ(logic.Fields().drawsPerRespondent, "1000");
    EXPECT_EQ(logic.Fields().drawSkip, "10");
    EXPECT_EQ(logic.Fields().logSkip, "100");
    EXPECT_FALSE(logic.Fields().saveDraws);
    EXPECT_EQ(logic.Fields().totalTaskWeight, "1.00");  // ".cho" data again
    EXPECT_EQ(logic.Settings().priorDegreesOfFreedom, 9);
    EXPECT_TRUE(logic.SettingsChanged());
}

TEST_F(MainWindowTest, AdvancedSettingsCancelChangesNothing) {
    StartWithStudy(Study("study.chs"));
    advanced.script = [](AdvancedSettingsLogic& dialog) {
        dialog.RestoreDefaults();
        dialog.EditText(AdvancedTextField::RandomSeed, "42");
        return false;
    };
    logic.AdvancedSettings();
    EXPECT_EQ(logic.Settings().randomSeed, 0);
    EXPECT_EQ(logic.Title(), "Feldrin Software Ombrel");
}

TEST_F(MainWindowTest, AdvancedSettingsOkAssignsTheCopyAndMarksAChangeOnlyWhenEdited) {
    StartWithStudy(Study("study.chs"));
    logic.EditText(MainTextField::DrawSkip, "");  // an unsaved edit stays in the field
    messenger.Clear();
    advanced.script = [](AdvancedSettingsLogic& dialog) { return dialog.Ok(); };
    logic.AdvancedSettings();
    EXPECT_EQ(logic.Fields().drawSkip, "");
    EXPECT_EQ(logic.Settings().drawSkip, 10);  // the fields are neither read nor refilled

    MainWindowLogic clean({dir.Folder() + "bin/", settingsFolder},
                          {messenger, picker, advanced, launcher, nullptr});
    clean.Start();
    clean.AdvancedSettings();
    EXPECT_FALSE(clean.SettingsChanged());

    advanced.script = [](AdvancedSettingsLogic& dialog) {
        dialog.EditText(AdvancedTextField::RandomSeed, "42");
        dialog.ClickDummyCoding();
        return dialog.Ok();
    };
    clean.AdvancedSettings();
    EXPECT_EQ(clean.Settings().randomSeed, 42);
    EXPECT_FALSE(clean.Settings().effectsCoding);
    EXPECT_FALSE(clean.Settings().smartStart);
    EXPECT_EQ(clean.Title(), "Feldrin Software Ombrel *");
    EXPECT_TRUE(messenger.Entries().empty());
}

class LaunchTest : public MainWindowTest {
protected:
    void SetUp() override {
        WriteFileText(Study("study.chs"), "");
        StartWithStudy(Study("study.chs"));
    }
    std::string RestartFile() const { return Study("study.res"); }
};

TEST_F(LaunchTest, WithoutRestartFileSavesPreparesShowsTheReportAndRunsTheEstimator) {
    EXPECT_EQ(logic.Estimate(), LaunchOutcome::EstimatorRan);
    EXPECT_EQ(launcher.calls, (std::vector<std::string>{"prepare " + Study("study.chs"), "report",
                                                        "run kivotra 120 200 560 875"}));
    EXPECT_EQ(launcher.shownReport, "Preparing Files For HB Analysis\nData file: x");
    EXPECT_EQ(ReadFileText(Study("study.set")), kDefaultSettingsFile);
    EXPECT_EQ(launcher.lastLaunch.programPath, dir.Folder() + "bin/kivotra");
    EXPECT_EQ(launcher.lastLaunch.arguments, (std::vector<std::string>{"120", "200", "560", "875"}));
    EXPECT_EQ(launcher.lastLaunch.workingFolder, settingsFolder);
    EXPECT_EQ(launcher.lastLaunch.consoleLeft, 206);
    EXPECT_EQ(launcher.lastLaunch.consoleTop, 149);
    EXPECT_FALSE(logic.SettingsChanged());
    EXPECT_TRUE(messenger.Entries().empty());
}

TEST_F(LaunchTest, InvalidFieldStartsNothing) {
    logic.EditText(MainTextField::DrawSkip, "");
    EXPECT_EQ(logic.Estimate(), LaunchOutcome::NotSaved);
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{
                                     "'Skip factor for using draws' must be an integer between 1 and 100."});
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Information);
    EXPECT_TRUE(launcher.calls.empty());
    EXPECT_FALSE(fs::exists(Study("study.set")));
}

TEST_F(LaunchTest, PathWithALineBreakIsNotSaved) {
    logic.EditText(MainTextField::DataFileName, dir.File("a\nstudy.chs"));
    EXPECT_EQ(logic.Estimate(), LaunchOutcome::NotSaved);
    EXPECT_EQ(messenger.Texts(),
              std::vector<std::string>{
                  "The data file path holds a line break, which the names file cannot carry."});
    EXPECT_EQ(ReadFileText(NamesFile()), Study("study.chs"));
    EXPECT_TRUE(launcher.calls.empty());
}

TEST_F(LaunchTest, RestartYesResumesWithoutPreparation) {
    WriteFileText(RestartFile(), "r");
    messenger.ScriptAnswers({Answer::Yes});
    EXPECT_EQ(logic.Estimate(), LaunchOutcome::EstimatorRan);
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, kRestartQuestion);
    EXPECT_EQ(messenger.Entries()[0].buttons, ButtonSet::YesNoCancel);
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Question);
    EXPECT_EQ(launcher.calls, std::vector<std::string>{"run kivotra 120 200 560 875"});
    EXPECT_TRUE(fs::exists(RestartFile()));
}

TEST_F(LaunchTest, RestartNoDeletesTheFileAndPrepares) {
    WriteFileText(RestartFile(), "r");
    messenger.ScriptAnswers({Answer::No});
    EXPECT_EQ(logic.Estimate(), LaunchOutcome::EstimatorRan);
    EXPECT_FALSE(fs::exists(RestartFile()));
    EXPECT_EQ(launcher.calls.size(), 3u);
}

TEST_F(LaunchTest, RestartCancelStopsWithTheSettingsSaved) {
    WriteFileText(RestartFile(), "r");
    messenger.ScriptAnswers({Answer::Cancel});
    EXPECT_EQ(logic.Estimate(), LaunchOutcome::Cancelled);
    EXPECT_TRUE(launcher.calls.empty());
    EXPECT_TRUE(fs::exists(RestartFile()));
    EXPECT_TRUE(fs::exists(Study("study.set")));
}

TEST_F(LaunchTest, RestartFileThatCannotBeDeletedStopsTheLaunch) {
    // A folder of that name cannot be removed as a file while it holds something.
    fs::create_directories(RestartFile() + "/inside");
    messenger.ScriptAnswers({Answer::No});
    EXPECT_EQ(logic.Estimate(), LaunchOutcome::RestartFileKept);
    ASSERT_EQ(messenger.Entries().size(), 2u);
    EXPECT_EQ(
        messenger.Entries()[1].text.rfind("The restart file " + RestartFile() + " could not be deleted (", 0),
        0u);
    EXPECT_EQ(messenger.Entries()[1].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(launcher.calls.empty());
}

TEST_F(LaunchTest, FailedPreparationShowsItsMessageOnceAndStartsNothing) {
    launcher.prepareFailure = "No <studyname>.att file is available.";
    EXPECT_EQ(logic.Estimate(), LaunchOutcome::PreparationFailed);
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{"No <studyname>.att file is available."});
    EXPECT_EQ(launcher.calls.size(), 1u);
}

TEST_F(LaunchTest, DoNotEstimateNowStopsAfterTheReport) {
    launcher.continueEstimation = false;
    EXPECT_EQ(logic.Estimate(), LaunchOutcome::NotContinued);
    EXPECT_EQ(launcher.calls.size(), 2u);
}

TEST_F(LaunchTest, EstimatorThatCannotStartIsReported) {
    launcher.runFailure = "The program /x/kivotra could not be started (No such file or directory).";
    EXPECT_EQ(logic.Estimate(), LaunchOutcome::EstimatorNotStarted);
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{launcher.runFailure});
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Exclamation);
}

TEST(EstimatorLaunch, CommandLineIsTopLeftBottomRight) {
    EXPECT_EQ(EstimatorCommandLine("kivotra.exe", WindowRect{200, 120, 875, 560}),
              "kivotra.exe 120 200 560 875");
    EXPECT_EQ(EstimatorCommandLine("kivotra", WindowRect{-5, -3, 0, 7}), "kivotra -3 -5 7 0");
}

TEST(EstimatorLaunch, ReportLosesItsCarriageReturns) {
    EXPECT_EQ(ReportDisplayText("a\r\nb\rc\n"), "a\nbc\n");
}

}  // namespace
}  // namespace ombrel

namespace ombrel {
namespace {

// Each text field saves into its own setting and no other; together they are the main page's
// settings that are not switches.
TEST_F(MainWindowTest, EveryTextFieldIsBoundToItsOwnSetting) {
    size_t mainValues = 0;
    for (const SettingDescriptor& setting : SettingsSchema()) {
        mainValues += setting.page == SettingsPage::Main && setting.type != SettingType::Switch;
    }
    EXPECT_EQ(MainSettingFields().size(), mainValues);

    StartWithStudy(Study("bound.chs"));
    for (const MainSettingField& bound : MainSettingFields()) {
        const SettingDescriptor& setting = Setting(bound.setting);
        EXPECT_EQ(setting.page, SettingsPage::Main);
        logic.RestoreDefaults();
        logic.EditText(bound.field, setting.type == SettingType::Real ? "7.25" : "7");
        logic.Save();
        const StudySettings defaults;
        for (const SettingDescriptor& other : SettingsSchema()) {
            const double expected = other.id == setting.id ? (setting.type == SettingType::Real ? 7.25 : 7)
                                                           : SettingValue(other, defaults);
            EXPECT_EQ(SettingValue(other, logic.Settings()), expected)
                << setting.label << ": " << other.label;
        }
    }
    EXPECT_TRUE(messenger.Entries().empty());
}

}  // namespace
}  // namespace ombrel
