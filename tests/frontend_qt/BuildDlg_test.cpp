#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "common/OmbrelError.h"
#include "frontend/qt/CBuildDlg.h"
#include "frontend/qt/QtEstimatorLauncher.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

// Runs action on the modal CBuildDlg once it is up.
void OnReportDialog(std::function<void(CBuildDlg&)> action) {
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<CBuildDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        action(*dialog);
    });
}

TEST(BuildDlg, ShowsTheReportWithoutCarriageReturnsReadOnlyAndScrolling) {
    CBuildDlg dialog("Preparing Files For HB Analysis\r\nData file: /s/x.cho\r\n\r\nEnd\r", nullptr);
    EXPECT_EQ(dialog.windowTitle(), "Preparing Data Files");
    EXPECT_EQ(dialog.ReportView()->toPlainText(),
              "Preparing Files For HB Analysis\nData file: /s/x.cho\n\nEnd");
    EXPECT_EQ(dialog.ReportView()->document()->blockCount(), 4);
    EXPECT_TRUE(dialog.ReportView()->isReadOnly());
    EXPECT_EQ(dialog.ReportView()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(dialog.ContinueButton()->text(), "Continue with estimation");
    EXPECT_EQ(dialog.StopButton()->text(), "Do not estimate now");
    EXPECT_TRUE(dialog.ContinueButton()->isDefault());
    EXPECT_FALSE(dialog.StopButton()->isDefault());
}

TEST(BuildDlg, ContinueAcceptsWhileStopEscAndTheCloseBoxReject) {
    {
        CBuildDlg dialog("r");
        OnReportDialog([](CBuildDlg& shown) { shown.ContinueButton()->click(); });
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    }
    {
        CBuildDlg dialog("r");
        OnReportDialog([](CBuildDlg& shown) { QTest::keyClick(shown.ReportView(), Qt::Key_Return); });
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    }
    {
        CBuildDlg dialog("r");
        OnReportDialog([](CBuildDlg& shown) { shown.StopButton()->click(); });
        EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    }
    {
        CBuildDlg dialog("r");
        OnReportDialog([](CBuildDlg& shown) { QTest::keyClick(shown.ReportView(), Qt::Key_Escape); });
        EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    }
    {
        CBuildDlg dialog("r");
        OnReportDialog([](CBuildDlg& shown) { shown.close(); });
        EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    }
}

TEST(QtEstimatorLauncher, ShowReportAnswersTheDialogsButtons) {
    QWidget window;
    QtEstimatorLauncher launcher(&window);
    OnReportDialog([&window](CBuildDlg& shown) {
        EXPECT_EQ(shown.ReportView()->toPlainText(), "a\nb");
        EXPECT_EQ(shown.parentWidget(), &window);
        shown.ContinueButton()->click();
    });
    EXPECT_TRUE(launcher.ShowReport("a\nb"));
    OnReportDialog([](CBuildDlg& shown) { shown.StopButton()->click(); });
    EXPECT_FALSE(launcher.ShowReport("a\nb"));
}

TEST(QtEstimatorLauncher, FailedPreparationThrowsItsMessageAndTakesTheWaitCursorAway) {
    test::TempDir temp;
    StudySettings settings;
    settings.dataFileName = temp.File("study.chs");
    QtEstimatorLauncher launcher(nullptr);
    EXPECT_EQ(test::FailureMessage([&] { launcher.PrepareStudy(settings); }),
              "No <studyname>.att file is available.");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(QtEstimatorLauncher, RectangleIsTheFrameWithRightAndBottomJustPastIt) {
    QWidget window;
    window.move(200, 120);
    window.resize(675, 440);
    window.show();
    const QRect frame = window.frameGeometry();
    const WindowRect rect = FrameRect(window);
    EXPECT_EQ(rect.left, frame.x());
    EXPECT_EQ(rect.top, frame.y());
    EXPECT_EQ(rect.right, frame.x() + frame.width());
    EXPECT_EQ(rect.bottom, frame.y() + frame.height());
    QtEstimatorLauncher launcher(&window);
    const WindowRect viaLauncher = launcher.MainWindowRect();
    EXPECT_EQ(viaLauncher.right, rect.right);
    EXPECT_EQ(viaLauncher.bottom, rect.bottom);
    // Without a window (it has gone away) the rectangle is empty rather than a dangling read.
    EXPECT_EQ(QtEstimatorLauncher(nullptr).MainWindowRect().right, 0);
}

}  // namespace
}  // namespace ombrel
