#include "frontend/AdvancedSettingsLogic.h"

#include "common/TextConversion.h"

namespace ombrel {

AdvancedSettingsLogic::AdvancedSettingsLogic(StudySettings& settings, Messenger& messenger)
    : settings_(settings), messenger_(messenger) {}

void AdvancedSettingsLogic::Initialize() {
    dialogReady_ = false;
    fields_.smartStart = settings_.smartStart;
    fields_.priorDegreesOfFreedom = Format("%d", settings_.priorDegreesOfFreedom);
    fields_.priorVariance = Format("%5.2lf", settings_.priorVariance);
    fields_.effectsCoding = settings_.effectsCoding;
    fields_.randomSeed = Format("%d", settings_.randomSeed);
    dialogReady_ = true;
}

void AdvancedSettingsLogic::Focus(AdvancedControl control) {
    const char* text = AdvancedSettingsHelpText(control);
    if (text[0] != '\0') helpText_ = text;
}

void AdvancedSettingsLogic::MarkChanged() {
    if (dialogReady_) settingsChanged_ = true;
}

void AdvancedSettingsLogic::EditText(AdvancedTextField field, const std::string& text) {
    switch (field) {
        case AdvancedTextField::PriorDegreesOfFreedom:
            fields_.priorDegreesOfFreedom = text;
            break;
        case AdvancedTextField::PriorVariance:
            fields_.priorVariance = text;
            break;
        case AdvancedTextField::RandomSeed:
            fields_.randomSeed = text;
            break;
    }
    MarkChanged();
}

void AdvancedSettingsLogic::ClickSmartStart(bool checked) {
    fields_.smartStart = checked;
    MarkChanged();
}

void AdvancedSettingsLogic::ClickEffectsCoding() {
    fields_.effectsCoding = true;
    MarkChanged();
}

void AdvancedSettingsLogic::ClickDummyCoding() {
    fields_.effectsCoding = false;
    fields_.smartStart = false;
    MarkChanged();
}

void AdvancedSettingsLogic::RestoreDefaults() {
    const StudySettings defaults;
    fields_.smartStart = defaults.smartStart;
    fields_.priorDegreesOfFreedom = Format("%d", defaults.priorDegreesOfFreedom);
    fields_.priorVariance = Format("%5.2lf", defaults.priorVariance);
    fields_.effectsCoding = defaults.effectsCoding;
    fields_.randomSeed = Format("%d", defaults.randomSeed);
    MarkChanged();
}

bool AdvancedSettingsLogic::Ok() {
    settings_.smartStart = fields_.smartStart;
    settings_.priorDegreesOfFreedom = LeadingInt(fields_.priorDegreesOfFreedom);
    settings_.priorVariance = LeadingDouble(fields_.priorVariance);
    settings_.effectsCoding = fields_.effectsCoding;
    settings_.randomSeed = LeadingInt(fields_.randomSeed);
    return settings_.ValidateAdvancedSettings(messenger_);
}

}  // namespace ombrel
