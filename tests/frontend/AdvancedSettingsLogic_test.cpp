#include "frontend/AdvancedSettingsLogic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ScriptedMessenger.h"

namespace ombrel {
namespace {

const std::string kDegreesMessage = "'Prior degrees of freedom' must be an integer between 2 and 100000.";
const std::string kVarianceMessage = "'Prior variance' must be a number between 0.1 and 100.0.";
const std::string kSeedMessage = "'Random starting seed' must be an integer between 0 and 32000.";
const std::string kDummyMessage = "'Use smart starting betas' cannot be used with 'Use dummy coding'.";

class AdvancedSettingsTest : public ::testing::Test {
protected:
    AdvancedSettingsTest() : logic(settings, messenger) {}

    StudySettings settings;
    ScriptedMessenger messenger;
    AdvancedSettingsLogic logic;
};

TEST_F(AdvancedSettingsTest, FillsTheFieldsWithTheirFormats) {
    logic.Initialize();
    EXPECT_TRUE(logic.DialogReady());
    EXPECT_TRUE(logic.Fields().smartStart);
    EXPECT_EQ(logic.Fields().priorDegreesOfFreedom, "5");
    EXPECT_EQ(logic.Fields().priorVariance, " 2.00");
    EXPECT_TRUE(logic.Fields().effectsCoding);
    EXPECT_EQ(logic.Fields().randomSeed, "0");
}

TEST_F(AdvancedSettingsTest, OkUntouchedLeavesTheChangedFlagClear) {
    logic.Initialize();
    EXPECT_TRUE(logic.Ok());
    EXPECT_FALSE(logic.SettingsChanged());
    EXPECT_TRUE(messenger.Entries().empty());
    EXPECT_DOUBLE_EQ(settings.priorVariance, 2.0);
}

TEST_F(AdvancedSettingsTest, EditsBeforeInitializationAreNotCounted) {
    logic.EditText(AdvancedTextField::RandomSeed, "7");
    EXPECT_FALSE(logic.SettingsChanged());
    logic.Initialize();
    logic.EditText(AdvancedTextField::RandomSeed, "7");
    EXPECT_TRUE(logic.SettingsChanged());
}

TEST_F(AdvancedSettingsTest, DummyCodingSwitchesSmartStartOffAndEffectsCodingDoesNotSwitchItBack) {
    logic.Initialize();
    logic.ClickDummyCoding();
    EXPECT_FALSE(logic.Fields().smartStart);
    EXPECT_FALSE(logic.Fields().effectsCoding);
    EXPECT_TRUE(logic.SettingsChanged());
    logic.ClickEffectsCoding();
    EXPECT_TRUE(logic.Fields().effectsCoding);
    EXPECT_FALSE(logic.Fields().smartStart);
    EXPECT_TRUE(logic.Ok());
    EXPECT_FALSE(settings.smartStart);
    EXPECT_TRUE(settings.effectsCoding);
}

TEST_F(AdvancedSettingsTest, SmartStartWithDummyCodingIsRefusedAndTheDialogStaysOpen) {
    logic.Initialize();
    logic.ClickDummyCoding();
    logic.ClickSmartStart(true);
    EXPECT_FALSE(logic.Ok());
    ASSERT_EQ(messenger.Entries().size(), 1u);
    EXPECT_EQ(messenger.Entries()[0].text, kDummyMessage);
    EXPECT_EQ(messenger.Entries()[0].icon, MessageIcon::Information);
    // The values read stay in the copy.
    EXPECT_TRUE(settings.smartStart);
    EXPECT_FALSE(settings.effectsCoding);
}

TEST_F(AdvancedSettingsTest, EmptySeedReadsAsZeroAndPasses) {
    logic.Initialize();
    logic.EditText(AdvancedTextField::RandomSeed, "");
    EXPECT_TRUE(logic.Ok());
    EXPECT_EQ(settings.randomSeed, 0);
}

TEST_F(AdvancedSettingsTest, PriorVarianceBounds) {
    logic.Initialize();
    logic.EditText(AdvancedTextField::PriorVariance, "0.1");
    EXPECT_TRUE(logic.Ok());
    EXPECT_DOUBLE_EQ(settings.priorVariance, 0.1);
    logic.EditText(AdvancedTextField::PriorVariance, "0.09");
    EXPECT_FALSE(logic.Ok());
    EXPECT_EQ(messenger.Texts(), std::vector<std::string>{kVarianceMessage});
}

TEST_F(AdvancedSettingsTest, ValidationMessagesInTheirOrder) {
    logic.Initialize();
    logic.EditText(AdvancedTextField::PriorDegreesOfFreedom, "1");
    logic.EditText(AdvancedTextField::PriorVariance, "0");
    logic.EditText(AdvancedTextField::RandomSeed, "32001");
    EXPECT_FALSE(logic.Ok());
    logic.EditText(AdvancedTextField::PriorDegreesOfFreedom, "100000");
    EXPECT_FALSE(logic.Ok());
    logic.EditText(AdvancedTextField::PriorVariance, "100.0");
    EXPECT_FALSE(logic.Ok());
    logic.EditText(AdvancedTextField::RandomSeed, "32000");
    EXPECT_TRUE(logic.Ok());
    EXPECT_EQ(messenger.Texts(), (std::vector<std::string>{kDegreesMessage, kVarianceMessage, kSeedMessage}));
    EXPECT_EQ(settings.priorDegreesOfFreedom, 100000);
    EXPECT_EQ(settings.randomSeed, 32000);
}

TEST_F(AdvancedSettingsTest, RestoreDefaultsSetsTheFiveFieldsAndCountsAsAChange) {
    settings.smartStart = false;
    settings.effectsCoding = false;
    settings.priorDegreesOfFreedom = 40;
    settings.priorVariance = 12.5;
    settings.randomSeed = 99;
    logic.Initialize();
    EXPECT_EQ(logic.Fields().priorVariance, "12.50");
    logic.RestoreDefaults();
    EXPECT_TRUE(logic.SettingsChanged());
    EXPECT_TRUE(logic.Fields().smartStart);
    EXPECT_EQ(logic.Fields().priorDegreesOfFreedom, "5");
    EXPECT_EQ(logic.Fields().priorVariance, " 2.00");
    EXPECT_TRUE(logic.Fields().effectsCoding);
    EXPECT_EQ(logic.Fields().randomSeed, "0");
    // Until OK nothing reaches the settings: a Cancel leaves them as they were.
    EXPECT_EQ(settings.priorDegreesOfFreedom, 40);
    EXPECT_DOUBLE_EQ(settings.priorVariance, 12.5);
}

}  // namespace
}  // namespace ombrel

