// Placeholder until the help commands, splash window and tool dialogs land (their author deletes
// this file).
#include "frontend/qt/CSplashDlg.h"
#include "frontend/qt/HelpCommands.h"
#include "frontend/qt/ToolCommands.h"

namespace ombrel {
void OpenProductManual(QWidget*, Messenger&, const std::string&) {}
void OpenWebSite() {}
void OpenSupportMail() {}
void CheckForNewerVersion() {}
void ShowAboutBox(QWidget*) {}
void InstallF1Help(QApplication&, Messenger&, const std::string&) {}
void RunConverterCommand(Messenger&, FilePicker&) {}
void RunTieDrawsCommand(QWidget*, Messenger&, FilePicker&) {}
CSplashDlg::CSplashDlg(const std::string&, QWidget* mainWindow) : QWidget(mainWindow) {}
CSplashDlg::~CSplashDlg() = default;
}  // namespace ombrel
