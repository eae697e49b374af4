// The console window running the real estimator on small simulated studies: a complete run ended
// with a key, a run stopped with ESC typed into the window, a run ended by closing the window, keys
// as the program receives them, and a program that cannot be started. Every wait has a generous
// limit after which the console is closed (and the program killed); nothing asserts how long
// anything takes.

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "common/OmbrelError.h"
#include "common/StudySettings.h"
#include "frontend/EstimatorLaunch.h"
#include "frontend/qt/ConsoleWindow.h"
#include "platform/ScriptedMessenger.h"
#include "tests/support/SimulatedStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using Clock = std::chrono::steady_clock;
using test::ReadFileText;
using test::TempDir;

constexpr auto kPatience = std::chrono::seconds(120);
const std::string kProgramFolder = std::string(OMBREL_BINARY_DIR) + "/bin/";
// The main window's rectangle, as the launch passes it on.
const WindowRect kMainRect{200, 120, 875, 560};

// A settings folder holding the names file, the ".set" file and the prepared files of a small
// simulated ".cho" study; the estimator runs in it.
struct Study {
    TempDir dir;
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
    std::string Log() const { return ReadFileText(dir.File("study.log")); }
    // The completed-iteration count of the restart file (its third number).
    int CompletedIterations() const {
        std::istringstream restart(ReadFileText(dir.File("study.res")));
        int respondents = 0, parameters = 0, completed = -1;
        restart >> respondents >> parameters >> completed;
        return completed;
    }
};

