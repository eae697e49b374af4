#pragma once

#include <array>
#include <string>

#include "common/SettingsSchema.h"
#include "common/StudySettings.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace ombrel {

// The eleven settings as options of `ombrel estimate`, one (a value) or two (on and off flags, which
// exclude each other) per row of SettingsSchema, in the rows' order and in one help group. An
// option not given leaves the study's value. CLI11 keeps pointers into this object: it stays where
// it is from AddTo to the last ApplyTo.
class SettingOptions {
public:
    SettingOptions();
    SettingOptions(const SettingOptions&) = delete;
    SettingOptions& operator=(const SettingOptions&) = delete;

    void AddTo(CLI::App& command);
    // The given options into settings. Value text that is not a number becomes a value outside
    // every range, so that the setting's own validation message reports it.
    void ApplyTo(StudySettings& settings) const;

private:
    struct BoundSetting {
        const SettingDescriptor* setting = nullptr;
        std::string text;               // a value option's text
        CLI::Option* option = nullptr;  // the value option, or a switch's "on" flag
        CLI::Option* offOption = nullptr;
    };

    std::array<BoundSetting, kSettingCount> bound_;
};

// The strict conversions of option text: the whole text (blanks at either end aside) must be the
// number; otherwise the lowest int32_t (below every range) or NaN (outside every range).
int32_t SettingInteger(const std::string& text);
double SettingReal(const std::string& text);

}  // namespace ombrel
