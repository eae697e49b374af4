#include "apps/ombrel/SettingOptions.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "common/TextConversion.h"

namespace ombrel {

namespace {

constexpr const char* kSettingsGroup = "Settings (default: the study's .set file, else the usual defaults)";
// Below every integer setting's range.
constexpr int32_t kUnreadableInteger = std::numeric_limits<int32_t>::min();

}  // namespace

int32_t SettingInteger(const std::string& text) {
    const std::string trimmed = Trim(text);
    const char* first = trimmed.data();
    const char* last = first + trimmed.size();
    if (first != last && *first == '+') ++first;
    if (first == last || *first == '+') return kUnreadableInteger;
    int32_t value = 0;
    auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) return kUnreadableInteger;
    return value;
}

double SettingReal(const std::string& text) {
    const std::string trimmed = Trim(text);
    const char* first = trimmed.data();
    const char* last = first + trimmed.size();
    if (first != last && *first == '+') ++first;
    double value = 0.0;
    auto [end, error] = std::from_chars(first, last, value, std::chars_format::fixed);
    if (first == last || *first == '+' || error != std::errc() || end != last || !std::isfinite(value)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return value;
}

SettingOptions::SettingOptions() {
    for (const SettingDescriptor& setting : SettingsSchema()) {
        bound_[static_cast<size_t>(setting.id)].setting = &setting;
    }
}

void SettingOptions::AddTo(CLI::App& command) {
    for (BoundSetting& bound : bound_) {
        const SettingDescriptor& setting = *bound.setting;
        if (setting.type == SettingType::Switch) {
            bound.option = command.add_flag(setting.flag)->description(setting.label);
            bound.offOption =
                command.add_flag(setting.offFlag)->description(setting.offHelp)->excludes(bound.option);
            bound.offOption->group(kSettingsGroup);
        } else {
            bound.option = command.add_option(setting.flag, bound.text, OptionHelp(setting))
                               ->type_name(OptionValueName(setting));
        }
        bound.option->group(kSettingsGroup);
    }
}

void SettingOptions::ApplyTo(StudySettings& settings) const {
    for (const BoundSetting& bound : bound_) {
        const SettingDescriptor& setting = *bound.setting;
        if (bound.option->count() == 0 && (bound.offOption == nullptr || bound.offOption->count() == 0))
            continue;
        switch (setting.type) {
            case SettingType::Integer:
                settings.*setting.integerField = SettingInteger(bound.text);
                break;
            case SettingType::Real:
                settings.*setting.realField = SettingReal(bound.text);
                break;
            case SettingType::Switch:
                // The flags exclude each other: only one of them can have been given.
                settings.*setting.switchField = bound.option->count() > 0;
                break;
        }
    }
}

}  // namespace ombrel
