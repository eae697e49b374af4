#include "frontend/qt/QtEstimatorLauncher.h"

#include <QApplication>
#include <QGuiApplication>

#include "frontend/EstimatorLaunch.h"
#include "frontend/qt/CBuildDlg.h"
#include "frontend/qt/ConsoleWindow.h"
#include "frontend/qt/WaitCursor.h"

namespace ombrel {

namespace {

// Computed in a wider type: a window placed near INT_MAX must not overflow.
int Past(int start, int extent) {
    const long long end = static_cast<long long>(start) + extent;
    return end > 2147483647LL ? 2147483647 : static_cast<int>(end);
}

}  // namespace

WindowRect FrameRect(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    return WindowRect{frame.x(), frame.y(), Past(frame.x(), frame.width()), Past(frame.y(), frame.height())};
}

std::string QtEstimatorLauncher::PrepareStudy(const StudySettings& settings) {
    WaitCursor waiting;
    return RunStudyPreparation(settings);
}

bool QtEstimatorLauncher::ShowReport(const std::string& reportText) {
    CBuildDlg dialog(reportText, mainWindow_.data());
    return dialog.exec() == QDialog::Accepted;
}

WindowRect QtEstimatorLauncher::MainWindowRect() {
    if (mainWindow_.isNull()) return WindowRect{};
    return FrameRect(*mainWindow_);
}

void QtEstimatorLauncher::RunEstimator(const EstimatorLaunch& launch) {
    RunEstimatorInConsole(mainWindow_.data(), launch);
}

}  // namespace ombrel
