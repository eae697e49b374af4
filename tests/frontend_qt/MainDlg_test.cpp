#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/OmbrelError.h"
#include "frontend/qt/CAdvSettingsDlg.h"
#include "frontend/qt/CMainDlg.h"
#include "frontend/qt/NumericEditWidget.h"
#include "frontend/qt/QtEstimatorLauncher.h"
#include "platform/ScriptedMessenger.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

const QString kClean = "Feldrin Software Ombrel";
const QString kChanged = "Feldrin Software Ombrel *";
const std::string kSaveQuestion = "Some settings have changed.  Would you like to save your changes?";
const std::string kRestartQuestion =
    "A restart file is available.  Select 'Yes' if you would like to resume estimation using this data.  "
    "Select 'No' if you want to destroy the restart data and begin estimation.  Select 'Cancel' otherwise.";

class ScriptedPicker : public FilePicker {
public:
    std::optional<std::string> PickExistingFile(const std::vector<FileFilter>&, const std::string&) override {
        ++calls;
        return answer;
    }
    std::optional<std::string> answer;
    int calls = 0;
};

// The desktop launcher with the heavy steps recorded instead of run: the rectangle still comes from
// the real window's frame.
class RecordingLauncher : public QtEstimatorLauncher {
public:
    RecordingLauncher() : QtEstimatorLauncher(nullptr) {}
    std::string PrepareStudy(const StudySettings& settings) override {
        calls.push_back("prepare " + settings.dataFileName);
        if (!prepareFailure.empty()) throw OmbrelError(prepareFailure);
        return "Preparing Files For HB Analysis\r\nData file: " + settings.dataFileName;
    }
    bool ShowReport(const std::string& text) override {
        calls.push_back("report " + text);
        return continueEstimation;
    }
    void RunEstimator(const EstimatorLaunch& launch) override {
        calls.push_back("run " + launch.commandLine);
        lastLaunch = launch;
        if (!runFailure.empty()) throw OmbrelError(runFailure);
    }

    std::vector<std::string> calls;
    std::string prepareFailure;
    std::string runFailure;
    bool continueEstimation = true;
    EstimatorLaunch lastLaunch;
};

class MainDlg : public ::testing::Test {
protected:
    // The window on a settings folder whose names file names study (when given), shown and started.
    void Open(const std::optional<std::string>& study = std::nullopt) {
        if (study) WriteFileText(temp.File("names.pellik"), *study);
        dialog = std::make_unique<CMainDlg>(FrontEndFolders{temp.Folder(), temp.Folder()}, messenger, picker,
                                            &launcher);
        launcher.SetMainWindow(dialog.get());
        dialog->show();
        dialog->Start();
    }
    std::string Study(const char* name) const { return temp.File(name); }
    static void Retype(QLineEdit* field, const char* text) {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, QString::fromUtf8(text));
    }
    QAction* MenuItem(const QString& menu, const QString& item) const {
        for (QAction* top : dialog->MenuBar()->actions()) {
            if (top->text() != menu || top->menu() == nullptr) continue;
            for (QAction* action : top->menu()->actions()) {
                if (action->text() == item) return action;
            }
        }
        return nullptr;
    }
    bool NamesFileExists() const { return fs::exists(temp.File("names.pellik")); }

    TempDir temp;
    ScriptedMessenger messenger;
    ScriptedPicker picker;
    RecordingLauncher launcher;
    std::unique_ptr<CMainDlg> dialog;
};

TEST_F(MainDlg, StartWithAChoiceStudyShowsItsValuesWithTheWeightDisabledAndACleanTitle) {
    WriteFileText(Study("cars.set"), "3000\n500\n5\n50\n1\n 7.00\n1\n5\n 2.00\n1\n0\n");
    Open(Study("cars.CHO"));
    EXPECT_EQ(dialog->windowTitle(), kClean);
    EXPECT_EQ(dialog->PathField()->text().toStdString(), Study("cars.CHO"));
    EXPECT_EQ(dialog->PreliminaryIterationsField()->text(), "3000");
    EXPECT_EQ(dialog->DrawsPerRespondentField()->text(), "500");
    EXPECT_EQ(dialog->DrawSkipField()->text(), "5");
    EXPECT_EQ(dialog->LogSkipField()->text(), "50");
    EXPECT_TRUE(dialog->SaveDrawsBox()->isChecked());
    EXPECT_EQ(dialog->TotalTaskWeightField()->text(), "1.00");
    EXPECT_FALSE(dialog->TotalTaskWeightField()->isEnabled());
    EXPECT_FALSE(dialog->TotalTaskWeightLabel()->isEnabled());
    EXPECT_TRUE(dialog->HelpArea()->isReadOnly());
}

