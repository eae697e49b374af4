#pragma once

// Real estimator runs for the widget tests: a small simulated study in a settings folder of its own,
// and a watcher that acts on the console window while the estimator runs in it.

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>

#include "common/StudySettings.h"
#include "frontend/EstimatorLaunch.h"
#include "frontend/qt/ConsoleWindow.h"
#include "platform/ScriptedMessenger.h"
#include "tests/support/SimulatedStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {

using Clock = std::chrono::steady_clock;

inline constexpr auto kPatience = std::chrono::seconds(120);
inline const std::string kProgramFolder = std::string(OMBREL_BINARY_DIR) + "/bin/";
// The main window's rectangle, as the launch passes it on.
inline const WindowRect kMainRect{200, 120, 875, 560};

// A settings folder holding the names file, the ".set" file and the prepared files of a small
// simulated ".cho" study; the estimator runs in it.
struct Study {
    test::TempDir dir;
    StudySettings settings;

    explicit Study(int preliminaryIterations) {
        test::SimulationSpec spec;
        spec.respondents = 20;
        spec.tasks = 6;
        spec.concepts = 3;
        spec.levels = {3, 2};
        spec.seed = 7;
        test::WriteSimulatedStudy(dir.Folder(), spec);
        settings.namesFolder = dir.Folder();
        settings.dataFileName = dir.File("study.cho");
        settings.randomSeed = 5;
        settings.preliminaryIterations = preliminaryIterations;
        settings.drawsPerRespondent = 10;
        settings.drawSkip = 1;
        settings.logSkip = 10;
        ScriptedMessenger messenger;
        EXPECT_TRUE(settings.SaveSettings(messenger));
    }
    EstimatorLaunch Launch() const { return BuildEstimatorLaunch(kProgramFolder, dir.Folder(), kMainRect); }
    bool Exists(const std::string& extension) const { return std::filesystem::exists(dir.File("study" + extension)); }
    std::string Log() const { return test::ReadFileText(dir.File("study.log")); }
    // The completed-iteration count of the restart file (its third number).
    int CompletedIterations() const {
        std::istringstream restart(test::ReadFileText(dir.File("study.res")));
        int respondents = 0, parameters = 0, completed = -1;
        restart >> respondents >> parameters >> completed;
        return completed;
    }
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
    return window.Screen().Text(6, 0, 9) == "Iteration" && window.Screen().Text(6, 15, 8) != std::string(8, ' ');
}

}  // namespace ombrel
