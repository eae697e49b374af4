#include "common/SettingsSchema.h"

#include <array>

#include "common/StudySettings.h"
#include "common/TextConversion.h"

namespace ombrel {

namespace {

constexpr SettingDescriptor Integer(SettingId id, SettingsPage page, int32_t StudySettings::*field,
                                    const char* label, int32_t defaultValue, int32_t low, int32_t high,
                                    const char* flag, const char* helpNote = "") {
    return SettingDescriptor{.id = id,
                             .type = SettingType::Integer,
                             .page = page,
                             .integerField = field,
                             .realField = nullptr,
                             .switchField = nullptr,
                             .label = label,
                             .defaultValue = static_cast<double>(defaultValue),
                             .low = static_cast<double>(low),
                             .high = static_cast<double>(high),
                             .flag = flag,
                             .helpNote = helpNote,
                             .offFlag = nullptr,
                             .offHelp = nullptr,
                             .oneForChoiceData = false};
}

constexpr SettingDescriptor Real(SettingId id, SettingsPage page, double StudySettings::*field,
                                 const char* label, double defaultValue, double low, double high,
                                 const char* flag, const char* helpNote = "", bool oneForChoiceData = false) {
    return SettingDescriptor{.id = id,
                             .type = SettingType::Real,
                             .page = page,
                             .integerField = nullptr,
                             .realField = field,
                             .switchField = nullptr,
                             .label = label,
                             .defaultValue = defaultValue,
                             .low = low,
                             .high = high,
                             .flag = flag,
                             .helpNote = helpNote,
                             .offFlag = nullptr,
                             .offHelp = nullptr,
                             .oneForChoiceData = oneForChoiceData};
}

constexpr SettingDescriptor Switch(SettingId id, SettingsPage page, bool StudySettings::*field,
                                   const char* label, bool defaultValue, const char* flag,
                                   const char* offFlag, const char* offHelp) {
    return SettingDescriptor{.id = id,
                             .type = SettingType::Switch,
                             .page = page,
                             .integerField = nullptr,
                             .realField = nullptr,
                             .switchField = field,
                             .label = label,
                             .defaultValue = defaultValue ? 1.0 : 0.0,
                             .low = 0.0,
                             .high = 0.0,
                             .flag = flag,
                             .helpNote = "",
                             .offFlag = offFlag,
                             .offHelp = offHelp,
                             .oneForChoiceData = false};
}

constexpr std::array<SettingDescriptor, kSettingCount> kSchema = {
    Integer(SettingId::PreliminaryIterations, SettingsPage::Main, &StudySettings::preliminaryIterations,
            "Number of iterations before using results", 2000, 0, 1000000, "--iterations"),
    Integer(SettingId::DrawsPerRespondent, SettingsPage::Main, &StudySettings::drawsPerRespondent,
            "Number of draws to be used for each respondent", 1000, 1, 10000, "--draws"),
    Integer(SettingId::DrawSkip, SettingsPage::Main, &StudySettings::drawSkip, "Skip factor for using draws",
            10, 1, 100, "--draw-skip"),
    Integer(SettingId::LogSkip, SettingsPage::Main, &StudySettings::logSkip,
            "Skip factor for printing in log file", 100, 1, 100000, "--log-skip"),
    Switch(SettingId::SaveDraws, SettingsPage::Main, &StudySettings::saveDraws, "Save random draws", false,
           "--save-draws", "--no-save-draws", "Do not save random draws"),
    Real(SettingId::TotalTaskWeight, SettingsPage::Main, &StudySettings::totalTaskWeight, "Total task weight",
         5.0, 1.0, 10.0, "--task-weight", "; always 1.0 for .cho data", true),
    Switch(SettingId::SmartStart, SettingsPage::Advanced, &StudySettings::smartStart,
           "Use smart starting betas", true, "--smart-start", "--no-smart-start",
           "Do not use smart starting betas"),
    Integer(SettingId::PriorDegreesOfFreedom, SettingsPage::Advanced, &StudySettings::priorDegreesOfFreedom,
            "Prior degrees of freedom", 5, 2, 100000, "--prior-df"),
    Real(SettingId::PriorVariance, SettingsPage::Advanced, &StudySettings::priorVariance, "Prior variance",
         2.0, 0.1, 100.0, "--prior-variance"),
    Switch(SettingId::EffectsCoding, SettingsPage::Advanced, &StudySettings::effectsCoding,
           "Use effects coding", true, "--effects-coding", "--dummy-coding", "Use dummy coding"),
    Integer(SettingId::RandomSeed, SettingsPage::Advanced, &StudySettings::randomSeed, "Random starting seed",
            0, 0, 32000, "--seed", "; 0: the time of day"),
};

constexpr bool RowsFollowTheirIds() {
    for (size_t i = 0; i < kSchema.size(); ++i) {
        if (static_cast<size_t>(kSchema[i].id) != i) return false;
    }
    return true;
}
static_assert(RowsFollowTheirIds(), "Setting(id) indexes the rows by id");

// How a range's ends are written in messages and help: "%d" for an integer, "%.1f" for a real.
std::string RangeEnd(const SettingDescriptor& setting, double end) {
    if (setting.type == SettingType::Real) return Format("%.1f", end);
    return Format("%d", static_cast<int32_t>(end));
}

}  // namespace

std::span<const SettingDescriptor> SettingsSchema() { return kSchema; }

const SettingDescriptor& Setting(SettingId id) { return kSchema[static_cast<size_t>(id)]; }

std::string FormatSetting(const SettingDescriptor& setting, const StudySettings& settings) {
    switch (setting.type) {
        case SettingType::Integer:
            return Format("%d", settings.*setting.integerField);
        case SettingType::Real:
            return Format("%5.2lf", settings.*setting.realField);
        case SettingType::Switch:
            return Format("%d", settings.*setting.switchField ? 1 : 0);
    }
    return std::string();
}

void ReadSetting(const SettingDescriptor& setting, std::string_view text, StudySettings& settings) {
    switch (setting.type) {
        case SettingType::Integer:
            settings.*setting.integerField = LeadingInt(text);
            break;
        case SettingType::Real:
            settings.*setting.realField = LeadingDouble(text);
            break;
        case SettingType::Switch:
            settings.*setting.switchField = LeadingInt(text) != 0;
            break;
    }
}

void CopySetting(const SettingDescriptor& setting, const StudySettings& from, StudySettings& to) {
    switch (setting.type) {
        case SettingType::Integer:
            to.*setting.integerField = from.*setting.integerField;
            break;
        case SettingType::Real:
            to.*setting.realField = from.*setting.realField;
            break;
        case SettingType::Switch:
            to.*setting.switchField = from.*setting.switchField;
            break;
    }
}

void ResetSetting(const SettingDescriptor& setting, StudySettings& settings) {
    switch (setting.type) {
        case SettingType::Integer:
            settings.*setting.integerField = static_cast<int32_t>(setting.defaultValue);
            break;
        case SettingType::Real:
            settings.*setting.realField = setting.defaultValue;
            break;
        case SettingType::Switch:
            settings.*setting.switchField = setting.defaultValue != 0.0;
            break;
    }
}

double SettingValue(const SettingDescriptor& setting, const StudySettings& settings) {
    switch (setting.type) {
        case SettingType::Integer:
            return settings.*setting.integerField;
        case SettingType::Real:
            return settings.*setting.realField;
        case SettingType::Switch:
            return settings.*setting.switchField ? 1.0 : 0.0;
    }
    return 0.0;
}

bool SettingInRange(const SettingDescriptor& setting, const StudySettings& settings) {
    if (setting.type == SettingType::Switch) return true;
    const double value = SettingValue(setting, settings);
    // Written so that NaN, which a settings file can hold as "nan", fails every range.
    return setting.low <= value && value <= setting.high;
}

std::string RangeMessage(const SettingDescriptor& setting) {
    const char* kind = setting.type == SettingType::Real ? "a number" : "an integer";
    return Format("'%s' must be %s between %s and %s.", setting.label, kind,
                  RangeEnd(setting, setting.low).c_str(), RangeEnd(setting, setting.high).c_str());
}

std::string OptionHelp(const SettingDescriptor& setting) {
    if (setting.type == SettingType::Switch) return setting.label;
    return Format("%s (%s to %s%s)", setting.label, RangeEnd(setting, setting.low).c_str(),
                  RangeEnd(setting, setting.high).c_str(), setting.helpNote);
}

const char* OptionValueName(const SettingDescriptor& setting) {
    return setting.type == SettingType::Real ? "X" : "N";
}

}  // namespace ombrel