TEST_F(MainDlg, StartWithoutNamesFileShowsTheDefaultsInTheirFormats) {
    Open();
    EXPECT_EQ(dialog->windowTitle(), kClean);
    EXPECT_EQ(dialog->PathField()->text(), "");
    EXPECT_EQ(dialog->PreliminaryIterationsField()->text(), "2000");
    EXPECT_EQ(dialog->DrawsPerRespondentField()->text(), "1000");
    EXPECT_EQ(dialog->DrawSkipField()->text(), "10");
    EXPECT_EQ(dialog->LogSkipField()->text(), "100");
    EXPECT_FALSE(dialog->SaveDrawsBox()->isChecked());
    EXPECT_EQ(dialog->TotalTaskWeightField()->text(), " 5.00");
    EXPECT_TRUE(dialog->TotalTaskWeightField()->isEnabled());
}

TEST_F(MainDlg, LabelsButtonsAndMenusCarryTheirExactTexts) {
    Open();
    EXPECT_EQ(dialog->BrowseButton()->text(), "Browse...");
    EXPECT_EQ(dialog->AdvancedSettingsButton()->text(), "Advanced Settings...");
    EXPECT_EQ(dialog->EstimateButton()->text(), "Estimate Parameters");
    EXPECT_EQ(dialog->RestoreDefaultsButton()->text(), "Restore defaults");
    EXPECT_EQ(dialog->SaveDrawsBox()->text(), "Save random draws");
    EXPECT_EQ(dialog->SaveDrawsBox()->layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(dialog->TotalTaskWeightLabel()->text(), "Total task weight");
    for (QLineEdit* field :
         {dialog->PreliminaryIterationsField(), dialog->DrawsPerRespondentField(), dialog->DrawSkipField(),
          dialog->LogSkipField(), static_cast<QLineEdit*>(dialog->TotalTaskWeightField())}) {
        EXPECT_EQ(field->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    }
    QStringList labels;
    for (QLabel* label : dialog->findChildren<QLabel*>()) labels << label->text();
    for (const char* label :
         {"Number of iterations before using results", "Number of draws to be used for each respondent",
          "Skip factor for using draws", "Skip factor for printing in log file"}) {
        EXPECT_TRUE(labels.contains(label)) << label;
    }

    std::vector<std::string> menus;
    for (QAction* top : dialog->MenuBar()->actions()) {
        std::string line = top->text().toStdString() + ":";
        for (QAction* action : top->menu()->actions())
            line += " " + (action->isSeparator() ? std::string("|") : action->text().toStdString());
        menus.push_back(line);
    }
    EXPECT_EQ(menus,
              (std::vector<std::string>{
                  "&File: &Save View &Results... E&xit",
                  "&Tools: &Convert CHO to CHS... &Tie Draws...",
                  "&Help: &Product Manual (PDF) | &Feldrin Software on the Web... &Request Support via "
                  "E-Mail... &Check for Newer Version... | &About Ombrel...",
              }));
}

TEST_F(MainDlg, TypingIntoEachFieldOrClickingTheBoxMarksTheTitle) {
    Open(Study("paint.chs"));
    for (int i = 0; i <= 6; ++i) {
        messenger.ScriptAnswers({Answer::No});
        dialog->close();  // the next window starts clean
        Open();
        ASSERT_EQ(dialog->windowTitle(), kClean) << i;
        const std::vector<QLineEdit*> fields{dialog->PathField(),
                                             dialog->PreliminaryIterationsField(),
                                             dialog->DrawsPerRespondentField(),
                                             dialog->DrawSkipField(),
                                             dialog->LogSkipField(),
                                             dialog->TotalTaskWeightField()};
        if (i < 6) {
            QTest::keyClicks(fields[i], "1");
        } else {
            QTest::mouseClick(dialog->SaveDrawsBox(), Qt::LeftButton);
        }
        EXPECT_EQ(dialog->windowTitle(), kChanged) << i;
    }
    // What was typed reached the logic: File > Save writes it.
    messenger.Clear();
    MenuItem("&File", "&Save")->trigger();
    EXPECT_EQ(dialog->windowTitle(), kClean);
    EXPECT_EQ(ReadFileText(Study("paint.set")), "2000\n1000\n10\n100\n1\n 5.00\n1\n5\n 2.00\n1\n0\n");
}

TEST_F(MainDlg, IntegerFieldsTakeDigitsOnlyAndCanBeEmptied) {
    Open(Study("paint.chs"));
    QTest::keyClicks(dialog->LogSkipField(), "a5-.");
    EXPECT_EQ(dialog->LogSkipField()->text(), "1005");
    Retype(dialog->LogSkipField(), "");
    EXPECT_EQ(dialog->LogSkipField()->text(), "");
}

TEST_F(MainDlg, PathEndingFollowsTheWeightRuleWhileTypingKeepsItsPlace) {
    Open();
    QTest::keyClicks(dialog->PathField(), "/data/s.CHO");
    EXPECT_EQ(dialog->windowTitle(), kChanged);
    EXPECT_EQ(dialog->TotalTaskWeightField()->text(), "1.00");
    EXPECT_FALSE(dialog->TotalTaskWeightField()->isEnabled());
    EXPECT_FALSE(dialog->TotalTaskWeightLabel()->isEnabled());
    for (int i = 0; i < 3; ++i) QTest::keyClick(dialog->PathField(), Qt::Key_Backspace);
    QTest::keyClicks(dialog->PathField(), "chs");
    EXPECT_EQ(dialog->PathField()->text(), "/data/s.chs");
    EXPECT_TRUE(dialog->TotalTaskWeightField()->isEnabled());
    EXPECT_TRUE(dialog->TotalTaskWeightLabel()->isEnabled());
    EXPECT_EQ(dialog->TotalTaskWeightField()->text(), "1.00");
    // Copying the fields back after each key must not move the cursor of the field being typed in.
    QTest::keyClick(dialog->PathField(), Qt::Key_Home);
    QTest::keyClicks(dialog->PathField(), "/mnt");
    EXPECT_EQ(dialog->PathField()->text(), "/mnt/data/s.chs");
}

TEST_F(MainDlg, ExitWithChangesHonoursEachAnswerFromEscAndTheCloseBox) {
    Open(Study("paint.chs"));
    Retype(dialog->DrawSkipField(), "20");

    messenger.ScriptAnswers({Answer::Cancel});
    QTest::keyClick(dialog->DrawSkipField(), Qt::Key_Escape);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), kChanged);
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, kSaveQuestion);
    EXPECT_EQ(messenger.Entries()[0].buttons, ButtonSet::YesNoCancel);
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Question);

    messenger.ScriptAnswers({Answer::Cancel});
    EXPECT_FALSE(dialog->close());
    EXPECT_TRUE(dialog->isVisible());

    // Yes with an invalid value: the validation message, and the window stays with its marker.
    Retype(dialog->DrawsPerRespondentField(), "0");
    messenger.Clear();
    messenger.ScriptAnswers({Answer::Yes});
    EXPECT_FALSE(dialog->close());
    EXPECT_EQ(messenger.Texts(),
              (std::vector<std::string>{kSaveQuestion,
                                        "'Number of draws to be used for each respondent' must be an integer "
                                        "between 1 and 10000."}));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), kChanged);
    EXPECT_FALSE(fs::exists(Study("paint.set")));

    // No: closes without writing anything.
    messenger.ScriptAnswers({Answer::No});
    QTest::keyClick(dialog->PathField(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(fs::exists(Study("paint.set")));
}

TEST_F(MainDlg, ExitAnsweredYesSavesBothFilesAndCloses) {
    Open(Study("paint.chs"));
    Retype(dialog->DrawSkipField(), "20");
    messenger.ScriptAnswers({Answer::Yes});
    EXPECT_TRUE(dialog->close());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(ReadFileText(temp.File("names.pellik")), Study("paint.chs"));
    EXPECT_EQ(ReadFileText(Study("paint.set")), "2000\n1000\n20\n100\n0\n 5.00\n1\n5\n 2.00\n1\n0\n");
}

TEST_F(MainDlg, ExitWithoutChangesClosesAtOnceAndFileExitAsksLikeTheCloseBox) {
    Open(Study("paint.chs"));
    QTest::keyClick(dialog->PathField(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(messenger.Entries().empty());

    Open(Study("paint.chs"));
    QTest::keyClicks(dialog->LogSkipField(), "0");
    MenuItem("&File", "E&xit")->trigger();
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{kSaveQuestion});
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(MainDlg, FileSaveWithNothingChangedWritesNothing) {
    Open(Study("paint.chs"));
    fs::remove(temp.File("names.pellik"));
    MenuItem("&File", "&Save")->trigger();
    EXPECT_FALSE(NamesFileExists());
    EXPECT_TRUE(messenger.Entries().empty());
}

TEST_F(MainDlg, BrowseToAStudyWithoutSettingsFileShowsTheDefaultsAndMarksTheTitle) {
    WriteFileText(Study("old.set"), "3000\n500\n5\n50\n1\n 7.00\n0\n9\n 3.00\n0\n77\n");
    Open(Study("old.chs"));
    picker.answer = Study("new.chs");
    QTest::mouseClick(dialog->BrowseButton(), Qt::LeftButton);
    EXPECT_EQ(picker.calls, 1);
    EXPECT_EQ(dialog->PathField()->text().toStdString(), Study("new.chs"));
    EXPECT_EQ(dialog->PreliminaryIterationsField()->text(), "2000");
    EXPECT_EQ(dialog->DrawsPerRespondentField()->text(), "1000");
    EXPECT_EQ(dialog->DrawSkipField()->text(), "10");
    EXPECT_EQ(dialog->LogSkipField()->text(), "100");
    EXPECT_FALSE(dialog->SaveDrawsBox()->isChecked());
    EXPECT_EQ(dialog->TotalTaskWeightField()->text(), " 5.00");
    EXPECT_EQ(dialog->Logic().Settings().randomSeed, 0);
    EXPECT_EQ(dialog->windowTitle(), kChanged);
}

TEST_F(MainDlg, BrowseWithChangesAnsweredNoLoadsTheChosenStudysOwnSettings) {
    WriteFileText(Study("cars.set"), "3000\n500\n5\n50\n1\n 7.00\n1\n5\n 2.00\n1\n0\n");
    Open(Study("paint.chs"));
    Retype(dialog->DrawSkipField(), "20");
    messenger.ScriptAnswers({Answer::No});
    picker.answer = Study("cars.cho");
    QTest::mouseClick(dialog->BrowseButton(), Qt::LeftButton);
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, kSaveQuestion);
    EXPECT_EQ(messenger.Entries()[0].buttons, ButtonSet::YesNo);
    EXPECT_EQ(dialog->DrawSkipField()->text(), "5");
    EXPECT_EQ(dialog->PreliminaryIterationsField()->text(), "3000");
    EXPECT_TRUE(dialog->SaveDrawsBox()->isChecked());
    EXPECT_EQ(dialog->TotalTaskWeightField()->text(), "1.00");
    EXPECT_FALSE(dialog->TotalTaskWeightField()->isEnabled());
    EXPECT_FALSE(fs::exists(Study("paint.set")));
}

TEST_F(MainDlg, BrowseWithChangesAnsweredYesStopsBeforeThePickerWhenTheSaveFails) {
    Open(Study("paint.chs"));
    Retype(dialog->DrawSkipField(), "");
    messenger.ScriptAnswers({Answer::Yes});
    picker.answer = Study("cars.cho");
    dialog->BrowseButton()->click();
    EXPECT_EQ(picker.calls, 0);
    EXPECT_EQ(messenger.Texts().back(),
              "'Skip factor for using draws' must be an integer between 1 and 100.");
    EXPECT_EQ(dialog->PathField()->text().toStdString(), Study("paint.chs"));
}

TEST_F(MainDlg, EstimateWithAnEmptySkipFieldShowsTheMessageAndStartsNothing) {
    Open(Study("paint.chs"));
    Retype(dialog->DrawSkipField(), "");
    QTest::mouseClick(dialog->EstimateButton(), Qt::LeftButton);
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{
                                     "'Skip factor for using draws' must be an integer between 1 and 100."});
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Information);
    EXPECT_TRUE(launcher.calls.empty());
    EXPECT_FALSE(fs::exists(Study("paint.set")));
    EXPECT_EQ(dialog->windowTitle(), kChanged);
}

