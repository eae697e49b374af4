// Attribute importances, the part-worth summary and the fits, on the two-respondent study.

#include "analysis/Importances.h"

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

class ImportancesTest : public ::testing::Test {
protected:
    StudyFiles Study() { return *StudyFiles::ForDataFile(test::WriteShopStudy(root_.Folder())); }
    test::TempDir root_;
};

// Ranges per respondent (highest minus lowest level; Price |coefficient| x (6 - 2)):
//   101: Brand 1 - (-1) = 2, Price 0.4 x 4 = 1.6, Size 0.25 - (-0.25) = 0.5; sum 4.1
//        -> 48.7805, 39.0244, 12.1951
//   102: Brand 0.5 - (-0.5) = 1, Price 0.25 x 4 = 1, Size 2; sum 4 -> 25, 25, 50
// Means: (48.7805 + 25) / 2 = 36.8902, (39.0244 + 25) / 2 = 32.0122, (12.1951 + 50) / 2 = 31.0976.
// Sample sd of two values is |a - b| / sqrt(2): 23.7805 / 1.41421 = 16.8153, 14.0244 / 1.41421 =
// 9.9167, 37.8049 / 1.41421 = 26.7321. None (0.2, -0.5) takes no part.
TEST_F(ImportancesTest, RangesOverTheSumOfRangesMatchAHandComputation) {
    const ImportanceResult result = ComputeImportances(Study());
    ASSERT_EQ(result.attributes.size(), 3u);
    EXPECT_EQ(result.respondentCount, 2);
    EXPECT_NEAR(result.attributes[0].mean, (200.0 / 4.1 + 25.0) / 2, 1e-12);
    EXPECT_NEAR(result.attributes[1].mean, (160.0 / 4.1 + 25.0) / 2, 1e-12);
    EXPECT_NEAR(result.attributes[2].mean, (50.0 / 4.1 + 50.0) / 2, 1e-12);
    EXPECT_NEAR(result.attributes[0].sd, (200.0 / 4.1 - 25.0) / std::sqrt(2.0), 1e-12);
    EXPECT_EQ(ImportancesCsv(result),
              "attribute,label,mean,sd\n"
              "1,Brand,36.8902,16.8153\n"
              "2,Price per pack,32.0122,9.9167\n"
              "3,Size,31.0976,26.7321\n");
    EXPECT_EQ(ImportancesTable(result),
              "Attribute importances in percent, over 2 respondents\n\n"
              "Attribute  Label               Mean        SD\n"
              "        1  Brand              36.89     16.82\n"
              "        2  Price per pack     32.01      9.92\n"
              "        3  Size               31.10     26.73\n");
}

TEST_F(ImportancesTest, WritesTheCsvToTheStudysImportancesFile) {
    const StudyFiles study = Study();
    WriteImportances(study, ComputeImportances(study));
    EXPECT_EQ(ReadFileText(root_.File("shop_importances.csv")).substr(0, 24), "attribute,label,mean,sd\n");
}

// Without a values file nothing names an attribute; a respondent whose part-worths are all equal
// has no importances and is counted apart. Two part-worth attributes of 2 levels: respondent 1 has
// ranges 1 and 3 (25%, 75%), respondent 2 only zeros.
TEST_F(ImportancesTest, UnnamedAttributesAndRespondentsWithoutRanges) {
    WriteFileText(root_.File("two.att"), "a\n\nb\n\n\nc\n\nd\n");
    WriteFileText(root_.File("two.cho"), "");
    WriteFileText(root_.File("two.hbu"),
                  "2 0 4 1 1\n2 2 \n1 0 \n0 1 \n1 1 a\n1 2 b\n2 1 c\n2 2 d\n"
                  "      1     500  0 4 0\n  0.500  -0.500   1.500  -1.500 \n"
                  "      2     500  0 4 0\n  0.000   0.000   0.000   0.000 \n");
    const ImportanceResult result = ComputeImportances(*StudyFiles::ForDataFile(root_.File("two.cho")));
    EXPECT_EQ(result.zeroRangeRespondents, 1);
    EXPECT_EQ(ImportancesCsv(result),
              "attribute,label,mean,sd\n1,Attribute 1,25.0000,0.0000\n2,Attribute 2,75.0000,0.0000\n");
    EXPECT_NE(
        ImportancesTable(result).find("\n1 respondent with equal part-worths throughout is left out.\n"),
        std::string::npos);
}

