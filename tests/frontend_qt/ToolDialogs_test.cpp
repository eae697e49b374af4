#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "frontend/qt/CCho2ChsConverterDlg.h"
#include "frontend/qt/CTieDrawsDlg.h"
#include "frontend/qt/ToolCommands.h"
#include "platform/ScriptedMessenger.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

// Answers open-file dialogs from a script and records what each was asked with.
class ScriptedFilePicker : public FilePicker {
public:
    struct Request {
        std::vector<std::string> descriptions;
        std::string defaultExtension;
    };

    std::optional<std::string> PickExistingFile(const std::vector<FileFilter>& filters,
                                                const std::string& defaultExtension) override {
        Request request{{}, defaultExtension};
        for (const FileFilter& filter : filters) request.descriptions.push_back(filter.description);
        requests.push_back(request);
        if (answers.empty()) return std::nullopt;
        std::optional<std::string> answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<std::optional<std::string>> answers;
    std::vector<Request> requests;
};

// Runs action on the next modal dialog of type Dialog once it is up; a dialog that never comes (or
// another kind) is rejected after a while, so that a failing test ends instead of hanging.
template <typename Dialog>
void WhenModal(std::function<void(Dialog*)> action, bool* ran = nullptr) {
    auto* poll = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, action, ran] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<Dialog*>(modal)) {
            poll->deleteLater();
            poll->stop();
            if (ran) *ran = true;
            action(dialog);
            return;
        }
        if (++*tries > 500) {
            poll->stop();
            poll->deleteLater();
            if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
        }
    });
    poll->start(10);
}

std::vector<std::string> LabelTexts(QWidget& widget) {
    std::vector<std::string> texts;
    for (QLabel* label : widget.findChildren<QLabel*>()) texts.push_back(label->text().toStdString());
    return texts;
}

// A messenger that also notes whether a wait cursor was up when a message came.
class CursorWatchingMessenger : public ScriptedMessenger {
public:
    void Show(const std::string& text, MessageIcon icon) override {
        cursorsAtMessages.push_back(QApplication::overrideCursor() != nullptr);
        ScriptedMessenger::Show(text, icon);
    }
    std::vector<bool> cursorsAtMessages;
};

TEST(ConverterDialog, CarriesTheExactTextsAndButtons) {
    ScriptedFilePicker picker;
    CCho2ChsConverterDlg dialog(picker);
    EXPECT_EQ(dialog.windowTitle(), "Convert .CHO to .CHS");
    EXPECT_EQ(dialog.parentWidget(), nullptr);
    std::vector<std::string> groups;
    for (QGroupBox* group : dialog.findChildren<QGroupBox*>()) groups.push_back(group->title().toStdString());
    EXPECT_EQ(groups, (std::vector<std::string>{"Data File (*.cho)", "Response File (optional)"}));
    EXPECT_EQ(
        LabelTexts(dialog),
        (std::vector<std::string>{
            "Here a CHO (*.cho) file may be specified for conversion to the CHS (*.chs) file format.  The "
            "CHS "
            "file format allows for respondents to allocate \"points\" or \"chips\" to each concept in a "
            "task, "
            "rather than selecting a single choice for each task.",
            "By default, responses in the CHO will be used as responses in the CHS.  However, a response "
            "file "
            "may be supplied containing allocations for each concept.  In this case, responses in the CHO "
            "will "
            "be discarded and replaced with the ones found in the file.",
            "The response file should have one response for each task, delimeted by spaces, tabs, or return "
            "characters."}));
    EXPECT_EQ(dialog.DataBrowseButton()->text(), "Browse...");
    EXPECT_EQ(dialog.ResponseBrowseButton()->text(), "Browse...");
    EXPECT_EQ(dialog.ContinueButton()->text(), "Continue");
    EXPECT_TRUE(dialog.ContinueButton()->isDefault());
    EXPECT_EQ(dialog.CancelButton()->text(), "Cancel");
}

TEST(ConverterDialog, BrowseKeepsTheChosenNameAndContinueTrims) {
    ScriptedFilePicker picker;
    picker.answers = {"/Tmp/Surveys/Coffee.CHO", std::nullopt, "/Tmp/Surveys/Answers.TXT"};
    CCho2ChsConverterDlg dialog(picker);
    QTest::mouseClick(dialog.DataBrowseButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.DataField()->text(), "/Tmp/Surveys/Coffee.CHO");
    // A cancelled choice leaves the field alone.
    QTest::mouseClick(dialog.DataBrowseButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.DataField()->text(), "/Tmp/Surveys/Coffee.CHO");
    QTest::mouseClick(dialog.ResponseBrowseButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.ResponseField()->text(), "/Tmp/Surveys/Answers.TXT");

    ASSERT_EQ(picker.requests.size(), 3u);
    EXPECT_EQ(picker.requests[0].descriptions, std::vector<std::string>{"Ombrel Data Files (*.cho)"});
    EXPECT_EQ(picker.requests[0].defaultExtension, "cho");
    EXPECT_EQ(picker.requests[2].descriptions,
              (std::vector<std::string>{"Text Files (*.txt)", "All Files (*.*)"}));
    EXPECT_EQ(picker.requests[2].defaultExtension, "txt");

    dialog.DataField()->setText("  /x/Study.cho \t");
    dialog.ResponseField()->setText("   ");
    QTest::mouseClick(dialog.ContinueButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.DataPath(), "/x/Study.cho");
    EXPECT_EQ(dialog.ResponsePath(), "");
}

