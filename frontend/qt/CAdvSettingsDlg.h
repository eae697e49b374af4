#pragma once

#include <QDialog>
#include <QPointer>

#include "frontend/AdvancedSettingsLogic.h"
#include "frontend/FrontEndServices.h"
#include "frontend/qt/FocusHelp.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace ombrel {

class NumericEdit;

// "Advanced Settings": the widgets over AdvancedSettingsLogic, which the caller has initialised on
// its copy of the settings. The user's clicks and typing go into the logic; what the logic changes
// itself (dummy coding, Restore defaults) is copied back. OK stays open while the logic refuses the
// values; Cancel, Esc and the close box reject.
class CAdvSettingsDlg : public QDialog {
    Q_OBJECT

public:
    CAdvSettingsDlg(AdvancedSettingsLogic& logic, QWidget* parent = nullptr);

    QCheckBox* SmartStartBox() const { return smartStart_; }
    QLineEdit* PriorDegreesOfFreedomField() const { return priorDegreesOfFreedom_; }
    NumericEdit* PriorVarianceField() const { return priorVariance_; }
    QRadioButton* EffectsCodingButton() const { return effectsCoding_; }
    QRadioButton* DummyCodingButton() const { return dummyCoding_; }
    QLineEdit* RandomSeedField() const { return randomSeed_; }
    QPlainTextEdit* HelpArea() const { return helpArea_; }
    QPushButton* RestoreDefaultsButton() const { return restoreDefaults_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    // OK: reads and validates the fields through the logic; the dialog closes only when they pass.
    void accept() override;

private:
    void BuildLayout();
    void ConnectControls();
    void WatchFocus();
    void CopyFieldsFromLogic();
    // The widget of a text field.
    QLineEdit* SettingField(AdvancedTextField field) const;

    AdvancedSettingsLogic& logic_;
    QCheckBox* smartStart_;
    QLineEdit* priorDegreesOfFreedom_;
    NumericEdit* priorVariance_;
    QRadioButton* effectsCoding_;
    QRadioButton* dummyCoding_;
    QLineEdit* randomSeed_;
    QPlainTextEdit* helpArea_;
    QPushButton* restoreDefaults_;
    QPushButton* ok_;
    QPushButton* cancel_;
    FocusHelp<AdvancedControl>* focusHelp_;
};

// The desktop's AdvancedSettingsDialog: CAdvSettingsDlg run modally over the main window.
class QtAdvancedSettingsDialog : public AdvancedSettingsDialog {
public:
    explicit QtAdvancedSettingsDialog(QWidget* owner = nullptr) : owner_(owner) {}
    bool Run(AdvancedSettingsLogic& logic) override;

private:
    QPointer<QWidget> owner_;
};

}  // namespace ombrel