TEST_F(MainDlg, EstimateSavesPreparesShowsTheReportWithoutCrsAndRunsFromTheWindowsFrame) {
    Open(Study("paint.chs"));
    // The frame, not the client area, is what the estimator is placed by; the offscreen platform
    // gives the window a thin frame of its own.
    dialog->move(200, 120);
    dialog->resize(QSize(675, 440) - (dialog->frameGeometry().size() - dialog->size()));
    ASSERT_EQ(dialog->frameGeometry(), QRect(200, 120, 675, 440));
    ASSERT_NE(dialog->geometry(), dialog->frameGeometry());
    Retype(dialog->DrawSkipField(), "20");
    dialog->EstimateButton()->click();
    EXPECT_TRUE(messenger.Entries().empty());
    EXPECT_EQ(launcher.calls, (std::vector<std::string>{
                                  "prepare " + Study("paint.chs"),
                                  "report Preparing Files For HB Analysis\nData file: " + Study("paint.chs"),
                                  "run kivotra 120 200 560 875",
                              }));
    EXPECT_EQ(launcher.lastLaunch.programPath, temp.Folder() + "kivotra");
    EXPECT_EQ(launcher.lastLaunch.arguments, (std::vector<std::string>{"120", "200", "560", "875"}));
    EXPECT_EQ(launcher.lastLaunch.workingFolder, temp.Folder());
    EXPECT_EQ(dialog->windowTitle(), kClean);
    EXPECT_EQ(ReadFileText(Study("paint.set")), "2000\n1000\n20\n100\n0\n 5.00\n1\n5\n 2.00\n1\n0\n");
}