TEST(ConverterCommand, MissingFilesAreNotLocatedAndCancelDoesNothing) {
    TempDir dir;
    ScriptedFilePicker picker;
    CursorWatchingMessenger messenger;

    WhenModal<CCho2ChsConverterDlg>([](CCho2ChsConverterDlg* dialog) { dialog->CancelButton()->click(); });
    RunConverterCommand(messenger, picker);
    EXPECT_TRUE(messenger.Entries().empty());

    const std::string missing = dir.File("missing.cho");
    WhenModal<CCho2ChsConverterDlg>([&](CCho2ChsConverterDlg* dialog) {
        dialog->DataField()->setText(QString::fromStdString("  " + missing + "  "));
        dialog->ContinueButton()->click();
    });
    RunConverterCommand(messenger, picker);
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, "Cannot locate " + missing + ".");
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Exclamation);

    WriteFileText(dir.File("study.cho"), "1 0 1 1 0\n2 1\n1\n2\n2 1\n");
    WhenModal<CCho2ChsConverterDlg>([&](CCho2ChsConverterDlg* dialog) {
        dialog->DataField()->setText(QString::fromStdString(dir.File("study.cho")));
        dialog->ResponseField()->setText(QString::fromStdString(" " + dir.File("none.txt")));
        dialog->ContinueButton()->click();
    });
    RunConverterCommand(messenger, picker);
    ASSERT_EQ(messenger.Entries().size(), 2u);
    EXPECT_EQ(messenger.Entries()[1].text, "Cannot locate " + dir.File("none.txt") + ".");
    EXPECT_FALSE(std::filesystem::exists(dir.File("study.chs")));
    EXPECT_EQ(messenger.cursorsAtMessages, (std::vector<bool>{false, false}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(ConverterCommand, ConvertsATinyStudyThroughTheDialog) {
    TempDir dir;
    // One respondent, one task of two concepts with one attribute, no None; concept 2 chosen.
    WriteFileText(dir.File("Study.CHO"), "1 0 1 1 0\n2 1\n1\n2\n2 1\n");
    ScriptedFilePicker picker;
    picker.answers = {dir.File("Study.CHO")};
    CursorWatchingMessenger messenger;
    WhenModal<CCho2ChsConverterDlg>([](CCho2ChsConverterDlg* dialog) {
        dialog->DataBrowseButton()->click();
        dialog->ContinueButton()->click();
    });
    RunConverterCommand(messenger, picker);
    // The picked file keeps its name (another case would name another file); the output's name is
    // lower-cased.
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, "The conversion completed successfully.");
    EXPECT_EQ(ReadFileText(dir.File("study.chs")), "1 0 1 1 0\n2\n1 0\n2 1\n");

    WriteFileText(dir.File("study.cho"), "1 0 1 1 0\n2 1\n1\n2\n2 1\n");
    WriteFileText(dir.File("answers.txt"), "0 7\n");
    messenger.Clear();
    picker.answers = {dir.File("study.cho"), dir.File("answers.txt")};
    WhenModal<CCho2ChsConverterDlg>([](CCho2ChsConverterDlg* dialog) {
        dialog->DataBrowseButton()->click();
        dialog->ContinueButton()->click();
    });
    RunConverterCommand(messenger, picker);
    EXPECT_EQ(ReadFileText(dir.File("study.chs")), "1 0 1 1 0\n2\n1 0\n2 1\n");
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, "The conversion completed successfully.");
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Information);

    // With the response file its numbers become the points.
    messenger.Clear();
    WhenModal<CCho2ChsConverterDlg>([](CCho2ChsConverterDlg* dialog) {
        dialog->DataBrowseButton()->click();
        dialog->ResponseBrowseButton()->click();
        dialog->ContinueButton()->click();
    });
    picker.answers = {dir.File("study.cho"), dir.File("answers.txt")};
    RunConverterCommand(messenger, picker);
    EXPECT_EQ(ReadFileText(dir.File("study.chs")), "1 0 1 1 0\n2\n1 0\n2 7\n");
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, "The conversion completed successfully.");
    EXPECT_EQ(messenger.cursorsAtMessages, (std::vector<bool>{false, false, false}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Attribute 1: part-worth, 3 levels; attribute 2: linear; None. Two respondents of two draws each.
const std::string kHeader = "2 1 5 1 1\n3 1 \n1 0 \n0 -1 \n1 1 Low\n1 2 Mid\n1 3 High\n2 1 Price\nNONE\n";
const std::string kDraws =
    "    101     654  0 5 -1\n  0.200   0.500  -0.700   0.300   1.000 \n"
    "    101     700  0 5 -1\n  0.600   0.100  -0.700  -0.200   2.000 \n"
    "    102     500  0 5 -1\n  0.100   0.200   0.300  -0.500   0.000 \n"
    "    102     510  0 5 -1\n  0.000   0.0001  0.000   0.000   0.500 \n";

TEST(TieDrawsDialog, FillsCompanionsWhenTheFirstPathLosesTheFocus) {
    ScriptedFilePicker picker;
    CTieDrawsDlg dialog(picker);
    EXPECT_EQ(dialog.windowTitle(), "Tie Draws");
    EXPECT_EQ(dialog.ContinueButton()->text(), "Continue");
    EXPECT_EQ(dialog.CancelButton()->text(), "Cancel");
    EXPECT_EQ(dialog.PartWorthBrowseButton()->text(), "Browse...");
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));

    dialog.PartWorthField()->setFocus();
    QTest::keyClicks(dialog.PartWorthField(), "/s/Study.hbu");
    EXPECT_TRUE(dialog.DrawsField()->text().isEmpty());
    dialog.ConstraintsField()->setFocus();
    EXPECT_EQ(dialog.DrawsField()->text(), "/s/Study.dra");
    EXPECT_EQ(dialog.ConstraintsField()->text(), "/s/Study.con");

    // The field held a path when it got the focus: editing it fills nothing.
    dialog.DrawsField()->clear();
    dialog.ConstraintsField()->clear();
    dialog.PartWorthField()->setFocus();
    QTest::keyClicks(dialog.PartWorthField(), "x");
    dialog.DrawsField()->setFocus();
    EXPECT_TRUE(dialog.DrawsField()->text().isEmpty());
    EXPECT_TRUE(dialog.ConstraintsField()->text().isEmpty());

    // Emptied and typed again: companions come back, but a filled one is kept.
    dialog.ConstraintsField()->setText("/mine.con");
    dialog.PartWorthField()->setFocus();
    dialog.PartWorthField()->clear();
    dialog.DrawsField()->setFocus();
    dialog.PartWorthField()->setFocus();
    QTest::keyClicks(dialog.PartWorthField(), "/s/b.hbu");
    dialog.DrawsField()->setFocus();
    EXPECT_TRUE(dialog.DrawsField()->text().isEmpty());
    EXPECT_EQ(dialog.ConstraintsField()->text(), "/mine.con");
}

