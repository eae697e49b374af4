#pragma once

#include <QPointer>
#include <QWidget>

#include "frontend/FrontEndServices.h"

namespace ombrel {

// The desktop's launcher: the preparation under a wait cursor, the report in CBuildDlg, the main
// window's frame as the estimator's rectangle, and the estimator in a console window of its own.
class QtEstimatorLauncher : public EstimatorLauncher {
public:
    explicit QtEstimatorLauncher(QWidget* mainWindow) : mainWindow_(mainWindow) {}

    // The window that owns the report and the console, and whose frame the estimator is placed by.
    void SetMainWindow(QWidget* mainWindow) { mainWindow_ = mainWindow; }

    std::string PrepareStudy(const StudySettings& settings) override;
    bool ShowReport(const std::string& reportText) override;
    WindowRect MainWindowRect() override;
    void RunEstimator(const EstimatorLaunch& launch) override;

private:
    QPointer<QWidget> mainWindow_;
};

// A window's frame in screen coordinates as the estimator's command line takes it: right and bottom
// lie just past the frame (x + width, y + height).
WindowRect FrameRect(const QWidget& window);

}  // namespace ombrel
