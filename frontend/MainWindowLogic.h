#pragma once

#include <span>
#include <string>

#include "common/Messenger.h"
#include "common/SettingsSchema.h"
#include "common/StudySettings.h"
#include "frontend/EstimateLaunch.h"
#include "frontend/FrontEndServices.h"
#include "frontend/HelpTexts.h"

namespace ombrel {

inline constexpr const char* kMainWindowTitle = "Feldrin Software Ombrel";
inline constexpr const char* kChangedMainWindowTitle = "Feldrin Software Ombrel *";

// The contents of the main window's fields: the working copy of the settings, as the user sees it.
struct MainWindowFields {
    std::string dataFileName;            // path field, as typed
    std::string preliminaryIterations;   // "%d"
    std::string drawsPerRespondent;      // "%d"
    std::string drawSkip;                // "%d"
    std::string logSkip;                 // "%d"
    bool saveDraws = false;              // "Save random draws"
    std::string totalTaskWeight;         // NumericEdit, "%5.2lf"
    bool totalTaskWeightEnabled = true;  // the label and the field; off for ".cho" data
};

enum class MainTextField {
    DataFileName,
    PreliminaryIterations,
    DrawsPerRespondent,
    DrawSkip,
    LogSkip,
    TotalTaskWeight
};

// A text field of the main window bound to its setting: the field the user edits, the row of
// SettingsSchema whose value it shows (in the row's format), the control whose help text it has, and
// where MainWindowFields keeps its text.
struct MainSettingField {
    MainTextField field;
    SettingId setting;
    MainControl control;
    std::string MainWindowFields::*text;
};
// Every text field but the path, in the window's order.
std::span<const MainSettingField> MainSettingFields();

// Where the front end finds its programs and its names file, each with a trailing "/".
struct FrontEndFolders {
    std::string programFolder;   // holds kivotra beside the front end
    std::string settingsFolder;  // holds the names file; the estimator's working directory
};

// The services the main window logic talks through; all must outlive it.
struct MainWindowServices {
    Messenger& messenger;
    FilePicker& filePicker;
    AdvancedSettingsDialog& advancedSettingsDialog;
    EstimatorLauncher& launcher;
    MainWindowView* view = nullptr;  // optional
};

// The logic of the main window (CMainDlg) without its widgets: the fields as a working copy of the
// settings, change tracking and the title, the weight rule, the save prompts, Browse, the advanced
// settings and the launch of an estimation.
class MainWindowLogic {
public:
    MainWindowLogic(const FrontEndFolders& folders, const MainWindowServices& services);

    // Loads the settings through the names file in the settings folder and fills the fields; changes
    // before this are not counted.
    void Start();

    const StudySettings& Settings() const { return settings_; }
    const MainWindowFields& Fields() const { return fields_; }
    bool SettingsChanged() const { return settingsChanged_; }
    bool DialogReady() const { return dialogReady_; }
    std::string Title() const;
    const FrontEndFolders& Folders() const { return folders_; }

    // A control got the focus: the help area shows its text, or keeps the last one (empty at start).
    void Focus(MainControl control);
    const std::string& HelpText() const { return helpText_; }

    // The user's edits (text typed into a field, a click on "Save random draws").
    void EditText(MainTextField field, const std::string& text);
    void ClickSaveDraws(bool checked);

    // File > Save: saves only when something changed.
    void Save();
    // File > Exit, the close box, Esc. True: close the window (and end the program).
    bool Exit();
    // "Browse...": asks to save unsaved changes, then lets the user pick a study's data file and loads
    // that study's settings (or the defaults).
    void Browse();
    // "Restore defaults": the main window's fields only; the path and the advanced settings stay.
    void RestoreDefaults();
    // "Advanced Settings...": the dialog on a copy of the settings, assigned back after OK.
    void AdvancedSettings();
    // "Estimate Parameters". When the estimator ends after writing the study's results (a stopped
    // run writes only its restart file), the view hears of it.
    LaunchOutcome Estimate();
    // The data file of the study in the path field when that study has results to view; nothing
    // otherwise ("View Results..." is offered only then).
    std::optional<std::string> StudyWithResults() const;

private:
    void FillFields();
    void FillSettingFields(const StudySettings& settings);
    void ReadFields();
    void ApplyWeightRule();
    void SetText(std::string& field, const std::string& text);
    void MarkChanged();
    void SetChanged(bool changed);
    bool SaveAndClear();
    RestartChoice AskAboutRestart();
    void NotifyFields();

    FrontEndFolders folders_;
    MainWindowServices services_;
    StudySettings settings_;
    MainWindowFields fields_;
    bool settingsChanged_ = false;
    bool dialogReady_ = false;
    std::string helpText_;
};

}  // namespace ombrel
