#include "frontend/qt/CMainDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/SettingsSchema.h"
#include "frontend/ProductInfo.h"
#include "frontend/qt/CAdvSettingsDlg.h"
#include "frontend/qt/FieldWidgets.h"
#include "frontend/qt/HelpCommands.h"
#include "frontend/qt/NumericEditWidget.h"
#include "frontend/qt/ProgramIcon.h"
#include "frontend/qt/QtEstimatorLauncher.h"
#include "frontend/qt/ResultsWindow.h"
#include "frontend/qt/ToolCommands.h"

namespace ombrel {

namespace {

QPushButton* Button(const char* label, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(label), parent);
    // No button of this window fires on Enter typed into a field: an estimation is started on purpose.
    button->setAutoDefault(false);
    return button;
}

}  // namespace

CMainDlg::CMainDlg(const FrontEndFolders& folders, Messenger& messenger, FilePicker& filePicker,
                   EstimatorLauncher* launcher, AdvancedSettingsDialog* advancedDialog, QWidget* parent)
    : QDialog(parent),
      messenger_(messenger),
      filePicker_(filePicker),
      ownLauncher_(launcher != nullptr ? nullptr : std::make_unique<QtEstimatorLauncher>(this)),
      ownAdvancedDialog_(advancedDialog != nullptr ? nullptr
                                                   : std::make_unique<QtAdvancedSettingsDialog>(this)),
      logic_(folders, MainWindowServices{messenger, filePicker,
                                         advancedDialog != nullptr ? *advancedDialog : *ownAdvancedDialog_,
                                         launcher != nullptr ? *launcher : *ownLauncher_, this}),
      menuBar_(new QMenuBar(this)),
      path_(new QLineEdit(this)),
      browse_(Button("Browse...", this)),
      preliminaryIterations_(DigitsField(this)),
      drawsPerRespondent_(DigitsField(this)),
      drawSkip_(DigitsField(this)),
      logSkip_(DigitsField(this)),
      saveDraws_(new QCheckBox(QString::fromUtf8(Setting(SettingId::SaveDraws).label), this)),
      totalTaskWeightLabel_(new QLabel(QString::fromUtf8(Setting(SettingId::TotalTaskWeight).label), this)),
      totalTaskWeight_(new NumericEdit(this)),
      advancedSettings_(Button("Advanced Settings...", this)),
      estimate_(Button("Estimate Parameters", this)),
      restoreDefaults_(Button("Restore defaults", this)),
      helpArea_(new QPlainTextEdit(this)),
      focusHelp_(new FocusHelp<MainControl>(
          helpArea_,
          [this](MainControl control) {
              logic_.Focus(control);
              return logic_.HelpText();
          },
          this)) {
    setWindowTitle(QString::fromUtf8(kMainWindowTitle));
    setWindowIcon(ProgramIcon());
    BuildMenus();

    BuildLayout();
    ConnectControls();
    WatchFocus();
    FieldsChanged();
}

CMainDlg::~CMainDlg() = default;

void CMainDlg::BuildLayout() {
    saveDraws_->setLayoutDirection(Qt::RightToLeft);  // its label at its left
    totalTaskWeight_->setAlignment(Qt::AlignRight);
    totalTaskWeightLabel_->setBuddy(totalTaskWeight_);
    helpArea_->setReadOnly(true);
    helpArea_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    helpArea_->setFocusPolicy(Qt::ClickFocus);

    auto* dataGroup = new QGroupBox(QStringLiteral("Data File"), this);
    auto* dataLayout = new QHBoxLayout(dataGroup);
    dataLayout->addWidget(path_, 1);
    dataLayout->addWidget(browse_);

    auto* settingsGroup = new QGroupBox(QStringLiteral("Settings"), this);
    auto* grid = new QGridLayout(settingsGroup);
    int row = 0;
    auto addRow = [&](SettingId setting, QLineEdit* field) {
        auto* text = new QLabel(QString::fromUtf8(Setting(setting).label), settingsGroup);
        text->setBuddy(field);
        grid->addWidget(text, row, 0);
        grid->addWidget(field, row++, 1);
    };
    addRow(SettingId::PreliminaryIterations, preliminaryIterations_);
    addRow(SettingId::DrawsPerRespondent, drawsPerRespondent_);
    addRow(SettingId::DrawSkip, drawSkip_);
    addRow(SettingId::LogSkip, logSkip_);
    grid->addWidget(saveDraws_, row++, 0, 1, 2, Qt::AlignLeft);
    grid->addWidget(totalTaskWeightLabel_, row, 0);
    grid->addWidget(totalTaskWeight_, row++, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(advancedSettings_);
    buttons->addWidget(estimate_);
    buttons->addWidget(restoreDefaults_);
    grid->addLayout(buttons, row++, 0, 1, 2);
    grid->setRowStretch(row, 1);

    auto* helpGroup = new QGroupBox(QStringLiteral("Help"), this);
    auto* helpLayout = new QVBoxLayout(helpGroup);
    helpLayout->addWidget(helpArea_);

    auto* lower = new QHBoxLayout;
    lower->addWidget(settingsGroup, 3);
    lower->addWidget(helpGroup, 2);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar_);
    layout->addWidget(dataGroup);
    layout->addLayout(lower, 1);
    resize(675, 440);
}

