// Lumaro, the desktop front end: the main window over the settings folder's names file.
#include <unistd.h>

#include <QApplication>
#include <QPointer>
#include <clocale>
#include <exception>
#include <optional>
#include <string>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "frontend/ProductInfo.h"
#include "frontend/qt/CMainDlg.h"
#include "frontend/qt/CSplashDlg.h"
#include "frontend/qt/HelpCommands.h"
#include "frontend/qt/ProgramIcon.h"
#include "frontend/qt/QtFilePicker.h"
#include "platform/Folders.h"
#include "platform/qt/QtMessenger.h"

namespace {

// The open-file dialog owned by the main window, which exists only after the picker is handed to it.
class MainWindowFilePicker : public ombrel::FilePicker {
public:
    void SetOwner(QWidget* owner) { owner_ = owner; }
    std::optional<std::string> PickExistingFile(const std::vector<ombrel::FileFilter>& filters,
                                                const std::string& defaultExtension) override {
        return ombrel::QtFilePicker(owner_.data()).PickExistingFile(filters, defaultExtension);
    }
    std::optional<std::string> PickSaveFile(const std::vector<ombrel::FileFilter>& filters,
                                            const std::string& defaultExtension,
                                            const std::string& suggestedPath) override {
        return ombrel::QtFilePicker(owner_.data()).PickSaveFile(filters, defaultExtension, suggestedPath);
    }

private:
    QPointer<QWidget> owner_;
};

// The program and settings folders; the settings folder becomes the current directory, where the
// names file is looked for. Throws OmbrelError when there is none to use.
ombrel::FrontEndFolders FindFolders() {
    ombrel::FrontEndFolders folders;
    folders.programFolder = ombrel::ProgramFolder();
    folders.settingsFolder = ombrel::SettingsFolder();
    if (chdir(folders.settingsFolder.c_str()) != 0) {
        throw ombrel::OmbrelError(
            ombrel::Format("The settings folder %s could not be made the current directory.",
                           folders.settingsFolder.c_str()));
    }
    return folders;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The settings files are written and read with "." as the decimal separator.
    std::setlocale(LC_NUMERIC, "C");
    application.setWindowIcon(ombrel::ProgramIcon());

    ombrel::QtMessenger messenger;
    ombrel::FrontEndFolders folders;
    try {
        folders = FindFolders();
    } catch (const std::exception& failure) {
        messenger.Show(failure.what(), ombrel::MessageIcon::Exclamation);
        return 1;
    }

    MainWindowFilePicker filePicker;
    ombrel::CMainDlg mainWindow(folders, messenger, filePicker);
    messenger.SetOwner(&mainWindow);
    filePicker.SetOwner(&mainWindow);
    // The splash goes up over the window before the settings are loaded; it is owned by the main
    // window, which destroys it when it is itself destroyed.
    mainWindow.show();
    new ombrel::CSplashDlg(ombrel::ShortVersion(), &mainWindow);
    ombrel::InstallF1Help(application, messenger, folders.programFolder);
    mainWindow.Start();
    mainWindow.exec();
    return 0;
}
