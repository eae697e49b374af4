#include "frontend/qt/CTieDrawsDlg.h"

#include <QEvent>
#include <QFile>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "tools/TieDraws.h"

namespace ombrel {

namespace {

std::string FieldPath(const QLineEdit* field) { return QFile::encodeName(field->text()).toStdString(); }

void SetFieldPath(QLineEdit* field, const std::string& path) {
    const QString text = QFile::decodeName(QByteArray::fromStdString(path));
    if (field->text() != text) field->setText(text);
}

QLabel* Explanation(const char* text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

}  // namespace

CTieDrawsDlg::CTieDrawsDlg(FilePicker& filePicker, QWidget* parent)
    : QDialog(parent),
      filePicker_(filePicker),
      partWorthField_(new QLineEdit),
      drawsField_(new QLineEdit),
      constraintsField_(new QLineEdit),
      partWorthBrowse_(new QPushButton("Browse...")),
      drawsBrowse_(new QPushButton("Browse...")),
      constraintsBrowse_(new QPushButton("Browse...")),
      continue_(new QPushButton("Continue")),
      cancel_(new QPushButton("Cancel")) {
    setObjectName("tieDraws");
    setWindowTitle("Tie Draws");
    partWorthField_->setObjectName("partWorthFile");
    drawsField_->setObjectName("drawsFile");
    constraintsField_->setObjectName("constraintsFile");
    for (QPushButton* button : {partWorthBrowse_, drawsBrowse_, constraintsBrowse_, cancel_}) {
        button->setAutoDefault(false);
    }
    continue_->setDefault(true);
    BuildLayout();
    ConnectButtons();
}

void CTieDrawsDlg::BuildLayout() {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Explanation(
        "Tie Draws enforces utility constraints after an unconstrained estimation that saved its random "
        "draws. "
        "In every draw, levels that violate a constraint are tied to their mean (a coefficient of the wrong "
        "sign becomes 0); the tied draws of each respondent are averaged."));
    auto* grid = new QGridLayout;
    const struct {
        const char* label;
        QLineEdit* field;
        QPushButton* browse;
    } rows[] = {{"Part-worth file (*.hbu):", partWorthField_, partWorthBrowse_},
                {"Random draws file (*.dra):", drawsField_, drawsBrowse_},
                {"Constraints file (*.con):", constraintsField_, constraintsBrowse_}};
    int row = 0;
    for (const auto& entry : rows) {
        grid->addWidget(new QLabel(entry.label), row, 0);
        grid->addWidget(entry.field, row, 1);
        grid->addWidget(entry.browse, row, 2);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    layout->addWidget(Explanation(
        "The results are written beside the part-worth file, with \"_tiedraws\" before its extension: a new "
        "part-worth file (.hbu) and its spreadsheet (.csv). Only models with main effects can be tied."));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(continue_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    setMinimumWidth(520);
}

void CTieDrawsDlg::ConnectButtons() {
    partWorthField_->installEventFilter(this);
    ConnectBrowse(partWorthBrowse_, PartWorthFileFilters, "hbu", PartWorthChosen);
    ConnectBrowse(drawsBrowse_, DrawsFileFilters, "dra", DrawsChosen);
    ConnectBrowse(constraintsBrowse_, ConstraintsFileFilters, "con", ConstraintsChosen);
    connect(continue_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CTieDrawsDlg::ConnectBrowse(QPushButton* button, std::vector<FileFilter> (*filters)(),
                                 const char* defaultSuffix, PathChosen chosen) {
    connect(button, &QPushButton::clicked, this, [this, filters, defaultSuffix, chosen] {
        const std::optional<std::string> picked = filePicker_.PickExistingFile(filters(), defaultSuffix);
        if (!picked) return;
        TieDrawsPaths paths = FieldPaths();
        chosen(*picked, paths);
        ShowPaths(paths);
    });
}

TieDrawsPaths CTieDrawsDlg::FieldPaths() const {
    return {FieldPath(partWorthField_), FieldPath(drawsField_), FieldPath(constraintsField_)};
}

void CTieDrawsDlg::ShowPaths(const TieDrawsPaths& paths) {
    SetFieldPath(partWorthField_, paths.partWorth);
    SetFieldPath(drawsField_, paths.draws);
    SetFieldPath(constraintsField_, paths.constraints);
}

bool CTieDrawsDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == partWorthField_) {
        if (event->type() == QEvent::FocusIn) {
            partWorthAtFocusIn_ = FieldPath(partWorthField_);
        } else if (event->type() == QEvent::FocusOut) {
            TieDrawsPaths paths = FieldPaths();
            PartWorthFocusLost(partWorthAtFocusIn_, paths);
            ShowPaths(paths);
            partWorthAtFocusIn_ = paths.partWorth;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CTieDrawsDlg::accept() {
    paths_ = ContinuedPaths(FieldPaths());
    QDialog::accept();
}

CTieDrawsResultsDlg::CTieDrawsResultsDlg(const std::string& report, QWidget* parent)
    : QDialog(parent), text_(new QPlainTextEdit), close_(new QPushButton("Close")) {
    setObjectName("tieDrawsResults");
    setWindowTitle("Results");
    text_->setObjectName("report");
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The report lines its columns up with tabs.
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setPlainText(QString::fromStdString(ReportForDialog(report)));
    close_->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close_);
    layout->addLayout(buttons);
    resize(520, 420);

    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace ombrel
