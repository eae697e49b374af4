#pragma once

// Real estimator runs for the widget tests: a small simulated study in a settings folder of its own,
// and a watcher that acts on the console window while the estimator runs in it.

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <functional>
#include <string>

#include "frontend/EstimatorLaunch.h"
#include "frontend/qt/ConsoleWindow.h"
#include "tests/support/SimulatedSettingsFolder.h"
#include "tests/support/TestSupport.h"

namespace ombrel {

using Clock = std::chrono::steady_clock;

inline constexpr auto kPatience = std::chrono::seconds(120);
inline const std::string kProgramFolder = std::string(OMBREL_BINARY_DIR) + "/bin/";
// The main window's rectangle, as the launch passes it on.
inline const WindowRect kMainRect{200, 120, 875, 560};

// Twenty simulated respondents in a settings folder of their own; the estimator runs in it.
struct Study : test::SimulatedSettingsFolder {
    explicit Study(int preliminaryIterations)
        : SimulatedSettingsFolder(test::SmallDesign(20, 7), preliminaryIterations, 1) {}
    EstimatorLaunch Launch() const { return BuildEstimatorLaunch(kProgramFolder, dir.Folder(), kMainRect); }
};

inline ConsoleWindow* FindConsole() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == ConsoleWindow::kObjectName && widget->isVisible())
            return qobject_cast<ConsoleWindow*>(widget);
    }
    return nullptr;
}

// Calls step with the console window every few milliseconds while one is up. Past the limit it
// closes the console twice (a hang-up, then a kill), so that a test fails instead of hanging.
class ConsoleWatcher {
public:
    explicit ConsoleWatcher(std::function<void(ConsoleWindow&)> step)
        : step_(std::move(step)), deadline_(Clock::now() + kPatience) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        timer_.start(20);
    }
    bool TimedOut() const { return timedOut_; }

private:
    void Tick() {
        ConsoleWindow* window = FindConsole();
        if (window == nullptr) return;
        if (Clock::now() > deadline_) {
            timedOut_ = true;
            window->close();
            window->close();
            return;
        }
        step_(*window);
    }

    std::function<void(ConsoleWindow&)> step_;
    Clock::time_point deadline_;
    QTimer timer_;
    bool timedOut_ = false;
};

inline bool ShowsPressAnyKey(const ConsoleWindow& window) {
    return window.Screen().Row(24).find("  Press any key.") != std::string::npos;
}

// The progress screen shows an iteration number.
inline bool ShowsAnIteration(const ConsoleWindow& window) {
    return window.Screen().Text(6, 0, 9) == "Iteration" &&
           window.Screen().Text(6, 15, 8) != std::string(8, ' ');
}

}  // namespace ombrel