TEST_F(MainDlg, EstimateStopsAfterAFailedPreparationOrDoNotEstimateNow) {
    Open(Study("paint.chs"));
    launcher.prepareFailure = "No <studyname>.att file is available.";
    dialog->EstimateButton()->click();
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{"No <studyname>.att file is available."});
    EXPECT_EQ(launcher.calls.size(), 1u);

    launcher.prepareFailure.clear();
    launcher.calls.clear();
    launcher.continueEstimation = false;
    dialog->EstimateButton()->click();
    ASSERT_EQ(launcher.calls.size(), 2u);
    EXPECT_EQ(launcher.calls[1].substr(0, 7), "report ");

    launcher.calls.clear();
    launcher.continueEstimation = true;
    launcher.runFailure = "The estimator " + temp.Folder() + "kivotra could not be started.";
    messenger.Clear();
    dialog->EstimateButton()->click();
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{launcher.runFailure});
}

TEST_F(MainDlg, RestartQuestionYesResumesNoStartsAfreshCancelStops) {
    Open(Study("paint.chs"));
    const std::string restart = Study("paint.res");

    WriteFileText(restart, "r");
    messenger.ScriptAnswers({Answer::Cancel});
    dialog->EstimateButton()->click();
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{kRestartQuestion});
    EXPECT_EQ(messenger.Entries()[0].buttons, ButtonSet::YesNoCancel);
    EXPECT_TRUE(launcher.calls.empty());
    EXPECT_TRUE(fs::exists(restart));

    messenger.ScriptAnswers({Answer::Yes});
    dialog->EstimateButton()->click();
    ASSERT_EQ(launcher.calls.size(), 1u);
    EXPECT_EQ(launcher.calls[0].substr(0, 12), "run kivotra ");
    EXPECT_TRUE(fs::exists(restart));

    launcher.calls.clear();
    messenger.ScriptAnswers({Answer::No});
    dialog->EstimateButton()->click();
    EXPECT_FALSE(fs::exists(restart));
    ASSERT_EQ(launcher.calls.size(), 3u);
    EXPECT_EQ(launcher.calls[0], "prepare " + Study("paint.chs"));
    EXPECT_EQ(launcher.calls[1].substr(0, 7), "report ");
    EXPECT_EQ(launcher.calls[2].substr(0, 12), "run kivotra ");
}

