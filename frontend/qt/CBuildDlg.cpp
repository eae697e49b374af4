#include "frontend/qt/CBuildDlg.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "frontend/EstimatorLaunch.h"

namespace ombrel {

CBuildDlg::CBuildDlg(const std::string& report, QWidget* parent)
    : QDialog(parent),
      reportView_(new QPlainTextEdit(this)),
      continueButton_(new QPushButton(QStringLiteral("Continue with estimation"), this)),
      stopButton_(new QPushButton(QStringLiteral("Do not estimate now"), this)) {
    setWindowTitle(QStringLiteral("Preparing Data Files"));
    setModal(true);

    reportView_->setReadOnly(true);
    reportView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The report lines up its tables with blanks.
    reportView_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Each LF is one line break of the text; a CR from a CR LF report would show as a stray glyph.
    reportView_->setPlainText(QString::fromStdString(ReportDisplayText(report)));

    continueButton_->setDefault(true);
    stopButton_->setAutoDefault(false);
    connect(continueButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(stopButton_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(continueButton_);
    buttons->addWidget(stopButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(reportView_);
    layout->addLayout(buttons);
    resize(560, 420);
    continueButton_->setFocus();
}

}  // namespace ombrel
