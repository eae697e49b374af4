#pragma once

// The eleven estimation settings, declared once. Each row says which field of StudySettings holds
// the setting, how its settings-file line and its window field are written, its default, its valid
// range with the message that reports a value outside it, its option(s) for `ombrel estimate` and
// their help. The settings file, both validations, the command line and both windows loop over
// these rows; the row order is the order of the settings file's lines and of the checks.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ombrel {

class StudySettings;

enum class SettingType {
    Integer,  // "%d"; the window and the file read it by the leading-number conversion
    Real,     // "%5.2lf"
    Switch,   // "%d", 1 or 0; on and off flags on the command line
};

// The window that shows the setting, and the validation that checks it.
enum class SettingsPage { Main, Advanced };

// One name per row, in row order.
enum class SettingId {
    PreliminaryIterations,
    DrawsPerRespondent,
    DrawSkip,
    LogSkip,
    SaveDraws,
    TotalTaskWeight,
    SmartStart,
    PriorDegreesOfFreedom,
    PriorVariance,
    EffectsCoding,
    RandomSeed,
};

struct SettingDescriptor {
    SettingId id;
    SettingType type;
    SettingsPage page;
    // The field of StudySettings: exactly one of the three, as type says.
    int32_t StudySettings::*integerField;
    double StudySettings::*realField;
    bool StudySettings::*switchField;
    // The window's label, the name the range message quotes and the start of the option's help.
    // For a switch: what the "on" flag does.
    const char* label;
    double defaultValue;  // a switch: 1 or 0
    // Valid values, both ends included; none for a switch.
    double low;
    double high;
    // The option; for a switch the flag that turns it on.
    const char* flag;
    // After the range in the option's help ("; 0: the time of day"); empty for most.
    const char* helpNote;
    // A switch's "off" flag and what it does.
    const char* offFlag;
    const char* offHelp;
    // Written and used as 1.0 whatever the field holds, for discrete-choice (".cho") data.
    bool oneForChoiceData;
};

inline constexpr size_t kSettingCount = 11;

// The rows, in the settings file's order.
std::span<const SettingDescriptor> SettingsSchema();
const SettingDescriptor& Setting(SettingId id);

// The value as the settings file and the window fields write it ("%d" or "%5.2lf"). The choice-data
// rule is not applied here: the file's writer and the window apply it where they need it.
std::string FormatSetting(const SettingDescriptor& setting, const StudySettings& settings);
// The leading-number conversion of text into the field (a switch: non-zero is on).
void ReadSetting(const SettingDescriptor& setting, std::string_view text, StudySettings& settings);
// The field's value from one record into another, exactly.
void CopySetting(const SettingDescriptor& setting, const StudySettings& from, StudySettings& to);
// The field back to the row's default.
void ResetSetting(const SettingDescriptor& setting, StudySettings& settings);

// The field's value as a double (a switch: 1 or 0), for comparisons that do not care about type.
double SettingValue(const SettingDescriptor& setting, const StudySettings& settings);
// A ranged setting's value inside its range; NaN never is. Always true for a switch.
bool SettingInRange(const SettingDescriptor& setting, const StudySettings& settings);
// "'<label>' must be an integer between <low> and <high>." (a number, for a real).
std::string RangeMessage(const SettingDescriptor& setting);
// The option's help: "<label> (<low> to <high><note>)"; a switch's "on" help is its label.
std::string OptionHelp(const SettingDescriptor& setting);
// The option's value placeholder in the help: "N" for an integer, "X" for a real.
const char* OptionValueName(const SettingDescriptor& setting);

}  // namespace ombrel
