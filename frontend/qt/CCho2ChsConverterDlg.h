#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <string>

#include "frontend/FrontEndServices.h"

namespace ombrel {

// "Convert .CHO to .CHS": the data file and the optional response file, each with "Browse...".
// "Continue" keeps both names trimmed; the conversion itself is the caller's (RunConverterCommand).
class CCho2ChsConverterDlg : public QDialog {
    Q_OBJECT

public:
    explicit CCho2ChsConverterDlg(FilePicker& filePicker, QWidget* parent = nullptr);

    // The names as "Continue" took them.
    const std::string& DataPath() const { return dataPath_; }
    const std::string& ResponsePath() const { return responsePath_; }

    QLineEdit* DataField() const { return dataField_; }
    QLineEdit* ResponseField() const { return responseField_; }
    QPushButton* DataBrowseButton() const { return dataBrowse_; }
    QPushButton* ResponseBrowseButton() const { return responseBrowse_; }
    QPushButton* ContinueButton() const { return continue_; }
    QPushButton* CancelButton() const { return cancel_; }

    void accept() override;

private:
    void Browse(QLineEdit* field, bool dataFile);

    FilePicker& filePicker_;
    std::string dataPath_;
    std::string responsePath_;
    QLineEdit* dataField_;
    QLineEdit* responseField_;
    QPushButton* dataBrowse_;
    QPushButton* responseBrowse_;
    QPushButton* continue_;
    QPushButton* cancel_;
};

}  // namespace ombrel
