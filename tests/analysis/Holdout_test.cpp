// Holdout validation on the two-respondent study: the subset file keeps task 1, so tasks 2 and 3
// are the holdout tasks.

#include "analysis/Holdout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "common/StudyFiles.h"
#include "tests/analysis/TwoRespondentStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::FailureMessage;
using test::ReadFileText;
using test::WriteFileText;

double Logit(const std::vector<double>& utilities, size_t k) {
    double sum = 0.0;
    for (double utility : utilities) sum += std::exp(utility);
    return 100.0 * std::exp(utilities[k]) / sum;
}

// Utilities (concept 1, concept 2, None), price coded as its value less 4:
//   task 2, (1 1 1) and (2 3 2): 101 (2.05, -1.05, 0.2), chooses 1: a hit;
//                                102 (2, -2, -0.5), chooses None: a miss
//   task 3, (3 2 2) and (1 3 1): 101 (-1.25, 0.45, 0.2), chooses 2: a hit;
//                                102 (-1, 1, -0.5), chooses 2: a hit
const std::vector<double> kTask2Of101 = {2.05, -1.05, 0.2};
const std::vector<double> kTask2Of102 = {2.0, -2.0, -0.5};
const std::vector<double> kTask3Of101 = {-1.25, 0.45, 0.2};
const std::vector<double> kTask3Of102 = {-1.0, 1.0, -0.5};

// The mean absolute difference over the three alternatives of the mean predicted shares and the
// observed ones.
double ShareMae(const std::vector<double>& first, const std::vector<double>& second,
                const std::vector<double>& observed) {
    double sum = 0.0;
    for (size_t k = 0; k < 3; ++k) sum += std::fabs((Logit(first, k) + Logit(second, k)) / 2 - observed[k]);
    return sum / 3;
}

class HoldoutTest : public ::testing::Test {
protected:
    void SetUp() override { study_ = *StudyFiles::ForDataFile(test::WriteShopStudy(root_.Folder())); }
    test::TempDir root_;
    StudyFiles study_ = *StudyFiles::ForDataFile("x.cho");
};

// Task 2: hits 1 of 2; observed shares 50, 0, 50. Task 3: hits 2 of 2; observed 0, 100, 0.
// Predicted task 2: (83.17 + 90.88) / 2 = 87.03, (3.75 + 1.66) / 2 = 2.71, (13.08 + 7.46) / 2 = 10.27,
// so the MAE is (37.03 + 2.71 + 39.73) / 3 = 26.49. "all": 3 hits of 4, the mean of the two MAE.
TEST_F(HoldoutTest, HitRatesAndShareErrorsMatchAHandComputation) {
    const HoldoutResult result = ComputeHoldout(study_);
    ASSERT_FALSE(result.nothingToHoldOut);
    ASSERT_EQ(result.tasks.size(), 2u);
    const double mae2 = ShareMae(kTask2Of101, kTask2Of102, {50, 0, 50});
    const double mae3 = ShareMae(kTask3Of101, kTask3Of102, {0, 100, 0});
    EXPECT_EQ(result.tasks[0].task, 2);
    EXPECT_DOUBLE_EQ(result.tasks[0].hitRate, 50.0);
    EXPECT_NEAR(result.tasks[0].shareMae, mae2, 1e-9);
    EXPECT_DOUBLE_EQ(result.tasks[1].hitRate, 100.0);
    EXPECT_NEAR(result.tasks[1].shareMae, mae3, 1e-9);
    EXPECT_DOUBLE_EQ(result.all.hitRate, 75.0);
    EXPECT_NEAR(result.all.shareMae, (mae2 + mae3) / 2, 1e-9);
    EXPECT_EQ(result.respondentsWithoutPartWorths, 1);  // 103
    EXPECT_EQ(HoldoutCsv(result),
              "task,hit_rate,share_mae,respondents\n"
              "2,50.0000,26.4874,2\n"
              "3,100.0000,25.1352,2\n"
              "all,75.0000,25.8113,4\n");
    WriteHoldout(study_, result);
    EXPECT_EQ(ReadFileText(root_.File("shop_holdout.csv")), HoldoutCsv(result));
    const std::string table = HoldoutTable(result);
    EXPECT_NE(table.find("\n  Task  Respondents    Hit rate   Share MAE\n"
                         "     2            2       50.00       26.49\n"
                         "     3            2      100.00       25.14\n"
                         "   all            4       75.00       25.81\n"),
              std::string::npos)
        << table;
    EXPECT_NE(table.find("\n1 respondent of the data file without part-worths is not scored.\n"),
              std::string::npos);
}

