// ombrel importances, simulate and holdout in-process, on the two-respondent study whose figures
// the analysis tests work out by hand.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/StudyFiles.h"
#include "tests/analysis/TwoRespondentStudy.h"
#include "tests/apps/ombrel/OmbrelStreamsTest.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::WriteFileText;

const std::string& kTitle = test::kMessageTitle;

class AnalysisCommandsTest : public test::OmbrelStreamsTest {
protected:
    void SetUp() override {
        OmbrelStreamsTest::SetUp();
        data_ = test::WriteShopStudy(root_.Folder());
        scenario_ = root_.File("market.txt");
        WriteFileText(scenario_, "A 1 2 1\nB 2 6 2\nC 3 0 1\nNONE\n");
    }
    // Runs a command that must fail; its message, with nothing written beside the study.
    std::string Failure(std::vector<std::string> arguments) {
        Reopen();
        const std::vector<std::string> before = FolderEntries();
        EXPECT_EQ(RunCommand(std::move(arguments)), 1);
        EXPECT_EQ(Out(), "");
        EXPECT_EQ(FolderEntries(), before);
        return Err();
    }

    std::string data_;
    std::string scenario_;
};

TEST_F(AnalysisCommandsTest, ImportancesWritesTheCsvAndPrintsTheTable) {
    ASSERT_EQ(RunCommand({"importances", data_}), 0) << Err();
    EXPECT_EQ(ReadFileText(root_.File("shop_importances.csv")),
              "attribute,label,mean,sd\n1,Brand,36.8902,16.8153\n2,Price per pack,32.0122,9.9167\n"
              "3,Size,31.0976,26.7321\n");
    EXPECT_EQ(Out(),
              "Attribute importances in percent, over 2 respondents\n\n"
              "Attribute  Label               Mean        SD\n"
              "        1  Brand              36.89     16.82\n"
              "        2  Price per pack     32.01      9.92\n"
              "        3  Size               31.10     26.73\n"
              "\nWritten to " +
                  root_.File("shop_importances.csv") + "\n");
    EXPECT_EQ(Err(), "");
}

TEST_F(AnalysisCommandsTest, SimulateWritesOneFilePerMethod) {
    ASSERT_EQ(RunCommand({"simulate", data_, scenario_}), 0) << Err();
    EXPECT_EQ(ReadFileText(root_.File("market_share.csv")),
              "product,share\nA,57.0611\nB,1.9342\nC,33.8215\nNONE,7.1831\n");
    EXPECT_NE(
        Out().find("Extrapolation: product C, attribute 2 (Price per pack): 0 lies outside the values 2 to 6 "
                   "of the values file.\n\nWritten to " +
                   root_.File("market_share.csv") + "\n"),
        std::string::npos)
        << Out();
    ASSERT_EQ(RunCommand({"simulate", data_, scenario_, "--exponent", "2"}), 0) << Err();
    EXPECT_EQ(ReadFileText(root_.File("market_share.csv")),
              "product,share\nA,69.6558\nB,0.0992\nC,28.9710\nNONE,1.2741\n");
    ASSERT_EQ(RunCommand({"simulate", data_, scenario_, "--method", "first-choice"}), 0) << Err();
    EXPECT_EQ(ReadFileText(root_.File("market_first-choice.csv")),
              "product,share\nA,75.0000\nB,0.0000\nC,25.0000\nNONE,0.0000\n");
    Reopen();
    EXPECT_NE(RunCommand({"simulate", data_, scenario_, "--method", "best"}), 0);
    EXPECT_NE(RunCommand({"simulate", data_, scenario_, "--exponent", "-1"}), 0);
}

TEST_F(AnalysisCommandsTest, HoldoutWritesTheTasksAndAll) {
    ASSERT_EQ(RunCommand({"holdout", data_}), 0) << Err();
    EXPECT_EQ(ReadFileText(root_.File("shop_holdout.csv")),
              "task,hit_rate,share_mae,respondents\n2,50.0000,26.4874,2\n3,100.0000,25.1352,2\n"
              "all,75.0000,25.8113,4\n");
    EXPECT_EQ(Out().substr(0, 52), "Holdout validation: 2 tasks left out of the estimati");
    // Every task used: said, and nothing written.
    fs::remove(root_.File("shop_holdout.csv"));
    WriteFileText(root_.File("shop.sub"), "1 2 3\n");
    Reopen();
    const std::vector<std::string> before = FolderEntries();
    ASSERT_EQ(RunCommand({"holdout", data_}), 0) << Err();
    EXPECT_EQ(Out(), "The task subset file " + root_.File("shop.sub") +
                         " keeps every task of the data, so every task was used in the estimation: there is "
                         "nothing to hold out.\n");
    EXPECT_EQ(FolderEntries(), before);
}

