#pragma once

#include <span>
#include <string>

#include "common/Messenger.h"
#include "common/SettingsSchema.h"
#include "common/StudySettings.h"
#include "frontend/HelpTexts.h"

namespace ombrel {

// The contents of the "Advanced Settings" dialog's controls, as the user sees them.
struct AdvancedSettingsFields {
    bool smartStart = false;            // "Use 'smart' starting betas"
    std::string priorDegreesOfFreedom;  // "%d"
    std::string priorVariance;          // NumericEdit, "%5.2lf"
    bool effectsCoding = false;         // "Use effects coding" checked; "Use dummy coding" is the reverse
    std::string randomSeed;             // "%d"
};

enum class AdvancedTextField { PriorDegreesOfFreedom, PriorVariance, RandomSeed };

// A text field of the dialog bound to its setting, as MainSettingField is for the main window.
struct AdvancedSettingField {
    AdvancedTextField field;
    SettingId setting;
    AdvancedControl control;
    std::string AdvancedSettingsFields::*text;
};
// The dialog's three text fields, in its order.
std::span<const AdvancedSettingField> AdvancedSettingFields();

// The logic of the "Advanced Settings" dialog (CAdvSettingsDlg) without its widgets. It works on the
// caller's copy of the settings, which only Ok() writes; the caller assigns the copy back after OK
// and reads SettingsChanged().
class AdvancedSettingsLogic {
public:
    AdvancedSettingsLogic(StudySettings& settings, Messenger& messenger);

    // Fills the fields from the settings; from then on edits count as changes.
    void Initialize();

    const AdvancedSettingsFields& Fields() const { return fields_; }
    bool SettingsChanged() const { return settingsChanged_; }
    bool DialogReady() const { return dialogReady_; }

    // A control got the focus: the help area shows its text, or keeps the last one (empty at first).
    void Focus(AdvancedControl control);
    const std::string& HelpText() const { return helpText_; }

    // The user's edits.
    void EditText(AdvancedTextField field, const std::string& text);
    void ClickSmartStart(bool checked);
    void ClickEffectsCoding();
    // Dummy coding switches smart start off; effects coding does not switch it on again.
    void ClickDummyCoding();
    // The five settings' defaults; setting the three texts counts as a change.
    void RestoreDefaults();

    // Reads the fields into the settings and validates them. True: the dialog ends with OK. False:
    // the validation message has been shown and the dialog stays open (the settings already hold
    // the values read).
    bool Ok();

private:
    void MarkChanged();

    StudySettings& settings_;
    Messenger& messenger_;
    AdvancedSettingsFields fields_;
    bool settingsChanged_ = false;
    bool dialogReady_ = false;
    std::string helpText_;
};

}  // namespace ombrel