namespace ombrel {
namespace {

// Each text field reads into its own setting and no other; together they are the advanced page's
// settings that are not switches.
TEST_F(AdvancedSettingsTest, EveryTextFieldIsBoundToItsOwnSetting) {
    size_t advancedValues = 0;
    for (const SettingDescriptor& setting : SettingsSchema()) {
        advancedValues += setting.page == SettingsPage::Advanced && setting.type != SettingType::Switch;
    }
    EXPECT_EQ(AdvancedSettingFields().size(), advancedValues);

    for (const AdvancedSettingField& bound : AdvancedSettingFields()) {
        const SettingDescriptor& setting = Setting(bound.setting);
        EXPECT_EQ(setting.page, SettingsPage::Advanced);
        StudySettings edited;
        AdvancedSettingsLogic editing(edited, messenger);
        editing.Initialize();
        editing.EditText(bound.field, setting.type == SettingType::Real ? "10.25" : "31999");
        EXPECT_TRUE(editing.Ok()) << setting.label;
        const StudySettings defaults;
        for (const SettingDescriptor& other : SettingsSchema()) {
            const double expected = other.id == setting.id
                                        ? (setting.type == SettingType::Real ? 10.25 : 31999)
                                        : SettingValue(other, defaults);
            EXPECT_EQ(SettingValue(other, edited), expected) << setting.label << ": " << other.label;
        }
    }
}

}  // namespace
}  // namespace ombrel
