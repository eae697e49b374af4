#pragma once

#include <QDialog>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace ombrel {

// "Preparing Data Files": the preparation's report in a read-only text with a vertical scroll bar.
// "Continue with estimation" (the default) accepts; "Do not estimate now", Esc and the close box
// reject.
class CBuildDlg : public QDialog {
    Q_OBJECT

public:
    CBuildDlg(const std::string& report, QWidget* parent = nullptr);

    QPlainTextEdit* ReportView() const { return reportView_; }
    QPushButton* ContinueButton() const { return continueButton_; }
    QPushButton* StopButton() const { return stopButton_; }

private:
    QPlainTextEdit* reportView_;
    QPushButton* continueButton_;
    QPushButton* stopButton_;
};

}  // namespace ombrel