// The interaction Brand x Size adds 3 x 2 cells; they change no range and are named.
TEST_F(ImportancesTest, InteractionsAreLeftOutAndNamed) {
    Study();
    WriteFileText(root_.File("shop.eff"), "1 -2 3 0\n1 3\n");
    WriteFileText(
        root_.File("shop.hbu"),
        "3 1 13 1 1\n3 1 2 \n1 0 1 \n0 -1 0 \n1 0 1 \n"
        "1 1 Alpha\n1 2 Beta\n1 3 Gamma\n2 1 Price per pack\n3 1 Small\n3 2 Large\n"
        "Alpha x Small\nAlpha x Large\nBeta x Small\nBeta x Large\nGamma x Small\nGamma x Large\nNONE\n"
        "    101     650  0 13 -1\n"
        "  1.000   0.000  -1.000  -0.400   0.250  -0.250   9.000  -9.000   0.000   0.000 \n"
        " -9.000   9.000   0.200 \n");
    const ImportanceResult result = ComputeImportances(*StudyFiles::ForDataFile(root_.File("shop.cho")));
    EXPECT_EQ(ImportancesCsv(result),
              "attribute,label,mean,sd\n1,Brand,48.7805,0.0000\n2,Price per pack,39.0244,0.0000\n"
              "3,Size,12.1951,0.0000\n");
    EXPECT_EQ(result.interactionsLeftOut, std::vector<std::string>{"Brand x Size"});
    // The cells do enter a concept's utility: (Alpha, $2, Small) is 1 + (-0.4)(-2) + 0.25 + 9 = 11.05,
    // (Gamma, $6, Large) -1 + (-0.4)(2) - 0.25 + 9 = 6.95.
    const AnalysisStudy study = LoadAnalysisStudy(*StudyFiles::ForDataFile(root_.File("shop.cho")));
    const std::vector<double>& values = study.partWorths.respondents[0].values;
    EXPECT_NEAR(ConceptUtility(study, CodeDataConcept(study, {1, 1, 1}), values), 11.05, 1e-12);
    EXPECT_NEAR(ConceptUtility(study, CodeDataConcept(study, {3, 3, 2}), values), 6.95, 1e-12);
    EXPECT_NE(
        ImportancesTable(result).find("Interactions are left out of the ranges; each attribute's range is "
                                      "that of its main effect:\n  Brand x Size\n"),
        std::string::npos);
}

TEST_F(ImportancesTest, SummaryOfEveryLevelAndTheFits) {
    const AnalysisStudy study = LoadAnalysisStudy(Study());
    const std::vector<LevelSummary> levels = SummarisePartWorths(study);
    ASSERT_EQ(levels.size(), 7u);
    // Brand Alpha: (1 + 0.5) / 2 = 0.75, sd 0.5 / sqrt(2); None: (0.2 - 0.5) / 2 = -0.15.
    EXPECT_EQ(levels[0].label, "Alpha");
    EXPECT_DOUBLE_EQ(levels[0].mean, 0.75);
    EXPECT_NEAR(levels[0].sd, 0.5 / std::sqrt(2.0), 1e-12);
    EXPECT_EQ(levels[3].attribute, 2);
    EXPECT_EQ(levels[3].label, "Price per pack");
    EXPECT_EQ(levels[6].attribute, 0);
    EXPECT_DOUBLE_EQ(levels[6].mean, -0.15);
    const std::vector<RespondentFit> fits = RespondentFits(study);
    ASSERT_EQ(fits.size(), 2u);
    EXPECT_EQ(fits[1].respondent, 102);
    EXPECT_DOUBLE_EQ(fits[1].rlh, 0.72);
}

TEST_F(ImportancesTest, AStudyWithoutResultsOrWithOtherResults) {
    const StudyFiles study = Study();
    std::remove(study.PartWorths().c_str());
    EXPECT_EQ(FailureMessage([&] { ComputeImportances(study); }),
              "The study " + study.DataFile() + " has no results: its part-worth file " + study.PartWorths() +
                  " is not there.  Estimate the study first.");
    WriteFileText(study.PartWorths(), test::kShopHbu);
    WriteFileText(study.Effects(), "1 2 3 0\n");
    EXPECT_EQ(FailureMessage([&] { ComputeImportances(study); }),
              "The part-worth file " + study.PartWorths() +
                  " does not match the study's attribute and effects files: attribute 2 is estimated another "
                  "way.  Estimate the study again.");
}

// Price as a linear attribute with the data file's numbers (its level codes 1 to 3 there): its range
// is 3 - 1 = 2, so 101's ranges are 2, 0.4 x 2 = 0.8 and 0.5 (sum 3.3) and 102's 1, 0.5 and 2 (sum
// 3.5). Price: (80 / 3.3 + 50 / 3.5) / 2 = 19.2641.
TEST_F(ImportancesTest, ALinearAttributeWithDataValuesSpansTheDataFilesNumbers) {
    const StudyFiles study = Study();
    WriteFileText(study.Effects(), "1 #2 3 0\n");
    const ImportanceResult result = ComputeImportances(study);
    EXPECT_NEAR(result.attributes[1].mean, (80 / 3.3 + 50 / 3.5) / 2, 1e-12);
    const AnalysisStudy loaded = LoadAnalysisStudy(study);
    EXPECT_EQ(loaded.attributes[1].low, 1.0);
    EXPECT_EQ(loaded.attributes[1].high, 3.0);
    // The data's number is the coded value itself: 101's (Alpha, 3, Small) is 1 - 0.4 x 3 + 0.25.
    EXPECT_NEAR(
        ConceptUtility(loaded, CodeDataConcept(loaded, {1, 3, 1}), loaded.partWorths.respondents[0].values),
        0.05, 1e-12);
}

}  // namespace
}  // namespace ombrel
