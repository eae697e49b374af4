#include "frontend/MainWindowLogic.h"

#include "common/SettingsSchema.h"
#include "common/StudyFiles.h"
#include "common/TextConversion.h"
#include "frontend/AdvancedSettingsLogic.h"
#include "frontend/EstimatorLaunch.h"
#include "frontend/ResultsWindowLogic.h"

namespace ombrel {

namespace {

constexpr const char* kSaveQuestion = "Some settings have changed.  Would you like to save your changes?";
constexpr const char* kRestartQuestion =
    "A restart file is available.  Select 'Yes' if you would like to resume estimation using this data.  "
    "Select 'No' if you want to destroy the restart data and begin estimation.  Select 'Cancel' otherwise.";

constexpr MainSettingField kSettingFields[] = {
    {MainTextField::PreliminaryIterations, SettingId::PreliminaryIterations,
     MainControl::PreliminaryIterations, &MainWindowFields::preliminaryIterations},
    {MainTextField::DrawsPerRespondent, SettingId::DrawsPerRespondent, MainControl::DrawsPerRespondent,
     &MainWindowFields::drawsPerRespondent},
    {MainTextField::DrawSkip, SettingId::DrawSkip, MainControl::DrawSkip, &MainWindowFields::drawSkip},
    {MainTextField::LogSkip, SettingId::LogSkip, MainControl::LogSkip, &MainWindowFields::logSkip},
    {MainTextField::TotalTaskWeight, SettingId::TotalTaskWeight, MainControl::TotalTaskWeight,
     &MainWindowFields::totalTaskWeight},
};

}  // namespace

std::span<const MainSettingField> MainSettingFields() { return kSettingFields; }

MainWindowLogic::MainWindowLogic(const FrontEndFolders& folders, const MainWindowServices& services)
    : folders_(folders), services_(services) {
    settings_.namesFolder = folders_.settingsFolder;
}

std::string MainWindowLogic::Title() const {
    return settingsChanged_ ? kChangedMainWindowTitle : kMainWindowTitle;
}

void MainWindowLogic::Start() {
    dialogReady_ = false;
    settings_.LoadSettings(services_.messenger);
    FillFields();
    dialogReady_ = true;
    NotifyFields();
    if (services_.view != nullptr) services_.view->TitleChanged(Title());
}

void MainWindowLogic::Focus(MainControl control) {
    std::string text = MainWindowHelpText(control);
    if (!text.empty()) helpText_ = std::move(text);
}

void MainWindowLogic::NotifyFields() {
    if (services_.view != nullptr) services_.view->FieldsChanged();
}

void MainWindowLogic::SetChanged(bool changed) {
    const bool titleMoves = changed != settingsChanged_;
    settingsChanged_ = changed;
    if (titleMoves && services_.view != nullptr) services_.view->TitleChanged(Title());
}

void MainWindowLogic::MarkChanged() {
    if (dialogReady_) SetChanged(true);
}

// Text put into a field by the program counts as a change, as a typed one does (once ready).
void MainWindowLogic::SetText(std::string& field, const std::string& text) {
    field = text;
    MarkChanged();
}

void MainWindowLogic::FillFields() {
    SetText(fields_.dataFileName, settings_.dataFileName);
    FillSettingFields(settings_);
}

// The settings' fields (not the path) from settings, then the weight rule.
void MainWindowLogic::FillSettingFields(const StudySettings& settings) {
    for (const MainSettingField& bound : kSettingFields) {
        SetText(fields_.*bound.text, FormatSetting(Setting(bound.setting), settings));
    }
    fields_.saveDraws = settings.saveDraws;
    ApplyWeightRule();
}

void MainWindowLogic::ReadFields() {
    settings_.dataFileName = fields_.dataFileName;
    for (const MainSettingField& bound : kSettingFields) {
        ReadSetting(Setting(bound.setting), fields_.*bound.text, settings_);
    }
    settings_.saveDraws = fields_.saveDraws;
}

// Discrete-choice data carries one choice per task: its weight is always 1.00 and cannot be edited.
// Enabling the field again leaves its text as it is.
void MainWindowLogic::ApplyWeightRule() {
    if (StudyFiles::KindOf(Trim(fields_.dataFileName)) == DataKind::Choice) {
        fields_.totalTaskWeightEnabled = false;
        SetText(fields_.totalTaskWeight, "1.00");
    } else {
        fields_.totalTaskWeightEnabled = true;
    }
}

void MainWindowLogic::EditText(MainTextField field, const std::string& text) {
    if (field == MainTextField::DataFileName) fields_.dataFileName = text;
    for (const MainSettingField& bound : kSettingFields) {
        if (bound.field == field) fields_.*bound.text = text;
    }
    MarkChanged();
    if (field == MainTextField::DataFileName) {
        ApplyWeightRule();
        NotifyFields();
    }
}

void MainWindowLogic::ClickSaveDraws(bool checked) {
    fields_.saveDraws = checked;
    MarkChanged();
}

bool MainWindowLogic::SaveAndClear() {
    if (!ValidateAndSaveSettings(settings_, services_.messenger)) return false;
    SetChanged(false);
    return true;
}

void MainWindowLogic::Save() {
    ReadFields();
    if (settingsChanged_) SaveAndClear();
}

bool MainWindowLogic::Exit() {
    ReadFields();
    if (!settingsChanged_) return true;
    switch (services_.messenger.Ask(kSaveQuestion, ButtonSet::YesNoCancel, MessageIcon::Question)) {
        case Answer::Yes:
            return SaveAndClear();
        case Answer::No:
            return true;
        default:
            return false;
    }
}

void MainWindowLogic::Browse() {
    if (settingsChanged_) {
        ReadFields();
        if (services_.messenger.Ask(kSaveQuestion, ButtonSet::YesNo, MessageIcon::Question) == Answer::Yes &&
            !SaveAndClear()) {
            return;
        }
    }
    const FileFilter filter{
        "Ombrel Data Files (*.cho; *.chs)",
        {std::string("*") + kChoiceDataExtension, std::string("*") + kAllocationDataExtension}};
    // The default suffix without its dot.
    std::optional<std::string> chosen =
        services_.filePicker.PickExistingFile({filter}, kChoiceDataExtension + 1);
    if (!chosen) return;
    SetText(fields_.dataFileName, *chosen);
    StudySettings study;
    study.LoadSettingsForDataFile(*chosen, services_.messenger);
    settings_ = study;  // keeps where the names file lies
    FillFields();
    NotifyFields();
}

void MainWindowLogic::RestoreDefaults() {
    FillSettingFields(StudySettings());
    NotifyFields();
}

void MainWindowLogic::AdvancedSettings() {
    StudySettings copy(settings_);
    AdvancedSettingsLogic logic(copy, services_.messenger);
    logic.Initialize();
    if (!services_.advancedSettingsDialog.Run(logic)) return;
    settings_ = copy;
    if (logic.SettingsChanged()) MarkChanged();
}

RestartChoice MainWindowLogic::AskAboutRestart() {
    switch (services_.messenger.Ask(kRestartQuestion, ButtonSet::YesNoCancel, MessageIcon::Question)) {
        case Answer::Yes:
            return RestartChoice::Resume;
        case Answer::No:
            return RestartChoice::StartOver;
        default:
            return RestartChoice::Cancel;
    }
}

LaunchOutcome MainWindowLogic::Estimate() {
    ReadFields();
    EstimatorLauncher& launcher = services_.launcher;
    const EstimateLaunchSteps steps{
        .messenger = services_.messenger,
        .saved = [this] { SetChanged(false); },
        .askAboutRestart = [this](const std::string&) { return AskAboutRestart(); },
        .noRestartFile = nullptr,
        .prepare =
            [&launcher](const StudySettings& settings) {
                return launcher.PrepareStudy(StudySettings(settings));
            },
        .showReport =
            [&launcher](const std::string& report) { return launcher.ShowReport(ReportDisplayText(report)); },
        .startEstimator =
            [this, &launcher] {
                const std::optional<StudyFiles> study = StudyFiles::ForDataFile(settings_.dataFileName);
                const PartWorthStamp before = study ? StampPartWorths(*study) : PartWorthStamp{};
                launcher.RunEstimator(BuildEstimatorLaunch(folders_.programFolder, folders_.settingsFolder,
                                                           launcher.MainWindowRect()));
                if (study && services_.view != nullptr && PartWorthsRewritten(*study, before))
                    services_.view->EstimationCompleted(study->DataFile());
                return 0;
            },
    };
    return LaunchEstimation(settings_, steps).outcome;
}

std::optional<std::string> MainWindowLogic::StudyWithResults() const {
    const std::optional<StudyFiles> study = StudyFiles::ForDataFile(Trim(fields_.dataFileName));
    if (!study || !StudyHasResults(*study)) return std::nullopt;
    return study->DataFile();
}

}  // namespace ombrel
