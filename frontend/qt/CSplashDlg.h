#pragma once

#include <string>

#include <QPointer>
#include <QWidget>

namespace ombrel {

// The splash window shown at start-up, over the main window, for five seconds.
class CSplashDlg : public QWidget {
public:
    CSplashDlg(const std::string& shortVersion, QWidget* mainWindow);
    ~CSplashDlg() override;
};

}  // namespace ombrel
