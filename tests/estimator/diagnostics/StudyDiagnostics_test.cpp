#include "estimator/diagnostics/StudyDiagnostics.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/estimator/diagnostics/DiagnosticsStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using test::AlphaValue;
using test::FailureMessage;
using test::VarianceValue;
using test::WriteFileText;

class StudyDiagnosticsTest : public ::testing::Test {
protected:
    void SetUp() override { WriteFileText(dir_.File("qebatt.tmp"), test::kTwoAttributeLabels); }

    // Chains 1 .. count with draws used of lines each, seeds 10 + k.
    void WriteChains(int count, int draws, int lines) {
        for (int k = 1; k <= count; ++k) test::WriteRun(study_.ForChain(k), k, draws, lines, 10 + k);
    }
    std::string Failure(int chains) {
        return FailureMessage([&] { DiagnoseStudy(study_, chains, meter_); });
    }
    std::string Chain(int k, const char* extension) const { return study_.ForChain(k).Name() + extension; }

    test::TempDir dir_;
    StudyFiles study_ = *StudyFiles::ForDataFile(dir_.File("coffee.cho"));
    test::RevealingMeter meter_;
};

TEST_F(StudyDiagnosticsTest, EveryChainGivesTheLastDrawsLinesOfEachQuantityChainAfterChain) {
    WriteChains(3, 4, 7);  // three earlier lines of preliminary iterations
    const DiagnosticsReport report = DiagnoseStudy(study_, 3, meter_);
    EXPECT_EQ(report.studyName, "coffee");
    EXPECT_EQ(report.seeds, (std::vector<int32_t>{11, 12, 13}));
    EXPECT_EQ(report.drawsPerChain, 4);
    EXPECT_FALSE(report.respondents.has_value());
    ASSERT_EQ(report.quantities.size(), 10u);
    const std::vector<std::string> labels = {"Brand A", "Brand, B", "Brand C",  "Red", "Blue",
                                             "NONE",    "Brand A",  "Brand, B", "Red", "NONE"};
    for (size_t q = 0; q < 10; ++q) {
        const QuantityDiagnostics& quantity = report.quantities[q];
        const bool alpha = q < 6;
        const int index = alpha ? static_cast<int>(q) : static_cast<int>(q) - 6;
        auto value = [&](int chain, int line) {
            return alpha ? AlphaValue(chain, line, index) : VarianceValue(chain, line, index);
        };
        EXPECT_EQ(quantity.kind, alpha ? QuantityKind::Alpha : QuantityKind::Variance);
        EXPECT_EQ(quantity.index, index + 1);
        EXPECT_EQ(quantity.label, labels[q]);
        EXPECT_DOUBLE_EQ(quantity.measures.mean, value(1, 4));  // the first used line of chain 1
        EXPECT_DOUBLE_EQ(quantity.measures.sd, value(3, 7));    // the last line of chain 3
        EXPECT_EQ(quantity.measures.rhat, 12.0);
        EXPECT_EQ(quantity.measures.essBulk, 3.0);
        EXPECT_DOUBLE_EQ(quantity.measures.essTail, value(3, 4));
    }
}

TEST_F(StudyDiagnosticsTest, OneChainIsTheStudysOwnRun) {
    test::WriteRun(study_, 1, 2, 2, 0);
    const DiagnosticsReport report = DiagnoseStudy(study_, 1, meter_);
    EXPECT_EQ(report.seeds, (std::vector<int32_t>{0}));
    EXPECT_DOUBLE_EQ(report.quantities[0].measures.mean, AlphaValue(1, 1, 0));
    EXPECT_EQ(report.quantities[0].measures.rhat, 2.0);
    EXPECT_EQ(FailureMessage([&] { DiagnoseStudy(study_, 0, meter_); }),
              "A diagnosis needs at least one chain, not 0.");
}

TEST_F(StudyDiagnosticsTest, ChainsOfDifferentLengthsOrModelsAreRefused) {
    WriteChains(2, 3, 5);
    test::WriteHistories(study_.ForChain(2), 2, 6);
    EXPECT_EQ(Failure(2), Chain(2, ".alp") + " holds 6 lines but " + Chain(1, ".alp") +
                              " holds 5: the chains ran for different lengths.");
    test::WriteHistories(study_.ForChain(2), 2, 5, 7, 4);
    EXPECT_EQ(Failure(2), Chain(2, ".alp") + " holds 7 values a line but " + Chain(1, ".alp") +
                              " holds 6: the chains estimated different models.");
    test::WriteHistories(study_.ForChain(2), 2, 5, 6, 5);
    EXPECT_EQ(Failure(2), Chain(2, ".cov") + " holds 15 values a line but " + Chain(1, ".cov") +
                              " holds 10: the chains estimated different models.");
    test::WriteHistories(study_.ForChain(2), 2, 5);
    test::WriteSettings(study_.ForChain(2), 4, 1);
    EXPECT_EQ(Failure(2), "The settings file " + Chain(2, ".set") + " gives 4 draws per respondent but " +
                              Chain(1, ".set") + " gives 3.");
}