TEST(TieDrawsDialog, BrowseFillsTheFieldsAndContinueTrims) {
    ScriptedFilePicker picker;
    picker.answers = {"/S/Coffee.HBU", "/Other/Run.DRA", "/Other/Strict.CON"};
    CTieDrawsDlg dialog(picker);
    QTest::mouseClick(dialog.PartWorthBrowseButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.PartWorthField()->text(), "/S/Coffee.HBU");
    EXPECT_EQ(dialog.DrawsField()->text(), "/S/Coffee.dra");
    EXPECT_EQ(dialog.ConstraintsField()->text(), "/S/Coffee.con");
    QTest::mouseClick(dialog.DrawsBrowseButton(), Qt::LeftButton);
    QTest::mouseClick(dialog.ConstraintsBrowseButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.DrawsField()->text(), "/Other/Run.DRA");
    EXPECT_EQ(dialog.ConstraintsField()->text(), "/Other/Strict.CON");
    ASSERT_EQ(picker.requests.size(), 3u);
    EXPECT_EQ(picker.requests[0].descriptions, std::vector<std::string>{"Ombrel Part Worth Files (*.hbu)"});
    EXPECT_EQ(picker.requests[0].defaultExtension, "hbu");
    EXPECT_EQ(picker.requests[1].descriptions, std::vector<std::string>{"Ombrel Random Draw Files (*.dra)"});
    EXPECT_EQ(picker.requests[1].defaultExtension, "dra");
    EXPECT_EQ(picker.requests[2].descriptions, std::vector<std::string>{"Ombrel Constraints Files (*.con)"});
    EXPECT_EQ(picker.requests[2].defaultExtension, "con");

    dialog.DrawsField()->setText(" /a.dra\t");
    QTest::mouseClick(dialog.ContinueButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Paths().partWorth, "/S/Coffee.HBU");
    EXPECT_EQ(dialog.Paths().draws, "/a.dra");
    EXPECT_EQ(dialog.Paths().constraints, "/Other/Strict.CON");
}

