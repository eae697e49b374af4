#include "common/SettingsSchema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/StudySettings.h"
#include "common/TextSource.h"
#include "platform/ScriptedMessenger.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::ReadFileText;
using test::TempDir;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// A value inside the range that is not the default and survives "%5.2lf": the upper end for an
// integer, a quarter below it for a real, the other state for a switch.
void SetNonDefault(const SettingDescriptor& setting, StudySettings& settings) {
    switch (setting.type) {
        case SettingType::Integer:
            settings.*setting.integerField = static_cast<int32_t>(setting.high);
            break;
        case SettingType::Real:
            settings.*setting.realField = setting.high - 0.25;
            break;
        case SettingType::Switch:
            settings.*setting.switchField = setting.defaultValue == 0.0;
            break;
    }
}

void SetValue(const SettingDescriptor& setting, double value, StudySettings& settings) {
    if (setting.type == SettingType::Integer) {
        settings.*setting.integerField = static_cast<int32_t>(value);
    } else {
        settings.*setting.realField = value;
    }
}

bool Validate(const SettingDescriptor& setting, const StudySettings& settings, Messenger& messenger) {
    return setting.page == SettingsPage::Main ? settings.ValidateMainSettings(messenger)
                                              : settings.ValidateAdvancedSettings(messenger);
}

// Steps just outside each end: one for an integer, a tenth (the precision the ranges are written
// with) for a real.
double Step(const SettingDescriptor& setting) { return setting.type == SettingType::Integer ? 1.0 : 0.1; }

TEST(SettingsSchema, ElevenRowsWithOneFieldEachAndDistinctFlags) {
    ASSERT_EQ(SettingsSchema().size(), 11u);
    std::set<std::string> flags;
    for (const SettingDescriptor& setting : SettingsSchema()) {
        const int fields = (setting.integerField != nullptr) + (setting.realField != nullptr) +
                           (setting.switchField != nullptr);
        EXPECT_EQ(fields, 1) << setting.label;
        EXPECT_TRUE(flags.insert(setting.flag).second) << setting.flag;
        if (setting.type == SettingType::Switch) {
            ASSERT_NE(setting.offFlag, nullptr) << setting.label;
            EXPECT_TRUE(flags.insert(setting.offFlag).second) << setting.offFlag;
        }
        EXPECT_EQ(&Setting(setting.id), &setting);
    }
}

TEST(SettingsSchema, DefaultsAreTheRecordsAndPassBothValidations) {
    StudySettings settings;
    for (const SettingDescriptor& setting : SettingsSchema()) {
        EXPECT_EQ(SettingValue(setting, settings), setting.defaultValue) << setting.label;
        EXPECT_TRUE(SettingInRange(setting, settings)) << setting.label;
    }
    settings.dataFileName = "/s/a.chs";
    ScriptedMessenger messenger;
    EXPECT_TRUE(settings.ValidateMainSettings(messenger));
    EXPECT_TRUE(settings.ValidateAdvancedSettings(messenger));
    EXPECT_TRUE(messenger.Entries().empty());
}

// Each setting alone, changed from its default, is saved on its own line and read back exactly;
// every other line keeps the default's text.
TEST(SettingsSchema, EverySettingRoundTripsThroughTheFileOnItsOwnLine) {
    TempDir dir;
    ScriptedMessenger messenger;
    StudySettings defaults;
    defaults.dataFileName = dir.File("study.chs");
    defaults.namesFolder = dir.Path().string();
    ASSERT_TRUE(defaults.SaveSettings(messenger));
    const std::vector<std::string> defaultLines = Lines(ReadFileText(dir.File("study.set")));
    ASSERT_EQ(defaultLines.size(), 11u);

    for (const SettingDescriptor& setting : SettingsSchema()) {
        StudySettings saved(defaults);
        SetNonDefault(setting, saved);
        ASSERT_TRUE(saved.SaveSettings(messenger)) << setting.label;
        const std::vector<std::string> lines = Lines(ReadFileText(dir.File("study.set")));
        ASSERT_EQ(lines.size(), 11u);
        const size_t row = static_cast<size_t>(setting.id);
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i] != defaultLines[i], i == row) << setting.label << ", line " << i + 1;
        }

        StudySettings loaded;
        loaded.namesFolder = dir.Path().string();
        loaded.LoadSettings(messenger);
        EXPECT_EQ(loaded.dataFileName, saved.dataFileName);
        for (const SettingDescriptor& other : SettingsSchema()) {
            EXPECT_EQ(SettingValue(other, loaded), SettingValue(other, saved))
                << setting.label << ": " << other.label;
        }
    }
    EXPECT_TRUE(messenger.Entries().empty());
}