TEST_F(StudyDiagnosticsTest, OneRunsHistoriesOfDifferentLengthsOrTooShortAreRefused) {
    WriteChains(2, 3, 5);
    const std::string alpha = test::ReadFileText(Chain(1, ".alp"));
    WriteFileText(Chain(1, ".alp"), alpha.substr(0, alpha.rfind('\n', alpha.size() - 2) + 1));
    EXPECT_EQ(Failure(2), Chain(1, ".alp") + " holds 4 lines but " + Chain(1, ".cov") +
                              " holds 5: they come from different runs.");
    test::WriteSettings(study_.ForChain(1), 6, 1);
    EXPECT_EQ(Failure(2), Chain(1, ".alp") + " holds 4 lines, fewer than the 6 draws the run used.");
    test::WriteSettings(study_.ForChain(1), 0, 1);
    EXPECT_EQ(Failure(2), "The settings file " + Chain(1, ".set") + " gives 0 draws per respondent.");
}

TEST_F(StudyDiagnosticsTest, AMissingFileIsNamed) {
    EXPECT_EQ(Failure(1), "The settings file " + study_.Settings() + " could not be opened.");
    test::WriteSettings(study_, 3, 1);
    EXPECT_EQ(Failure(1), "The history file " + study_.AlphaHistory() + " could not be opened.");
    WriteChains(2, 3, 5);
    fs::remove(Chain(2, ".cov"));
    EXPECT_EQ(Failure(2), "The history file " + Chain(2, ".cov") + " could not be opened.");
    WriteChains(2, 3, 5);
    EXPECT_EQ(Failure(3), "The settings file " + Chain(3, ".set") + " could not be opened.");
}

TEST_F(StudyDiagnosticsTest, LabelsComeFromThePreparedLabelFileWithoutALayout) {
    WriteChains(2, 3, 3);
    WriteFileText(study_.ForChain(1).Layout(), "1 1 Brand A\n1 2 Brand, B\nNONE\n");
    EXPECT_EQ(Failure(2),
              Chain(1, ".lay") + " gives 3 level labels where the histories hold 6 values a line.");
    fs::remove(study_.ForChain(1).Layout());
    EXPECT_EQ(DiagnoseStudy(study_, 2, meter_).quantities[1].label, "Brand, B");
    fs::remove(dir_.File("qebatt.tmp"));
    EXPECT_EQ(Failure(2), "Neither the layout file " + Chain(1, ".lay") + " nor the attribute label file " +
                              dir_.File("qebatt.tmp") + " is there to label the levels.");
    // Without the model the parameters have no level to name.
    test::WriteRun(study_.ForChain(1), 1, 3, 3, 11);
    const DiagnosticsReport report = DiagnoseStudy(study_, 2, meter_);
    EXPECT_EQ(report.quantities[5].label, "NONE");
    EXPECT_EQ(report.quantities[6].label, "parameter 1");
    EXPECT_EQ(report.quantities[9].label, "parameter 4");
}

TEST_F(StudyDiagnosticsTest, ChainFoldersAreUsedWhenThereAreTwoNewerThanTheStudysOwn) {
    EXPECT_EQ(DetectChainCount(study_), 1);
    WriteChains(1, 2, 2);
    EXPECT_EQ(DetectChainCount(study_), 1);
    WriteChains(3, 2, 2);
    EXPECT_EQ(DetectChainCount(study_), 3);
    fs::remove(Chain(2, ".alp"));
    EXPECT_EQ(DetectChainCount(study_), 1);  // consecutive folders only
    WriteChains(3, 2, 2);
    test::WriteRun(study_, 1, 2, 2, 5);
    const auto now = fs::last_write_time(Chain(1, ".alp"));
    fs::last_write_time(study_.AlphaHistory(), now + std::chrono::seconds(5));
    EXPECT_EQ(DetectChainCount(study_), 1);
    fs::last_write_time(study_.AlphaHistory(), now - std::chrono::seconds(5));
    EXPECT_EQ(DetectChainCount(study_), 3);
}

}  // namespace
}  // namespace ombrel