TEST_F(MainDlg, RestoreDefaultsRefillsTheFieldsAndKeepsTheChoiceWeight) {
    WriteFileText(Study("cars.set"), "3000\n500\n5\n50\n1\n 7.00\n1\n5\n 2.00\n1\n0\n");
    Open(Study("cars.cho"));
    dialog->RestoreDefaultsButton()->click();
    EXPECT_EQ(dialog->PreliminaryIterationsField()->text(), "2000");
    EXPECT_EQ(dialog->DrawSkipField()->text(), "10");
    EXPECT_FALSE(dialog->SaveDrawsBox()->isChecked());
    EXPECT_EQ(dialog->TotalTaskWeightField()->text(), "1.00");
    EXPECT_EQ(dialog->PathField()->text().toStdString(), Study("cars.cho"));
    EXPECT_EQ(dialog->windowTitle(), kChanged);
}

TEST_F(MainDlg, FocusShowsTheControlsHelpAndControlsWithoutOneKeepTheLast) {
    Open(Study("paint.chs"));
    QApplication::setActiveWindow(dialog.get());
    dialog->EstimateButton()->setFocus();
    EXPECT_EQ(dialog->HelpArea()->toPlainText(), "Estimate parameters for each respondent.");
    dialog->RestoreDefaultsButton()->setFocus();
    EXPECT_EQ(dialog->HelpArea()->toPlainText(), "Estimate parameters for each respondent.");
    dialog->AdvancedSettingsButton()->setFocus();
    EXPECT_EQ(dialog->HelpArea()->toPlainText(), "Modify the advanced settings.");
    dialog->BrowseButton()->setFocus();
    EXPECT_TRUE(dialog->HelpArea()->toPlainText().startsWith("The data file contains the respondent data"));
    dialog->AdvancedSettingsButton()->setFocus();
    dialog->PathField()->setFocus();
    EXPECT_TRUE(dialog->HelpArea()->toPlainText().startsWith("The data file contains the respondent data"));
    dialog->TotalTaskWeightField()->setFocus();
    EXPECT_TRUE(dialog->HelpArea()->toPlainText().startsWith("Respondents use unknown processes"));
    dialog->SaveDrawsBox()->setFocus();
    EXPECT_TRUE(dialog->HelpArea()->toPlainText().contains("computed `on the fly' and are available"));
    dialog->LogSkipField()->setFocus();
    EXPECT_TRUE(dialog->HelpArea()->toPlainText().startsWith("A record of each iteration can be saved"));
    EXPECT_TRUE(dialog->HelpArea()->toPlainText().contains("converged.\n\nHowever"));
}

TEST_F(MainDlg, AdvancedSettingsOkWithAnEditMarksTheTitleAndCancelDoesNot) {
    Open(Study("paint.chs"));
    QTimer::singleShot(0, [] {
        auto* shown = qobject_cast<CAdvSettingsDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(shown, nullptr);
        QTest::keyClicks(shown->RandomSeedField(), "7");
        shown->CancelButton()->click();
    });
    dialog->AdvancedSettingsButton()->click();
    EXPECT_EQ(dialog->windowTitle(), kClean);
    EXPECT_EQ(dialog->Logic().Settings().randomSeed, 0);

    QTimer::singleShot(0, [this] {
        auto* shown = qobject_cast<CAdvSettingsDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->parentWidget(), dialog.get());
        QTest::keyClicks(shown->RandomSeedField(), "7");
        shown->OkButton()->click();
    });
    dialog->AdvancedSettingsButton()->click();
    EXPECT_EQ(dialog->windowTitle(), kChanged);
    EXPECT_EQ(dialog->Logic().Settings().randomSeed, 7);
}

}  // namespace
}  // namespace ombrel
