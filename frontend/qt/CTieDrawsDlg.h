#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <string>

#include "frontend/FrontEndServices.h"
#include "frontend/TieDrawsDialogLogic.h"

namespace ombrel {

// "Tie Draws": the part-worth, draws and constraints files, each with "Browse...". The fields fill
// one another by the rules of TieDrawsDialogLogic; "Continue" keeps all three trimmed.
class CTieDrawsDlg : public QDialog {
    Q_OBJECT

public:
    explicit CTieDrawsDlg(FilePicker& filePicker, QWidget* parent = nullptr);

    // The names as "Continue" took them.
    const TieDrawsPaths& Paths() const { return paths_; }

    QLineEdit* PartWorthField() const { return partWorthField_; }
    QLineEdit* DrawsField() const { return drawsField_; }
    QLineEdit* ConstraintsField() const { return constraintsField_; }
    QPushButton* PartWorthBrowseButton() const { return partWorthBrowse_; }
    QPushButton* DrawsBrowseButton() const { return drawsBrowse_; }
    QPushButton* ConstraintsBrowseButton() const { return constraintsBrowse_; }
    QPushButton* ContinueButton() const { return continue_; }
    QPushButton* CancelButton() const { return cancel_; }

    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using PathChosen = void (*)(const std::string& chosen, TieDrawsPaths& paths);

    void BuildLayout();
    void ConnectButtons();
    // A Browse button: the picker on filters, then the logic's rule for the chosen path.
    void ConnectBrowse(QPushButton* button, std::vector<FileFilter> (*filters)(), const char* defaultSuffix,
                       PathChosen chosen);
    TieDrawsPaths FieldPaths() const;
    void ShowPaths(const TieDrawsPaths& paths);

    FilePicker& filePicker_;
    TieDrawsPaths paths_;
    std::string partWorthAtFocusIn_;
    QLineEdit* partWorthField_;
    QLineEdit* drawsField_;
    QLineEdit* constraintsField_;
    QPushButton* partWorthBrowse_;
    QPushButton* drawsBrowse_;
    QPushButton* constraintsBrowse_;
    QPushButton* continue_;
    QPushButton* cancel_;
};

// "Results": the tool's report, read-only and scrolling, and "Close".
class CTieDrawsResultsDlg : public QDialog {
    Q_OBJECT

public:
    // report with LF line ends, as RunTieDraws returns it.
    explicit CTieDrawsResultsDlg(const std::string& report, QWidget* parent = nullptr);

    QPlainTextEdit* ReportText() const { return text_; }
    QPushButton* CloseButton() const { return close_; }

private:
    QPlainTextEdit* text_;
    QPushButton* close_;
};

}  // namespace ombrel
