// The console window running the real estimator on small simulated studies: a complete run ended
// with a key, a run stopped with ESC typed into the window, a run ended by closing the window, keys
// as the program receives them, and a program that cannot be started. Every wait has a generous
// limit after which the console is closed (and the program killed); nothing asserts how long
// anything takes.

#include "frontend/qt/ConsoleWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>

#include "common/OmbrelError.h"
#include "common/StudySettings.h"
#include "frontend/EstimatorLaunch.h"
#include "platform/ScriptedMessenger.h"
#include "tests/frontend_qt/EstimationRuns.h"
#include "tests/support/SimulatedStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::ReadFileText;
using test::TempDir;

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
    for (const char* extension : {".hbu", ".csv", ".std", ".sum"})
        EXPECT_FALSE(study.Exists(extension)) << extension;
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
    launch.arguments = {
        "-c", "stty raw -echo; echo ready; head -c 18 | od -An -tx1 -v | tr -s ' \\n' '  ' > keys.txt"};
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
