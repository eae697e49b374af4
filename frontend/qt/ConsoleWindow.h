#pragma once

#include <QFont>
#include <QString>
#include <QWidget>
#include <memory>

#include "frontend/ConsoleScreen.h"
#include "frontend/FrontEndServices.h"

class QSocketNotifier;
class QTimer;

namespace ombrel {

class PseudoTerminal;

// Runs the estimator in a console window of its own, an 80 x 25 terminal over a pseudo-terminal,
// and returns when the estimator has ended; the main window takes no input meanwhile. Throws
// OmbrelError naming the program when it cannot be started (then nothing is waited for).
void RunEstimatorInConsole(QWidget* mainWindow, const EstimatorLaunch& launch);

// The estimator's console window: a top-level widget (object name "ombrelConsole") that draws the
// ConsoleScreen of the program's output and types the keys pressed in it into the program.
//
// Closing it hangs the terminal up (the estimator's close event: it stops after the iteration and
// writes its restart file); the window stays until the program has ended and then closes by itself,
// as it does when the program ends on its own. Closing it again while the program still runs kills
// the program.
class ConsoleWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kObjectName = "ombrelConsole";

    // Starts launch.programPath with launch.arguments in launch.workingFolder on a terminal that
    // reports this window's size in pixels. Throws OmbrelError when the program cannot be started.
    explicit ConsoleWindow(const EstimatorLaunch& launch, QWidget* parent = nullptr);
    ~ConsoleWindow() override;

    const ConsoleScreen& Screen() const { return screen_; }
    // The program has ended (and was reaped).
    bool ProgramEnded() const { return programEnded_; }

signals:
    // The program has ended and the window is closed.
    void Finished();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Tab and Backtab go to the program, not to focus changes.
    bool focusNextPrevChild(bool next) override;

private:
    void ReadOutput();
    void CheckExit();
    void StopReading();
    void ApplyScreenRequests();

    ConsoleScreen screen_;
    std::unique_ptr<PseudoTerminal> terminal_;
    QSocketNotifier* outputNotifier_ = nullptr;
    QTimer* exitTimer_ = nullptr;
    QFont font_;
    int cellWidth_ = 0;
    int cellHeight_ = 0;
    int ascent_ = 0;
    QString shownTitle_;
    bool programEnded_ = false;
};

}  // namespace ombrel
