// "Estimate Parameters" in the real main window, with the real preparation, report dialog and
// estimator in its console window: a complete run leaves the result files; ESC typed into the console
// leaves a restart file and no results, and the next estimation offers to resume from it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "frontend/qt/CBuildDlg.h"
#include "frontend/qt/CMainDlg.h"
#include "frontend/qt/ResultsWindow.h"
#include "platform/ScriptedMessenger.h"
#include "tests/frontend_qt/EstimationRuns.h"

namespace ombrel {
namespace {

const std::string kRestartQuestion =
    "A restart file is available.  Select 'Yes' if you would like to resume estimation using this data.  "
    "Select 'No' if you want to destroy the restart data and begin estimation.  Select 'Cancel' otherwise.";

// The bundled example study's own input files (a ".cho" study), copied into a settings folder of its
// own with settings for a short run.
struct InputStudy : Study {
    explicit InputStudy(int preliminaryIterations) : Study(preliminaryIterations) {
        for (const char* extension : {".att", ".cho"}) {
            std::filesystem::copy_file(std::string(OMBREL_SOURCE_DIR) + "/examples/coffee/coffee" + extension,
                                       dir.File(std::string("study") + extension));
        }
        std::filesystem::remove(dir.File("qebdat.tmp"));
        std::filesystem::remove(dir.File("qebatt.tmp"));
    }
};

// The results windows open at the moment.
int ResultsWindowCount() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += qobject_cast<ResultsWindow*>(widget) != nullptr && widget->isVisible() ? 1 : 0;
    return count;
}

class UnusedPicker : public FilePicker {
public:
    std::optional<std::string> PickExistingFile(const std::vector<FileFilter>&, const std::string&) override {
        return std::nullopt;
    }
};

// The main window of the program on the study's settings folder, with kivotra from the build.
class MainWindowRun {
public:
    explicit MainWindowRun(const Study& study)
        : window_(FrontEndFolders{kProgramFolder, study.dir.Folder()}, messenger, picker_) {
        window_.show();
        window_.Start();
    }

    // Presses "Estimate Parameters" and answers the report dialog with "Continue with estimation";
    // returns once the estimator has ended. True when the report dialog came up.
    bool Estimate() {
        bool reportShown = false;
        QTimer reportWatcher;
        QObject::connect(&reportWatcher, &QTimer::timeout, [&] {
            if (auto* report = qobject_cast<CBuildDlg*>(QApplication::activeModalWidget())) {
                reportShown = true;
                report->ContinueButton()->click();
            }
        });
        reportWatcher.start(20);
        QTest::mouseClick(window_.EstimateButton(), Qt::LeftButton);
        return reportShown;
    }

    CMainDlg& Window() { return window_; }
    ScriptedMessenger messenger;

private:
    UnusedPicker picker_;
    CMainDlg window_;
};

TEST(MainWindowEstimation, ACompleteRunFromTheMainWindowLeavesTheResultFiles) {
    InputStudy study(20);
    MainWindowRun run(study);
    bool mainWindowBlocked = false;
    ConsoleWatcher watcher([&](ConsoleWindow& console) {
        mainWindowBlocked = !run.Window().isEnabled();
        if (ShowsPressAnyKey(console)) QTest::keyClick(&console, Qt::Key_Space);
    });
    EXPECT_TRUE(run.Estimate());
    EXPECT_FALSE(watcher.TimedOut());
    EXPECT_TRUE(mainWindowBlocked);
    EXPECT_TRUE(run.Window().isEnabled());
    EXPECT_EQ(run.messenger.Texts(), std::vector<std::string>{});
    EXPECT_EQ(run.Window().windowTitle(), "Feldrin Software Ombrel");
    for (const char* extension : {".hbu", ".lay", ".csv", ".std", ".sum", ".alp", ".cov", ".log", ".res"})
        EXPECT_TRUE(study.Exists(extension)) << extension;
    EXPECT_EQ(study.CompletedIterations(), 30);
    // The run ended normally: its results open by themselves.
    EXPECT_EQ(ResultsWindowCount(), 1);
}

TEST(MainWindowEstimation, EscInTheConsoleStopsTheRunAndTheNextEstimationCanResume) {
    InputStudy study(1000000);
    MainWindowRun run(study);
    int escapes = 0;
    ConsoleWatcher watcher([&](ConsoleWindow& console) {
        if (escapes == 0 && ShowsAnIteration(console)) {
            ++escapes;
            QTest::keyClick(&console, Qt::Key_Escape);
        }
        if (ShowsPressAnyKey(console)) QTest::keyClick(&console, Qt::Key_Return);
    });
    EXPECT_TRUE(run.Estimate());
    EXPECT_FALSE(watcher.TimedOut());
    EXPECT_EQ(escapes, 1);
    ASSERT_TRUE(study.Exists(".res"));
    const int stoppedAt = study.CompletedIterations();
    EXPECT_GE(stoppedAt, 1);
    for (const char* extension : {".hbu", ".csv", ".std", ".sum", ".dra"})
        EXPECT_FALSE(study.Exists(extension)) << extension;
    EXPECT_EQ(ResultsWindowCount(), 0) << "a stopped run has no results to show";

    // Resuming skips the preparation and its report; the chain goes on from where it stopped.
    run.messenger.ScriptAnswers({Answer::Yes});
    escapes = 0;
    EXPECT_FALSE(run.Estimate());
    EXPECT_FALSE(watcher.TimedOut());
    ASSERT_EQ(run.messenger.Entries().size(), 1u);
    EXPECT_EQ(run.messenger.Entries()[0].text, kRestartQuestion);
    EXPECT_GT(study.CompletedIterations(), stoppedAt);
    EXPECT_FALSE(study.Exists(".hbu"));
}

}  // namespace
}  // namespace ombrel
