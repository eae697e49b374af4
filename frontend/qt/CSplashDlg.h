#pragma once

#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <string>

namespace ombrel {

// The splash window shown at start-up, over the main window, for five seconds: a frameless pop-up
// centred in the screen's work area, shown at once. After 100 ms the splash version (the short
// version cut at its last ".") appears in white in the picture's version rectangle; after 5000 ms
// the window closes. The main window stays usable meanwhile and its enabled state is never
// touched, so a window that something else disabled is not enabled behind its back. The object
// itself lives on, hidden, until its parent (the main window) destroys it; destroying it earlier
// closes the window at once.
class CSplashDlg : public QWidget {
    Q_OBJECT

public:
    CSplashDlg(const std::string& shortVersion, QWidget* mainWindow);
    ~CSplashDlg() override;

    // What the window writes after 100 ms ("3.2" for the short version "3.2.1").
    const std::string& SplashVersionText() const { return splashVersion_; }
    bool VersionShown() const { return versionShown_; }
    bool Finished() const { return finished_; }

    // The two timers' handlers; public so that tests need not wait.
    void ShowVersion();  // timer 2, 100 ms
    void Finish();       // timer 1, 5000 ms

    static constexpr int kVersionDelayMs = 100;
    static constexpr int kLifetimeMs = 5000;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string splashVersion_;
    QPixmap picture_;
    // Children by name for tests; as members they are gone before QObject looks at its children.
    QTimer lifetimeTimer_;  // timer 1
    QTimer versionTimer_;   // timer 2
    bool versionShown_ = false;
    bool finished_ = false;
};

}  // namespace ombrel