TEST(TieDrawsCommand, CancelDoesNothing) {
    TempDir dir;
    WriteFileText(dir.File("study.hbu"), kHeader);
    ScriptedFilePicker picker;
    picker.answers = {dir.File("study.hbu")};
    ScriptedMessenger messenger;
    WhenModal<CTieDrawsDlg>([](CTieDrawsDlg* dialog) {
        dialog->PartWorthBrowseButton()->click();
        dialog->CancelButton()->click();
    });
    RunTieDrawsCommand(nullptr, messenger, picker);
    EXPECT_TRUE(messenger.Entries().empty());
    EXPECT_FALSE(std::filesystem::exists(dir.File("study_tiedraws.hbu")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("study_tiedraws.csv")));
}

TEST(TieDrawsCommand, TiesATinyStudyAndShowsTheReport) {
    TempDir dir;
    WriteFileText(dir.File("study.hbu"), kHeader + "    101     600  0 5 -1\n  0.1 0.2 0.3 0.4 0.5\n");
    WriteFileText(dir.File("study.dra"), kDraws);
    WriteFileText(dir.File("study.con"), "1 1 2\n2 -1 0\n");
    ScriptedFilePicker picker;
    picker.answers = {dir.File("study.hbu")};
    CursorWatchingMessenger messenger;
    std::string shown;
    bool cursorDuringResults = true;
    bool resultsSeen = false;
    WhenModal<CTieDrawsDlg>([&](CTieDrawsDlg* dialog) {
        dialog->PartWorthBrowseButton()->click();
        WhenModal<CTieDrawsResultsDlg>(
            [&](CTieDrawsResultsDlg* results) {
                EXPECT_EQ(results->windowTitle(), "Results");
                EXPECT_TRUE(results->ReportText()->isReadOnly());
                EXPECT_EQ(results->CloseButton()->text(), "Close");
                shown = results->ReportText()->toPlainText().toStdString();
                cursorDuringResults = QApplication::overrideCursor() != nullptr;
                results->CloseButton()->click();
            },
            &resultsSeen);
        dialog->ContinueButton()->click();
    });
    RunTieDrawsCommand(nullptr, messenger, picker);
    EXPECT_TRUE(messenger.Entries().empty());
    ASSERT_TRUE(resultsSeen);
    EXPECT_FALSE(cursorDuringResults);
    EXPECT_EQ(
        shown,
        "Enforcing constraints by tying draws\n---------------------------------------------\nStudy file: " +
            dir.File("study.hbu") +
            "\n\nThere were 2 draws per respondent.\nThere were 2 respondents processed.\n\n"
            "Order Violations Fixed:\nAtt\tLevel\t\tLevel\t%Violations\n1\t1\t<\t2\t50\n2\tcoef.\t>\t0\t25"
            "\n\nAverage Percent =   37.50\nAverage per Draw =    0.75");
    EXPECT_EQ(ReadFileText(dir.File("study_tiedraws.hbu")),
              kHeader +
                  "101 700 0 5 -1\n  0.475   0.225  -0.700  -0.100   1.500 \n"
                  "102 510 0 5 -1\n  0.075   0.075   0.150  -0.250   0.250 \n");
    EXPECT_EQ(ReadFileText(dir.File("study_tiedraws.csv")),
              "Respondent,RLH,Merged Variables,Parameters,None,Low,Mid,High,Price,NONE\n"
              "101,700,0,5,-1,  0.475,  0.225, -0.700, -0.100,  1.500\n"
              "102,510,0,5,-1,  0.075,  0.075,  0.150, -0.250,  0.250\n");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(TieDrawsCommand, AFailureShowsItsMessageWithoutResults) {
    TempDir dir;
    ScriptedFilePicker picker;
    CursorWatchingMessenger messenger;
    WhenModal<CTieDrawsDlg>([&](CTieDrawsDlg* dialog) {
        dialog->PartWorthField()->setText(QString::fromStdString(" " + dir.File("gone.hbu") + " "));
        dialog->DrawsField()->setText(QString::fromStdString(dir.File("gone.dra")));
        dialog->ConstraintsField()->setText(QString::fromStdString(dir.File("gone.con")));
        dialog->ContinueButton()->click();
    });
    RunTieDrawsCommand(nullptr, messenger, picker);
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, "Cannot open " + dir.File("gone.hbu"));
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(messenger.cursorsAtMessages, std::vector<bool>{false});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace ombrel
