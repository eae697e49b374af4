#include "frontend/AdvancedSettingsLogic.h"

#include "common/SettingsSchema.h"

namespace ombrel {

namespace {

constexpr AdvancedSettingField kSettingFields[] = {
    {AdvancedTextField::PriorDegreesOfFreedom, SettingId::PriorDegreesOfFreedom,
     AdvancedControl::PriorDegreesOfFreedom, &AdvancedSettingsFields::priorDegreesOfFreedom},
    {AdvancedTextField::PriorVariance, SettingId::PriorVariance, AdvancedControl::PriorVariance,
     &AdvancedSettingsFields::priorVariance},
    {AdvancedTextField::RandomSeed, SettingId::RandomSeed, AdvancedControl::RandomSeed,
     &AdvancedSettingsFields::randomSeed},
};

// The fields from the settings: the two switches and the three texts.
void FillFields(AdvancedSettingsFields& fields, const StudySettings& settings) {
    fields.smartStart = settings.smartStart;
    fields.effectsCoding = settings.effectsCoding;
    for (const AdvancedSettingField& bound : kSettingFields) {
        fields.*bound.text = FormatSetting(Setting(bound.setting), settings);
    }
}

}  // namespace

std::span<const AdvancedSettingField> AdvancedSettingFields() { return kSettingFields; }

AdvancedSettingsLogic::AdvancedSettingsLogic(StudySettings& settings, Messenger& messenger)
    : settings_(settings), messenger_(messenger) {}

void AdvancedSettingsLogic::Initialize() {
    dialogReady_ = false;
    FillFields(fields_, settings_);
    dialogReady_ = true;
}

void AdvancedSettingsLogic::Focus(AdvancedControl control) {
    std::string text = AdvancedSettingsHelpText(control);
    if (!text.empty()) helpText_ = std::move(text);
}

void AdvancedSettingsLogic::MarkChanged() {
    if (dialogReady_) settingsChanged_ = true;
}

void AdvancedSettingsLogic::EditText(AdvancedTextField field, const std::string& text) {
    for (const AdvancedSettingField& bound : kSettingFields) {
        if (bound.field == field) fields_.*bound.text = text;
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
    FillFields(fields_, StudySettings());
    MarkChanged();
}

bool AdvancedSettingsLogic::Ok() {
    settings_.smartStart = fields_.smartStart;
    for (const AdvancedSettingField& bound : kSettingFields) {
        ReadSetting(Setting(bound.setting), fields_.*bound.text, settings_);
    }
    settings_.effectsCoding = fields_.effectsCoding;
    return settings_.ValidateAdvancedSettings(messenger_);
}

}  // namespace ombrel