void CMainDlg::ConnectControls() {
    ReportEdits(path_, MainTextField::DataFileName);
    for (const MainSettingField& bound : MainSettingFields())
        ReportEdits(SettingField(bound.field), bound.field);
    connect(saveDraws_, &QCheckBox::clicked, this, [this](bool checked) { logic_.ClickSaveDraws(checked); });
    connect(browse_, &QPushButton::clicked, this, [this] { logic_.Browse(); });
    connect(advancedSettings_, &QPushButton::clicked, this, [this] { logic_.AdvancedSettings(); });
    connect(estimate_, &QPushButton::clicked, this, [this] { logic_.Estimate(); });
    connect(restoreDefaults_, &QPushButton::clicked, this, [this] { logic_.RestoreDefaults(); });
}

void CMainDlg::WatchFocus() {
    focusHelp_->Watch(path_, MainControl::DataFile);
    focusHelp_->Watch(browse_, MainControl::DataFile);
    for (const MainSettingField& bound : MainSettingFields()) {
        focusHelp_->Watch(SettingField(bound.field), bound.control);
    }
    focusHelp_->Watch(saveDraws_, MainControl::SaveDraws);
    focusHelp_->Watch(advancedSettings_, MainControl::AdvancedSettings);
    focusHelp_->Watch(estimate_, MainControl::EstimateParameters);
    focusHelp_->Watch(restoreDefaults_, MainControl::RestoreDefaults);
}

void CMainDlg::BuildMenus() {
    QMenu* file = menuBar_->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Save"), this, [this] { logic_.Save(); });
    viewResults_ = file->addAction(QStringLiteral("View &Results..."), this, [this] { ViewResults(); });
    viewResults_->setObjectName("viewResults");
    // Offered only for a study that has results; the path field can change at any time.
    connect(file, &QMenu::aboutToShow, this,
            [this] { viewResults_->setEnabled(logic_.StudyWithResults().has_value()); });
    file->addAction(QStringLiteral("E&xit"), this, [this] { close(); });

    QMenu* tools = menuBar_->addMenu(QStringLiteral("&Tools"));
    tools->addAction(QStringLiteral("&Convert CHO to CHS..."), this,
                     [this] { RunConverterCommand(messenger_, filePicker_); });
    tools->addAction(QStringLiteral("&Tie Draws..."), this,
                     [this] { RunTieDrawsCommand(this, messenger_, filePicker_); });

    QMenu* help = menuBar_->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&Product Manual (PDF)"), this,
                    [this] { OpenProductManual(this, messenger_, logic_.Folders().programFolder); });
    help->addSeparator();
    help->addAction(QStringLiteral("&Feldrin Software on the Web..."), this, [] { OpenWebSite(); });
    help->addAction(QStringLiteral("&Request Support via E-Mail..."), this, [] { OpenSupportMail(); });
    help->addAction(QStringLiteral("&Check for Newer Version..."), this, [] { CheckForNewerVersion(); });
    help->addSeparator();
    help->addAction(QString::fromUtf8(kAboutMenuText), this, [this] { ShowAboutBox(this); });
}

void CMainDlg::Start() { logic_.Start(); }

void CMainDlg::ViewResults() {
    if (const std::optional<std::string> study = logic_.StudyWithResults())
        OpenResultsWindow(*study, messenger_, filePicker_, this);
}

void CMainDlg::EstimationCompleted(const std::string& dataFile) {
    OpenResultsWindow(dataFile, messenger_, filePicker_, this);
}

void CMainDlg::ReportEdits(QLineEdit* field, MainTextField which) {
    // textEdited carries only the user's changes; what the program sets comes from the logic already.
    connect(field, &QLineEdit::textEdited, this,
            [this, which](const QString& text) { logic_.EditText(which, text.toStdString()); });
}

QLineEdit* CMainDlg::SettingField(MainTextField field) const {
    switch (field) {
        case MainTextField::DataFileName:
            return path_;
        case MainTextField::PreliminaryIterations:
            return preliminaryIterations_;
        case MainTextField::DrawsPerRespondent:
            return drawsPerRespondent_;
        case MainTextField::DrawSkip:
            return drawSkip_;
        case MainTextField::LogSkip:
            return logSkip_;
        case MainTextField::TotalTaskWeight:
            return totalTaskWeight_;
    }
    return path_;
}

void CMainDlg::FieldsChanged() {
    const MainWindowFields& fields = logic_.Fields();
    ShowText(path_, fields.dataFileName);
    for (const MainSettingField& bound : MainSettingFields())
        ShowText(SettingField(bound.field), fields.*bound.text);
    saveDraws_->setChecked(fields.saveDraws);
    totalTaskWeightLabel_->setEnabled(fields.totalTaskWeightEnabled);
    totalTaskWeight_->setEnabled(fields.totalTaskWeightEnabled);
}

void CMainDlg::TitleChanged(const std::string& title) { setWindowTitle(QString::fromStdString(title)); }

void CMainDlg::reject() {
    if (logic_.Exit()) QDialog::reject();
}

// The close box, File > Exit and a session that ends all come here; the window stays when the user
// cancels the save question or the save fails.
void CMainDlg::closeEvent(QCloseEvent* event) {
    if (!logic_.Exit()) {
        event->ignore();
        return;
    }
    event->accept();
    QDialog::reject();
}

}  // namespace ombrel
