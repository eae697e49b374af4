#include "apps/ombrel/SettingOptions.h"

#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace ombrel {
namespace {

// Parses the arguments as `ombrel estimate` options and applies them to a default record.
class SettingOptionsTest : public ::testing::Test {
protected:
    StudySettings Apply(std::vector<std::string> arguments) {
        CLI::App command("estimate");
        SettingOptions options;
        options.AddTo(command);
        std::reverse(arguments.begin(), arguments.end());  // CLI11 takes them last first
        command.parse(arguments);
        StudySettings settings;
        options.ApplyTo(settings);
        return settings;
    }
};

std::string ValueText(const SettingDescriptor& setting, double value) {
    return setting.type == SettingType::Real ? std::to_string(value)
                                             : std::to_string(static_cast<int32_t>(value));
}

TEST_F(SettingOptionsTest, EveryValueOptionSetsItsSettingAndNothingElse) {
    const StudySettings defaults;
    for (const SettingDescriptor& setting : SettingsSchema()) {
        if (setting.type == SettingType::Switch) continue;
        for (double value : {setting.low, setting.high}) {
            const StudySettings settings = Apply({setting.flag, ValueText(setting, value)});
            EXPECT_DOUBLE_EQ(SettingValue(setting, settings), value) << setting.flag;
            for (const SettingDescriptor& other : SettingsSchema()) {
                if (other.id == setting.id) continue;
                EXPECT_EQ(SettingValue(other, settings), SettingValue(other, defaults)) << setting.flag;
            }
        }
    }
}

TEST_F(SettingOptionsTest, EverySwitchHasAnOnAndAnOffFlagThatExcludeEachOther) {
    for (const SettingDescriptor& setting : SettingsSchema()) {
        if (setting.type != SettingType::Switch) continue;
        EXPECT_EQ(SettingValue(setting, Apply({setting.flag})), 1.0) << setting.flag;
        EXPECT_EQ(SettingValue(setting, Apply({setting.offFlag})), 0.0) << setting.offFlag;
        EXPECT_THROW(Apply({setting.flag, setting.offFlag}), CLI::ExcludesError) << setting.flag;
    }
}

TEST_F(SettingOptionsTest, TextThatIsNotANumberFallsOutsideTheRange) {
    for (const SettingDescriptor& setting : SettingsSchema()) {
        if (setting.type == SettingType::Switch) continue;
        for (const char* text : {"", "12abc", "++3", "1e2", "nan"}) {
            const StudySettings settings = Apply({setting.flag, text});
            EXPECT_FALSE(SettingInRange(setting, settings)) << setting.flag << " " << text;
        }
        const StudySettings blanks = Apply({setting.flag, " +" + ValueText(setting, setting.high) + " "});
        EXPECT_DOUBLE_EQ(SettingValue(setting, blanks), setting.high) << setting.flag;
    }
}

TEST_F(SettingOptionsTest, NoOptionLeavesTheStudysValues) {
    const StudySettings settings = Apply({});
    const StudySettings defaults;
    for (const SettingDescriptor& setting : SettingsSchema()) {
        EXPECT_EQ(SettingValue(setting, settings), SettingValue(setting, defaults)) << setting.label;
    }
}

}  // namespace
}  // namespace ombrel
