#pragma once

#include <QDialog>
#include <memory>

#include "common/Messenger.h"
#include "frontend/FrontEndServices.h"
#include "frontend/MainWindowLogic.h"
#include "frontend/qt/FocusHelp.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;

namespace ombrel {

class NumericEdit;

// The program's only top-level window: the widgets over MainWindowLogic. The user's typing and
// clicks go into the logic; when the logic changes the fields or the title itself it says so through
// MainWindowView and the widgets copy them back without reporting them again. Esc, the close box and
// File > Exit all run the logic's Exit, which may keep the window open.
class CMainDlg : public QDialog, public MainWindowView {
    Q_OBJECT

public:
    // launcher and advancedDialog replace the desktop's (QtEstimatorLauncher, QtAdvancedSettingsDialog)
    // when given, as tests do; everything passed in must outlive the window.
    CMainDlg(const FrontEndFolders& folders, Messenger& messenger, FilePicker& filePicker,
             EstimatorLauncher* launcher = nullptr, AdvancedSettingsDialog* advancedDialog = nullptr,
             QWidget* parent = nullptr);
    ~CMainDlg() override;

    // Loads the settings through the names file and fills the fields (start-up).
    void Start();

    const MainWindowLogic& Logic() const { return logic_; }

    QMenuBar* MenuBar() const { return menuBar_; }
    QLineEdit* PathField() const { return path_; }
    QPushButton* BrowseButton() const { return browse_; }
    QLineEdit* PreliminaryIterationsField() const { return preliminaryIterations_; }
    QLineEdit* DrawsPerRespondentField() const { return drawsPerRespondent_; }
    QLineEdit* DrawSkipField() const { return drawSkip_; }
    QLineEdit* LogSkipField() const { return logSkip_; }
    QCheckBox* SaveDrawsBox() const { return saveDraws_; }
    QLabel* TotalTaskWeightLabel() const { return totalTaskWeightLabel_; }
    NumericEdit* TotalTaskWeightField() const { return totalTaskWeight_; }
    QPushButton* AdvancedSettingsButton() const { return advancedSettings_; }
    QPushButton* EstimateButton() const { return estimate_; }
    QPushButton* RestoreDefaultsButton() const { return restoreDefaults_; }
    QPlainTextEdit* HelpArea() const { return helpArea_; }

    void FieldsChanged() override;
    void TitleChanged(const std::string& title) override;
    // Opens the results window of the study just estimated.
    void EstimationCompleted(const std::string& dataFile) override;
    // File > View Results...: the results window of the study in the path field.
    void ViewResults();
    QAction* ViewResultsAction() const { return viewResults_; }

    // Esc: Exit, which asks to save when something changed.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    // The groups, fields and buttons in their places (from the constructor, once).
    void BuildLayout();
    // Edits, clicks and buttons go to the window logic.
    void ConnectControls();
    // Focus on a control shows its help.
    void WatchFocus();
    void ReportEdits(QLineEdit* field, MainTextField which);
    // The widget of a text field.
    QLineEdit* SettingField(MainTextField field) const;

    Messenger& messenger_;
    FilePicker& filePicker_;
    std::unique_ptr<EstimatorLauncher> ownLauncher_;
    std::unique_ptr<AdvancedSettingsDialog> ownAdvancedDialog_;
    MainWindowLogic logic_;

    QMenuBar* menuBar_;
    QAction* viewResults_ = nullptr;
    QLineEdit* path_;
    QPushButton* browse_;
    QLineEdit* preliminaryIterations_;
    QLineEdit* drawsPerRespondent_;
    QLineEdit* drawSkip_;
    QLineEdit* logSkip_;
    QCheckBox* saveDraws_;
    QLabel* totalTaskWeightLabel_;
    NumericEdit* totalTaskWeight_;
    QPushButton* advancedSettings_;
    QPushButton* estimate_;
    QPushButton* restoreDefaults_;
    QPlainTextEdit* helpArea_;
    FocusHelp<MainControl>* focusHelp_;
};

}  // namespace ombrel