TEST_F(AnalysisCommandsTest, BadScenarioLinesFailWithTheirLineAndWriteNothing) {
    const auto scenario = [&](const std::string& text) {
        WriteFileText(scenario_, text);
        return Failure({"simulate", data_, scenario_});
    };
    EXPECT_EQ(scenario("A 1 2 1\nB 2 6\n"),
              kTitle + scenario_ + ", line 2: product B has 2 levels; the study has 3 attributes\n");
    EXPECT_EQ(
        scenario("A 1 2 3\n"),
        kTitle + scenario_ + ", line 1: level \"3\" of attribute 3 (Size) lies outside its levels 1 to 2\n");
    EXPECT_EQ(scenario("A 1 2 1\nA 2 2 2\n"), kTitle + scenario_ + ", line 2: the name A is used twice\n");
    fs::remove(scenario_);
    EXPECT_EQ(Failure({"simulate", data_, scenario_}),
              kTitle + "The scenario file " + scenario_ + " could not be opened.\n");
}

TEST_F(AnalysisCommandsTest, DamagedOrMissingResultsFailAndWriteNothing) {
    const std::string hbu = root_.File("shop.hbu");
    std::string damaged = test::kShopHbu;
    damaged.replace(damaged.rfind("-0.500"), 6, "-0.5x0");
    WriteFileText(hbu, damaged);
    const std::string valueMessage =
        hbu + ", line 16: the record of respondent 102: a value is \"-0.5x0\", not a finite number\n";
    EXPECT_EQ(Failure({"importances", data_}), kTitle + valueMessage);
    EXPECT_EQ(Failure({"simulate", data_, scenario_}), kTitle + valueMessage);
    EXPECT_EQ(Failure({"holdout", data_}), kTitle + valueMessage);
    WriteFileText(hbu, test::kShopHbu.substr(0, test::kShopHbu.size() - 10));
    EXPECT_EQ(
        Failure({"importances", data_}),
        kTitle + hbu + ", line 16: the record of respondent 102: a value is missing (the file ends here)\n");
    WriteFileText(hbu, test::kShopHbuHead);
    EXPECT_EQ(Failure({"importances", data_}),
              kTitle + "The part-worth file " + hbu + " holds no respondents.\n");
    WriteFileText(hbu, "3 1 8 1 1\n3 1 2 \n1 0 0 \n0 -1 0 \n0 0 1 \n");
    EXPECT_EQ(Failure({"importances", data_}),
              kTitle + hbu + ", line 5: the header gives 8 values per respondent, but the model has 7\n");
    fs::remove(hbu);
    const std::string noResults = kTitle + "The study " + data_ + " has no results: its part-worth file " +
                                  hbu + " is not there.  Estimate the study first.\n";
    EXPECT_EQ(Failure({"importances", data_}), noResults);
    EXPECT_EQ(Failure({"simulate", data_, scenario_}), noResults);
    EXPECT_EQ(Failure({"holdout", data_}), noResults);
}

TEST_F(AnalysisCommandsTest, DamagedDrawsOrDataFailAndWriteNothing) {
    WriteFileText(root_.File("shop.dra"), "    101     650  0 7 -1\n  1.000   0.000\n");
    EXPECT_EQ(Failure({"simulate", data_, scenario_}),
              kTitle + root_.File("shop.dra") +
                  ", line 2: draw 1 of respondent 101: a value is missing (the file ends here)\n");
    WriteFileText(root_.File("shop.cho"), "101 0 3 3 1\n2 1\n1 1 1\n2 2 2\n");
    EXPECT_EQ(
        Failure({"holdout", data_}),
        kTitle + data_ + ", line 4: respondent 101, task 1: the choice is missing (the file ends here)\n");
}

}  // namespace
}  // namespace ombrel