TEST(SettingsSchema, RangeEndsPassAndOneStepOutsideShowsTheSettingsMessage) {
    for (const SettingDescriptor& setting : SettingsSchema()) {
        if (setting.type == SettingType::Switch) continue;
        StudySettings settings;
        settings.dataFileName = "/s/a.chs";
        for (double inside : {setting.low, setting.high}) {
            ScriptedMessenger messenger;
            SetValue(setting, inside, settings);
            EXPECT_TRUE(Validate(setting, settings, messenger)) << setting.label << " at " << inside;
            EXPECT_TRUE(messenger.Entries().empty());
        }
        for (double outside : {setting.low - Step(setting), setting.high + Step(setting)}) {
            ScriptedMessenger messenger;
            SetValue(setting, outside, settings);
            EXPECT_FALSE(Validate(setting, settings, messenger)) << setting.label << " at " << outside;
            ASSERT_EQ(messenger.Entries().size(), 1u);
            EXPECT_EQ(messenger.Entries()[0].text, RangeMessage(setting));
            EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Information);
            EXPECT_EQ(messenger.Entries()[0].text.rfind(std::string("'") + setting.label + "' must be ", 0),
                      0u);
        }
        if (setting.type == SettingType::Real) {
            ScriptedMessenger messenger;
            SetValue(setting, std::numeric_limits<double>::quiet_NaN(), settings);
            EXPECT_FALSE(Validate(setting, settings, messenger)) << setting.label << " at NaN";
        }
    }
}

TEST(SettingsSchema, MessagesAndHelpWriteTheRangeAsTheUserTypesIt) {
    EXPECT_EQ(RangeMessage(Setting(SettingId::LogSkip)),
              "'Skip factor for printing in log file' must be an integer between 1 and 100000.");
    EXPECT_EQ(RangeMessage(Setting(SettingId::PriorVariance)),
              "'Prior variance' must be a number between 0.1 and 100.0.");
    EXPECT_EQ(OptionHelp(Setting(SettingId::RandomSeed)),
              "Random starting seed (0 to 32000; 0: the time of day)");
    EXPECT_EQ(OptionHelp(Setting(SettingId::TotalTaskWeight)),
              "Total task weight (1.0 to 10.0; always 1.0 for .cho data)");
    EXPECT_EQ(OptionHelp(Setting(SettingId::SaveDraws)), "Save random draws");
    EXPECT_STREQ(OptionValueName(Setting(SettingId::DrawSkip)), "N");
    EXPECT_STREQ(OptionValueName(Setting(SettingId::PriorVariance)), "X");
}

TEST(SettingsText, WritesElevenLinesAndOneForChoiceData) {
    StudySettings settings;
    settings.dataFileName = "/s/a.chs";
    settings.totalTaskWeight = 7.5;
    EXPECT_EQ(settings.SettingsText(), "2000\n1000\n10\n100\n0\n 7.50\n1\n5\n 2.00\n1\n0\n");
    settings.dataFileName = "/s/a.Cho";
    EXPECT_EQ(settings.SettingsText(), "2000\n1000\n10\n100\n0\n 1.00\n1\n5\n 2.00\n1\n0\n");
}

TEST(SettingsText, ReadsCrLfLinesFromMemoryAndMissingLinesAsZero) {
    StudySettings settings;
    MemoryTextSource text("300 draws\r\n40\r\n3\n7\n1\n 2.50\n0\n9");
    ASSERT_TRUE(settings.ReadSettingsText(text, "a.set"));
    EXPECT_EQ(settings.preliminaryIterations, 300);
    EXPECT_EQ(settings.drawsPerRespondent, 40);
    EXPECT_EQ(settings.logSkip, 7);
    EXPECT_TRUE(settings.saveDraws);
    EXPECT_EQ(settings.totalTaskWeight, 2.5);
    EXPECT_FALSE(settings.smartStart);
    EXPECT_EQ(settings.priorDegreesOfFreedom, 9);
    EXPECT_EQ(settings.priorVariance, 0.0);
    EXPECT_FALSE(settings.effectsCoding);
    EXPECT_EQ(settings.randomSeed, 0);
}

// Gives the bytes it holds, then a read error.
class FailingTextSource final : public TextSource {
public:
    explicit FailingTextSource(std::string text) : text_(std::move(text)) {}
    bool Failed() const override { return failed_; }

protected:
    size_t Fill(char* buffer, size_t capacity) override {
        if (given_) {
            failed_ = true;
            return 0;
        }
        given_ = true;
        const size_t size = std::min(capacity, text_.size());
        text_.copy(buffer, size);
        return size;
    }

private:
    std::string text_;
    bool given_ = false;
    bool failed_ = false;
};

TEST(SettingsText, AReadErrorLeavesTheValuesAsTheyWere) {
    StudySettings settings;
    FailingTextSource text("1\n2\n3\n");
    EXPECT_FALSE(settings.ReadSettingsText(text, "a.set"));
    EXPECT_EQ(settings.preliminaryIterations, 2000);
    EXPECT_EQ(settings.drawSkip, 10);
}

TEST(NamesText, ReadsTheFirstLineUntrimmedAndRefusesErrorsAndEndlessLines) {
    std::string path;
    MemoryTextSource text(" /data/a.cho \r\nsecond line");
    ASSERT_TRUE(StudySettings::ReadNamesText(text, path));
    EXPECT_EQ(path, " /data/a.cho ");

    MemoryTextSource empty("");
    EXPECT_TRUE(StudySettings::ReadNamesText(empty, path));
    EXPECT_EQ(path, "");

    FailingTextSource failing("/data/a.cho");
    EXPECT_FALSE(StudySettings::ReadNamesText(failing, path));

    MemoryTextSource endless(std::string(64 * 1024 + 1, 'x'));
    EXPECT_FALSE(StudySettings::ReadNamesText(endless, path));
    MemoryTextSource longest(std::string(64 * 1024, 'x') + "\r\n");
    EXPECT_TRUE(StudySettings::ReadNamesText(longest, path));
    EXPECT_EQ(path.size(), 64u * 1024u);
}

}  // namespace
}  // namespace ombrel
