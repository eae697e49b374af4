#include "frontend/qt/CAdvSettingsDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "common/SettingsSchema.h"
#include "frontend/qt/FieldWidgets.h"
#include "frontend/qt/NumericEditWidget.h"

namespace ombrel {

CAdvSettingsDlg::CAdvSettingsDlg(AdvancedSettingsLogic& logic, QWidget* parent)
    : QDialog(parent),
      logic_(logic),
      smartStart_(new QCheckBox(QStringLiteral("Use 'smart' starting betas"), this)),
      priorDegreesOfFreedom_(DigitsField(this)),
      priorVariance_(new NumericEdit(this)),
      effectsCoding_(new QRadioButton(QString::fromUtf8(Setting(SettingId::EffectsCoding).label), this)),
      dummyCoding_(new QRadioButton(QString::fromUtf8(Setting(SettingId::EffectsCoding).offHelp), this)),
      randomSeed_(DigitsField(this)),
      helpArea_(new QPlainTextEdit(this)),
      restoreDefaults_(new QPushButton(QStringLiteral("Restore defaults"), this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)),
      focusHelp_(new FocusHelp<AdvancedControl>(
          helpArea_,
          [this](AdvancedControl control) {
              logic_.Focus(control);
              return logic_.HelpText();
          },
          this)) {
    setWindowTitle(QStringLiteral("Advanced Settings"));
    setModal(true);
    BuildLayout();
    CopyFieldsFromLogic();
    ConnectControls();
    WatchFocus();
}

void CAdvSettingsDlg::BuildLayout() {
    // Check box and radio buttons carry their labels at their left.
    smartStart_->setLayoutDirection(Qt::RightToLeft);
    effectsCoding_->setLayoutDirection(Qt::RightToLeft);
    dummyCoding_->setLayoutDirection(Qt::RightToLeft);
    auto* coding = new QButtonGroup(this);
    coding->addButton(effectsCoding_);
    coding->addButton(dummyCoding_);
    priorVariance_->setAlignment(Qt::AlignRight);

    helpArea_->setReadOnly(true);
    helpArea_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    helpArea_->setFocusPolicy(Qt::ClickFocus);

    auto* fields = new QGridLayout;
    int row = 0;
    fields->addWidget(smartStart_, row++, 0, 1, 2, Qt::AlignLeft);
    auto addRow = [&](SettingId setting, QWidget* field) {
        auto* text = new QLabel(QString::fromUtf8(Setting(setting).label), this);
        text->setBuddy(field);
        fields->addWidget(text, row, 0);
        fields->addWidget(field, row++, 1);
    };
    addRow(SettingId::PriorDegreesOfFreedom, priorDegreesOfFreedom_);
    addRow(SettingId::PriorVariance, priorVariance_);
    fields->addWidget(effectsCoding_, row++, 0, 1, 2, Qt::AlignLeft);
    fields->addWidget(dummyCoding_, row++, 0, 1, 2, Qt::AlignLeft);
    addRow(SettingId::RandomSeed, randomSeed_);
    fields->setRowStretch(row, 1);

    auto* helpGroup = new QGroupBox(QStringLiteral("Help"), this);
    auto* helpLayout = new QVBoxLayout(helpGroup);
    helpLayout->addWidget(helpArea_);

    auto* top = new QHBoxLayout;
    top->addLayout(fields, 1);
    top->addWidget(helpGroup, 1);

    ok_->setDefault(true);
    restoreDefaults_->setAutoDefault(false);
    cancel_->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(restoreDefaults_);
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    resize(620, 320);
}

void CAdvSettingsDlg::ConnectControls() {
    // Only the user's own clicks and typing are reported; CopyFieldsFromLogic emits none of these.
    connect(smartStart_, &QCheckBox::clicked, this,
            [this](bool checked) { logic_.ClickSmartStart(checked); });
    connect(effectsCoding_, &QRadioButton::clicked, this, [this] { logic_.ClickEffectsCoding(); });
    connect(dummyCoding_, &QRadioButton::clicked, this, [this] {
        logic_.ClickDummyCoding();
        CopyFieldsFromLogic();
    });
    for (const AdvancedSettingField& bound : AdvancedSettingFields()) {
        const AdvancedTextField field = bound.field;
        connect(SettingField(field), &QLineEdit::textEdited, this,
                [this, field](const QString& text) { logic_.EditText(field, text.toStdString()); });
    }
    connect(restoreDefaults_, &QPushButton::clicked, this, [this] {
        logic_.RestoreDefaults();
        CopyFieldsFromLogic();
    });
    connect(ok_, &QPushButton::clicked, this, &CAdvSettingsDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CAdvSettingsDlg::WatchFocus() {
    focusHelp_->Watch(smartStart_, AdvancedControl::SmartStart);
    for (const AdvancedSettingField& bound : AdvancedSettingFields()) {
        focusHelp_->Watch(SettingField(bound.field), bound.control);
    }
    focusHelp_->Watch(effectsCoding_, AdvancedControl::EffectsCoding);
    focusHelp_->Watch(dummyCoding_, AdvancedControl::DummyCoding);
    focusHelp_->Watch(ok_, AdvancedControl::Ok);
    focusHelp_->Watch(cancel_, AdvancedControl::Cancel);
    focusHelp_->Watch(restoreDefaults_, AdvancedControl::RestoreDefaults);
}

QLineEdit* CAdvSettingsDlg::SettingField(AdvancedTextField field) const {
    switch (field) {
        case AdvancedTextField::PriorDegreesOfFreedom:
            return priorDegreesOfFreedom_;
        case AdvancedTextField::PriorVariance:
            return priorVariance_;
        case AdvancedTextField::RandomSeed:
            return randomSeed_;
    }
    return randomSeed_;
}

void CAdvSettingsDlg::CopyFieldsFromLogic() {
    const AdvancedSettingsFields& fields = logic_.Fields();
    smartStart_->setChecked(fields.smartStart);
    for (const AdvancedSettingField& bound : AdvancedSettingFields()) {
        ShowText(SettingField(bound.field), fields.*bound.text);
    }
    effectsCoding_->setChecked(fields.effectsCoding);
    dummyCoding_->setChecked(!fields.effectsCoding);
}

void CAdvSettingsDlg::accept() {
    if (logic_.Ok()) QDialog::accept();
}

bool QtAdvancedSettingsDialog::Run(AdvancedSettingsLogic& logic) {
    CAdvSettingsDlg dialog(logic, owner_.data());
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace ombrel