ConsoleWindow* FindConsole() {
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

bool ShowsPressAnyKey(const ConsoleWindow& window) {
    return window.Screen().Row(24).find("  Press any key.") != std::string::npos;
}

// The progress screen shows an iteration number.
bool ShowsAnIteration(const ConsoleWindow& window) {
    return window.Screen().Text(6, 0, 9) == "Iteration" && window.Screen().Text(6, 15, 8) != std::string(8, ' ');
}

TEST(ConsoleWindow, ACompleteRunEndsWithAKeyAndLeavesTheResults) {
    Study study(20);
    QWidget mainWindow;
    mainWindow.show();
    bool sawRun = false;
    bool mainWindowDisabled = false;
    std::string secondLaunch;
    std::string title;
    QPoint position;
    QSize size;
    std::string header;
    ConsoleWatcher watcher([&](ConsoleWindow& window) {
        if (!sawRun && window.Screen().Text(0, 0, 19) == "Previous Iterations") {
            sawRun = true;
            mainWindowDisabled = !mainWindow.isEnabled();
            secondLaunch = test::FailureMessage([&] { RunEstimatorInConsole(&mainWindow, study.Launch()); });
        }
        if (ShowsPressAnyKey(window)) {
            title = window.windowTitle().toStdString();
            position = window.pos();
            size = window.size();
            header = window.Screen().Row(0);
            QTest::keyClick(&window, Qt::Key_Space);
        }
    });
    RunEstimatorInConsole(&mainWindow, study.Launch());
    EXPECT_FALSE(watcher.TimedOut());
    EXPECT_EQ(FindConsole(), nullptr);
    EXPECT_TRUE(mainWindow.isEnabled());
    EXPECT_TRUE(sawRun);
    EXPECT_TRUE(mainWindowDisabled);
    EXPECT_EQ(secondLaunch, "The estimator is already running.");

    EXPECT_EQ(title, "Feldrin Software Ombrel - study");
    EXPECT_EQ(header.substr(0, 36), "Previous Iterations                0");
    // The estimator centred its window on the main window, from the pixel size the terminal reported.
    EXPECT_EQ(position.x(), kMainRect.left + ((kMainRect.right - kMainRect.left) - size.width()) / 2);
    EXPECT_EQ(position.y(), kMainRect.top + ((kMainRect.bottom - kMainRect.top) - size.height()) / 2);

    for (const char* extension : {".hbu", ".lay", ".csv", ".std", ".sum", ".res", ".alp", ".cov"})
        EXPECT_TRUE(study.Exists(extension)) << extension;
    EXPECT_EQ(study.CompletedIterations(), 30);
    EXPECT_NE(study.Log().find("\n\nThis session did 30 iterations in "), std::string::npos);
}

TEST(ConsoleWindow, EscTypedIntoTheWindowStopsTheRun) {
    Study study(1000000);
    QWidget mainWindow;
    mainWindow.show();
    bool escapeSent = false;
    ConsoleWatcher watcher([&](ConsoleWindow& window) {
        if (!escapeSent && ShowsAnIteration(window)) {
            escapeSent = true;
            QTest::keyClick(&window, Qt::Key_Escape);
        }
        if (ShowsPressAnyKey(window)) QTest::keyClick(&window, Qt::Key_Return);
    });
    RunEstimatorInConsole(&mainWindow, study.Launch());
    EXPECT_FALSE(watcher.TimedOut());
    EXPECT_TRUE(escapeSent);
    EXPECT_TRUE(mainWindow.isEnabled());
    ASSERT_TRUE(study.Exists(".res"));
    EXPECT_GE(study.CompletedIterations(), 1);
    EXPECT_LT(study.CompletedIterations(), 1000000);
    for (const char* extension : {".hbu", ".csv", ".std", ".sum"}) EXPECT_FALSE(study.Exists(extension)) << extension;
    EXPECT_NE(study.Log().find("\n\nThis session did "), std::string::npos);
}

TEST(ConsoleWindow, ClosingTheWindowHangsUpAndTheRunEndsInItsOwnWay) {
    Study study(1000000);
    QWidget mainWindow;
    mainWindow.show();
    bool closed = false;
    bool visibleAfterClose = false;
    ConsoleWatcher watcher([&](ConsoleWindow& window) {
        if (!closed && ShowsAnIteration(window)) {
            closed = true;
            window.close();
            // It stays until the program has ended.
            visibleAfterClose = window.isVisible();
        }
    });
    RunEstimatorInConsole(&mainWindow, study.Launch());
    EXPECT_FALSE(watcher.TimedOut());
    EXPECT_TRUE(closed);
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_EQ(FindConsole(), nullptr);
    EXPECT_TRUE(mainWindow.isEnabled());
    // No key was needed: a closed console skips the final wait.
    ASSERT_TRUE(study.Exists(".res"));
    EXPECT_GE(study.CompletedIterations(), 1);
    EXPECT_FALSE(study.Exists(".hbu"));
    EXPECT_NE(study.Log().find("\n\nThis session did "), std::string::npos);
}

TEST(ConsoleWindow, KeysReachTheProgramAsATerminalSendsThem) {
    TempDir dir;
    const std::string received = dir.File("keys.txt");
    EstimatorLaunch launch;
    launch.programPath = "/bin/sh";
    // 18 bytes in raw mode, written out as hex; the window closes by itself when the program ends.
    launch.arguments = {"-c", "stty raw -echo; echo ready; head -c 18 | od -An -tx1 -v | tr -s ' \\n' '  ' > keys.txt"};
    launch.workingFolder = dir.Folder();
    bool typed = false;
    ConsoleWatcher watcher([&](ConsoleWindow& window) {
        if (typed || window.Screen().Text(0, 0, 5) != "ready") return;
        typed = true;
        QTest::keyClick(&window, Qt::Key_Escape);
        QTest::keyClick(&window, Qt::Key_Return);
        QTest::keyClick(&window, Qt::Key_Backspace);
        QTest::keyClick(&window, Qt::Key_Tab);
        QTest::keyClick(&window, Qt::Key_Up);
        QTest::keyClick(&window, Qt::Key_F5);
        QTest::keyClick(&window, Qt::Key_A, Qt::ControlModifier);
        // Text beyond ASCII, as a keyboard layout delivers it.
        QKeyEvent accented(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, QString::fromUtf8("\xc3\xa9"));
        QApplication::sendEvent(&window, &accented);
        QTest::keyClick(&window, Qt::Key_Home);
    });
    RunEstimatorInConsole(nullptr, launch);
    EXPECT_FALSE(watcher.TimedOut());
    EXPECT_TRUE(typed);
    EXPECT_EQ(ReadFileText(received), " 1b 0d 7f 09 1b 5b 41 1b 5b 31 35 7e 01 c3 a9 1b 5b 48 ");
}

TEST(ConsoleWindow, AProgramThatCannotStartThrowsAndNothingWaits) {
    TempDir dir;
    QWidget mainWindow;
    mainWindow.show();
    EstimatorLaunch launch = BuildEstimatorLaunch(dir.Folder(), dir.Folder(), kMainRect);
    EXPECT_EQ(test::FailureMessage([&] { RunEstimatorInConsole(&mainWindow, launch); }),
              "The program " + dir.Folder() + "kivotra could not be started (No such file or directory).");
    EXPECT_TRUE(mainWindow.isEnabled());
    EXPECT_EQ(FindConsole(), nullptr);
    // The refusal of a second launch ended with the first: this one fails for its own reason again.
    EXPECT_EQ(test::FailureMessage([&] { RunEstimatorInConsole(&mainWindow, launch); }),
              "The program " + dir.Folder() + "kivotra could not be started (No such file or directory).");
}

}  // namespace
}  // namespace ombrel
