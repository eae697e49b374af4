#include "frontend/qt/CCho2ChsConverterDlg.h"

#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "common/StudyFiles.h"
#include "common/TextConversion.h"
#include "frontend/TieDrawsDialogLogic.h"

namespace ombrel {

namespace {

// Field texts are file names in the local encoding, as the file picker returns them.
std::string FieldPath(const QLineEdit* field) { return QFile::encodeName(field->text()).toStdString(); }

void SetFieldPath(QLineEdit* field, const std::string& path) {
    field->setText(QFile::decodeName(QByteArray::fromStdString(path)));
}

QGroupBox* PathGroup(const char* title, QLineEdit* field, QPushButton* browse) {
    auto* group = new QGroupBox(title);
    auto* row = new QHBoxLayout(group);
    row->addWidget(field, 1);
    row->addWidget(browse);
    return group;
}

QLabel* Explanation(const char* text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

}  // namespace

CCho2ChsConverterDlg::CCho2ChsConverterDlg(FilePicker& filePicker, QWidget* parent)
    : QDialog(parent),
      filePicker_(filePicker),
      dataField_(new QLineEdit),
      responseField_(new QLineEdit),
      dataBrowse_(new QPushButton("Browse...")),
      responseBrowse_(new QPushButton("Browse...")),
      continue_(new QPushButton("Continue")),
      cancel_(new QPushButton("Cancel")) {
    setObjectName("cho2ChsConverter");
    setWindowTitle("Convert .CHO to .CHS");
    dataField_->setObjectName("dataFile");
    responseField_->setObjectName("responseFile");
    dataBrowse_->setAutoDefault(false);
    responseBrowse_->setAutoDefault(false);
    cancel_->setAutoDefault(false);
    continue_->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PathGroup("Data File (*.cho)", dataField_, dataBrowse_));
    layout->addWidget(PathGroup("Response File (optional)", responseField_, responseBrowse_));
    layout->addWidget(
        Explanation("Here a CHO (*.cho) file may be specified for conversion to the CHS (*.chs) file format. "
                    " The CHS file "
                    "format allows for respondents to allocate \"points\" or \"chips\" to each concept in a "
                    "task, rather than "
                    "selecting a single choice for each task."));
    layout->addWidget(
        Explanation("By default, responses in the CHO will be used as responses in the CHS.  However, a "
                    "response file may be "
                    "supplied containing allocations for each concept.  In this case, responses in the CHO "
                    "will be discarded "
                    "and replaced with the ones found in the file."));
    layout->addWidget(Explanation(
        "The response file should have one response for each task, delimeted by spaces, tabs, or return "
        "characters."));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(continue_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    setMinimumWidth(480);

    connect(dataBrowse_, &QPushButton::clicked, this, [this] { Browse(dataField_, true); });
    connect(responseBrowse_, &QPushButton::clicked, this, [this] { Browse(responseField_, false); });
    connect(continue_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CCho2ChsConverterDlg::Browse(QLineEdit* field, bool dataFile) {
    const std::optional<std::string> chosen =
        dataFile ? filePicker_.PickExistingFile(ChoDataFileFilters(), kChoiceDataExtension + 1)
                 : filePicker_.PickExistingFile(ResponseFileFilters(), "txt");
    if (chosen) SetFieldPath(field, ChosenPathText(*chosen));
}

void CCho2ChsConverterDlg::accept() {
    dataPath_ = Trim(FieldPath(dataField_));
    responsePath_ = Trim(FieldPath(responseField_));
    QDialog::accept();
}

}  // namespace ombrel
