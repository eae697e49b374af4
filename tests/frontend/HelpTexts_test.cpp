#include "frontend/HelpTexts.h"

#include <gtest/gtest.h>

#include <string>

#include "frontend/AdvancedSettingsLogic.h"
#include "frontend/MainWindowLogic.h"
#include "platform/ScriptedMessenger.h"

namespace ombrel {
namespace {

TEST(HelpTexts, ShortTextsAreExact) {
    EXPECT_EQ(MainWindowHelpText(MainControl::AdvancedSettings), "Modify the advanced settings.");
    EXPECT_EQ(MainWindowHelpText(MainControl::EstimateParameters),
              "Estimate parameters for each respondent.");
    EXPECT_EQ(AdvancedSettingsHelpText(AdvancedControl::Ok),
              "Save these options and return to the main window.");
    EXPECT_EQ(AdvancedSettingsHelpText(AdvancedControl::Cancel),
              "Ignore any changes made and return to the main window.");
    EXPECT_EQ(AdvancedSettingsHelpText(AdvancedControl::RandomSeed),
              "Use this value to seed the random number generator.  0 means to use the time of day as the "
              "seed.  If for some reason you need your results to be repeatable, use an integer between "
              "1-32000.");
}

TEST(HelpTexts, LongTextsKeepTheirLineBreaksAndTypographicApostrophe) {
    const std::string skip = MainWindowHelpText(MainControl::DrawSkip);
    EXPECT_NE(skip.find("only about 30%.  This means"), std::string::npos);
    EXPECT_NE(skip.find("identical.\n\nTo decrease"), std::string::npos);
    const std::string ending = "but that will increase the number of iterations that must be done.";
    ASSERT_GE(skip.size(), ending.size());
    EXPECT_EQ(skip.substr(skip.size() - ending.size()), ending);
    const std::string variance = AdvancedSettingsHelpText(AdvancedControl::PriorVariance);
    EXPECT_NE(variance.find("each individual\xE2\x80\x99s data"), std::string::npos);
    const std::string draws = MainWindowHelpText(MainControl::SaveDraws);
    EXPECT_NE(draws.find("computed `on the fly' and"), std::string::npos);
}

TEST(HelpTexts, AreaStartsEmptyAndKeepsTheLastTextForRestoreDefaults) {
    StudySettings settings;
    ScriptedMessenger messenger;
    AdvancedSettingsLogic logic(settings, messenger);
    EXPECT_EQ(logic.HelpText(), "");
    logic.Focus(AdvancedControl::Ok);
    logic.Focus(AdvancedControl::RestoreDefaults);
    EXPECT_EQ(logic.HelpText(), "Save these options and return to the main window.");
    EXPECT_EQ(MainWindowHelpText(MainControl::RestoreDefaults), "");
}

}  // namespace
}  // namespace ombrel
