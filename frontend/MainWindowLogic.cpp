#include "frontend/MainWindowLogic.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "frontend/AdvancedSettingsLogic.h"
#include "frontend/EstimatorLaunch.h"

namespace ombrel {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSaveQuestion = "Some settings have changed.  Would you like to save your changes?";
constexpr const char* kRestartQuestion =
    "A restart file is available.  Select 'Yes' if you would like to resume estimation using this data.  "
    "Select 'No' if you want to destroy the restart data and begin estimation.  Select 'Cancel' otherwise.";

}  // namespace

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
    const char* text = MainWindowHelpText(control);
    if (text[0] != '\0') helpText_ = text;
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
    SetText(fields_.preliminaryIterations, Format("%d", settings_.preliminaryIterations));
    SetText(fields_.drawsPerRespondent, Format("%d", settings_.drawsPerRespondent));
    SetText(fields_.drawSkip, Format("%d", settings_.drawSkip));
    SetText(fields_.logSkip, Format("%d", settings_.logSkip));
    fields_.saveDraws = settings_.saveDraws;
    SetText(fields_.totalTaskWeight, Format("%5.2lf", settings_.totalTaskWeight));
    ApplyWeightRule();
}

void MainWindowLogic::ReadFields() {
    settings_.dataFileName = fields_.dataFileName;
    settings_.preliminaryIterations = LeadingInt(fields_.preliminaryIterations);
    settings_.drawsPerRespondent = LeadingInt(fields_.drawsPerRespondent);
    settings_.drawSkip = LeadingInt(fields_.drawSkip);
    settings_.logSkip = LeadingInt(fields_.logSkip);
    settings_.saveDraws = fields_.saveDraws;
    settings_.totalTaskWeight = LeadingDouble(fields_.totalTaskWeight);
}

// Discrete-choice data carries one choice per task: its weight is always 1.00 and cannot be edited.
// Enabling the field again leaves its text as it is.
void MainWindowLogic::ApplyWeightRule() {
    if (EndsWithNoCase(Trim(fields_.dataFileName), ".cho")) {
        fields_.totalTaskWeightEnabled = false;
        SetText(fields_.totalTaskWeight, "1.00");
    } else {
        fields_.totalTaskWeightEnabled = true;
    }
}

void MainWindowLogic::EditText(MainTextField field, const std::string& text) {
    switch (field) {
        case MainTextField::DataFileName:
            fields_.dataFileName = text;
            break;
        case MainTextField::PreliminaryIterations:
            fields_.preliminaryIterations = text;
            break;
        case MainTextField::DrawsPerRespondent:
            fields_.drawsPerRespondent = text;
            break;
        case MainTextField::DrawSkip:
            fields_.drawSkip = text;
            break;
        case MainTextField::LogSkip:
            fields_.logSkip = text;
            break;
        case MainTextField::TotalTaskWeight:
            fields_.totalTaskWeight = text;
            break;
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

// A save that could not be written must not pass for one: the estimator would read the old files.
bool MainWindowLogic::SaveAndClear() {
    if (!settings_.ValidateMainSettings(services_.messenger)) return false;
    if (!settings_.ValidateAdvancedSettings(services_.messenger)) return false;
    // The names file carries the path as one line: the estimator would read only its first part.
    if (settings_.dataFileName.find_first_of("\r\n") != std::string::npos) {
        services_.messenger.Show("The data file path holds a line break, which the names file cannot carry.",
                                 MessageIcon::Exclamation);
        return false;
    }
    if (!settings_.SaveSettings(services_.messenger)) {
        services_.messenger.Show(
            Format("The settings could not be saved to %s and %s.", settings_.NamesFilePath().c_str(),
                   settings_.SettingsFileName().c_str()),
            MessageIcon::Exclamation);
        return false;
    }
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
    const FileFilter filter{"Ombrel Data Files (*.cho; *.chs)", {"*.cho", "*.chs"}};
    std::optional<std::string> chosen = services_.filePicker.PickExistingFile({filter}, "cho");
    if (!chosen) return;
    SetText(fields_.dataFileName, *chosen);
    StudySettings study;
    study.LoadSettingsForDataFile(*chosen, services_.messenger);
    settings_ = study;  // keeps where the names file lies
    FillFields();
    NotifyFields();
}

void MainWindowLogic::RestoreDefaults() {
    const StudySettings defaults;
    SetText(fields_.preliminaryIterations, Format("%d", defaults.preliminaryIterations));
    SetText(fields_.drawsPerRespondent, Format("%d", defaults.drawsPerRespondent));
    SetText(fields_.drawSkip, Format("%d", defaults.drawSkip));
    SetText(fields_.logSkip, Format("%d", defaults.logSkip));
    fields_.saveDraws = defaults.saveDraws;
    SetText(fields_.totalTaskWeight, Format("%5.2lf", defaults.totalTaskWeight));
    ApplyWeightRule();
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

LaunchOutcome MainWindowLogic::Estimate() {
    Messenger& messenger = services_.messenger;
    ReadFields();
    if (!SaveAndClear()) return LaunchOutcome::NotSaved;

    bool resume = false;
    const std::string restartFile = settings_.StudyName() + ".res";
    std::error_code error;
    const bool restartExists = fs::exists(restartFile, error);
    if (error) {
        // Not knowing whether earlier work is there must not lead to preparing over it.
        messenger.Show(Format("The restart file %s could not be checked (%s).", restartFile.c_str(),
                              error.message().c_str()),
                       MessageIcon::Exclamation);
        return LaunchOutcome::RestartFileKept;
    }
    if (restartExists) {
        switch (messenger.Ask(kRestartQuestion, ButtonSet::YesNoCancel, MessageIcon::Question)) {
            case Answer::Yes:
                resume = true;
                break;
            case Answer::No:
                // A restart file left behind would be resumed against freshly prepared files.
                if (!fs::remove(restartFile, error) || error) {
                    messenger.Show(
                        Format("The restart file %s could not be deleted (%s).", restartFile.c_str(),
                               error ? error.message().c_str() : "it is no longer there"),
                        MessageIcon::Exclamation);
                    return LaunchOutcome::RestartFileKept;
                }
                break;
            default:
                return LaunchOutcome::Cancelled;
        }
    }

    if (!resume) {
        std::string report;
        try {
            report = services_.launcher.PrepareStudy(StudySettings(settings_));
        } catch (const std::exception& failure) {
            messenger.Show(failure.what(), MessageIcon::Exclamation);
            return LaunchOutcome::PreparationFailed;
        }
        if (!services_.launcher.ShowReport(ReportDisplayText(report))) return LaunchOutcome::NotContinued;
    }

    const EstimatorLaunch launch = BuildEstimatorLaunch(folders_.programFolder, folders_.settingsFolder,
                                                        services_.launcher.MainWindowRect());
    try {
        services_.launcher.RunEstimator(launch);
    } catch (const std::exception& failure) {
        messenger.Show(failure.what(), MessageIcon::Exclamation);
        return LaunchOutcome::EstimatorNotStarted;
    }
    return LaunchOutcome::EstimatorRan;
}

}  // namespace ombrel