TEST_F(HoldoutTest, NothingToHoldOutWithoutASubsetOrWhenItKeepsEveryTask) {
    std::remove(study_.TaskSubset().c_str());
    HoldoutResult result = ComputeHoldout(study_);
    EXPECT_TRUE(result.nothingToHoldOut);
    EXPECT_EQ(HoldoutTable(result),
              "The study has no task subset file " + study_.TaskSubset() +
                  ", so every task was used in the estimation: there is nothing to hold out.\n");
    WriteFileText(study_.TaskSubset(), "3 1 2\n");
    result = ComputeHoldout(study_);
    EXPECT_TRUE(result.nothingToHoldOut);
    EXPECT_EQ(HoldoutTable(result), "The task subset file " + study_.TaskSubset() +
                                        " keeps every task of the data, so every task was used in the "
                                        "estimation: there is nothing to hold out.\n");
}

// The same study as allocation data, task 2 held out: 101 gives (6, 4, 0) points, 102 (5, 0, 5).
// 101's most points go to concept 1, its best: a hit. 102's best, concept 1, shares the most points
// with None: half a hit. Observed shares (60 + 50) / 2 = 55, (40 + 0) / 2 = 20, (0 + 50) / 2 = 25.
TEST_F(HoldoutTest, AllocationDataIsScoredByItsPoints) {
    WriteFileText(root_.File("shop.chs"),
                  "101 0 3 2 1\n3\n1 1 1 10\n2 2 2 0\n0 0 0 0\n3\n1 1 1 6\n2 3 2 4\n0 0 0 0\n"
                  "102 0 3 2 1\n3\n1 1 1 0\n2 2 2 10\n0 0 0 0\n3\n1 1 1 5\n2 3 2 0\n0 0 0 5\n");
    const StudyFiles allocation = *StudyFiles::ForDataFile(root_.File("shop.chs"));
    const HoldoutResult result = ComputeHoldout(allocation);
    ASSERT_EQ(result.tasks.size(), 1u);
    EXPECT_DOUBLE_EQ(result.tasks[0].hitRate, 75.0);
    EXPECT_NEAR(result.tasks[0].shareMae, ShareMae(kTask2Of101, kTask2Of102, {55, 20, 25}), 1e-9);
    EXPECT_EQ(result.respondentsWithoutPartWorths, 0);
}

TEST_F(HoldoutTest, DataThatDoNotFitTheResults) {
    const auto message = [&] { return FailureMessage([&] { ComputeHoldout(study_); }); };
    std::string data = test::kShopChoices;
    WriteFileText(study_.DataFile(),
                  data.substr(0, data.rfind("3 0\n")) + "4 0\n" + data.substr(data.rfind("3 0\n") + 4));
    EXPECT_EQ(message(), study_.DataFile() +
                             ", line 35: respondent 102: task 2 chooses concept 4; it has 3 (0: no choice)");
    WriteFileText(study_.DataFile(),
                  data.substr(0, data.rfind("1 3 1\n")) + "1 4 1\n" + data.substr(data.rfind("1 3 1\n") + 6));
    EXPECT_EQ(message(),
              "The data file " + study_.DataFile() +
                  ": respondent 102, task 3 holds a level code for the linear attribute 2 that lies "
                  "outside its levels 0 to 3.");
    WriteFileText(study_.DataFile(), data.substr(0, data.find("102 0 3 3 1")));
    EXPECT_EQ(
        message(),
        "The part-worth file " + study_.PartWorths() + " holds respondent 102, whom the data file " +
            study_.DataFile() +
            " does not hold in that order; the results belong to other data.  Estimate the study again.");
}

// Estimated without None (the effects file has no 0): 102's None choice in task 2 has no utility to
// be predicted with and is not scored; 101's choices are scored over the two concepts alone.
TEST_F(HoldoutTest, NoneAnswersOfAStudyWithoutNoneAreNotScored) {
    WriteFileText(study_.Effects(), "1 -2 3\n");
    WriteFileText(study_.PartWorths(),
                  "3 0 6 1 1\n3 1 2 \n1 0 0 \n0 -1 0 \n0 0 1 \n"
                  "1 1 Alpha\n1 2 Beta\n1 3 Gamma\n2 1 Price per pack\n3 1 Small\n3 2 Large\n"
                  "    101     650  0 6 0\n  1.000   0.000  -1.000  -0.400   0.250  -0.250 \n"
                  "    102     720  0 6 0\n  0.500  -0.500   0.000  -0.250   1.000  -1.000 \n");
    const HoldoutResult result = ComputeHoldout(study_);
    EXPECT_EQ(result.noneAnswersNotScored, 1);
    ASSERT_EQ(result.tasks.size(), 2u);
    EXPECT_EQ(result.tasks[0].respondents, 1);
    EXPECT_DOUBLE_EQ(result.tasks[0].hitRate, 100.0);
    // 101 in task 2: concept utilities 2.05 and -1.05 predict p = 100 / (1 + e^-3.1) = 95.69 and
    // 100 - p against the observed 100 and 0: both miss by 100 - p.
    const double predicted = 100.0 / (1.0 + std::exp(-3.1));
    EXPECT_NEAR(result.tasks[0].shareMae, 100.0 - predicted, 1e-9);
    EXPECT_NE(HoldoutTable(result).find(
                  "1 answer to the None alternative is not scored: the study was estimated without None.\n"),
              std::string::npos);
}

}  // namespace
}  // namespace ombrel
