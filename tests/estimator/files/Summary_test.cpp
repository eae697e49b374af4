#include "estimator/files/Summary.h"

#include <gtest/gtest.h>

#include "common/OmbrelError.h"
#include "tests/estimator/OutputModels.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::ReadFileText;
using test::TempDir;

SquareMatrix Matrix2(double s, double t, double u) {
    SquareMatrix m(2);
    m(0, 0) = s;
    m(0, 1) = m(1, 0) = t;
    m(1, 1) = u;
    return m;
}

TEST(ExpandCovariance, ThreeLevelAttributeGivesTheCovarianceOfAllLevels) {
    // Var of the derived level -(b1 + b2) is s + 2t + u; its covariances are -s-t and -t-u.
    const double s = 2.0, t = 0.5, u = 3.0;
    const SquareMatrix expanded =
        ExpandCovariance(LevelExpansion(test::SingleAttribute(3), true), Matrix2(s, t, u));
    const double expected[3][3] = {{s, t, -s - t}, {t, u, -t - u}, {-s - t, -t - u, s + 2 * t + u}};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) EXPECT_DOUBLE_EQ(expected[i][j], expanded(i, j)) << i << "," << j;
    }
}

TEST(ExpandCovariance, DummyCodingLeavesTheLastLevelAtZero) {
    const SquareMatrix expanded =
        ExpandCovariance(LevelExpansion(test::SingleAttribute(3), false), Matrix2(2.0, 0.5, 3.0));
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(0.0, expanded(2, k));
        EXPECT_EQ(0.0, expanded(k, 2));
    }
    EXPECT_EQ(0.5, expanded(0, 1));
}

TEST(HistoryLines, AlphaAndCovarianceLines) {
    std::string line;
    const double values[] = {0.5, -12.25};
    FormatLevelHistoryLine(values, 2, line);
    EXPECT_EQ("  0.500 -12.250 \n", line);
    SquareMatrix covariance = Matrix2(12345.5, -0.25, 1.0);
    FormatCovarianceHistoryLine(covariance, line);
    EXPECT_EQ("12345.500  -0.250   1.000\n", line);  // a value of 10000 or more fills its field
}

TEST(WriteSummary, PointEstimatesConstrainedBetasAndExpandedCovariance) {
    TempDir dir;
    LevelExpansion expansion(test::SingleAttribute(3), true);
    SummarySums sums;
    sums.alphaSum = {1.0, -0.5};           // mean (0.5, -0.25)
    sums.constrainedBetaSum = {0.5, 0.5};  // mean (0.25, 0.25)
    sums.covarianceSum = {4.0, 1.0, 6.0};  // mean [[2, 0.5], [0.5, 3]]
    WriteSummary(dir.File("study.sum"), sums, 2, expansion);
    EXPECT_EQ(
        "Point Estimate of Alpha\n  0.500  -0.250  -0.250 \n\n"
        "Average of Constrained Betas\n  0.250   0.250  -0.500 \n\n"
        "Estimated Covariances\n"
        " 1\n  2.000   0.500  -2.500 \n"
        " 2\n  0.500   3.000  -3.500 \n"
        " 3\n -2.500  -3.500   6.000 \n",
        ReadFileText(dir.File("study.sum")));

    sums.constrainedBetaSum.clear();
    WriteSummary(dir.File("study.sum"), sums, 2, expansion);
    EXPECT_EQ(0u, ReadFileText(dir.File("study.sum"))
                      .find("Point Estimate of Alpha\n  0.500  -0.250  -0.250 \n\n"
                            "Estimated Covariances\n"));
}

TEST(WriteSummary, BreaksLevelRowsBeforeTheEleventhValue) {
    TempDir dir;
    LevelExpansion expansion(test::SingleAttribute(12), true);
    SummarySums sums;
    sums.alphaSum.assign(11, 1.0);
    sums.covarianceSum.assign(11 * 12 / 2, 0.0);
    WriteSummary(dir.File("study.sum"), sums, 1, expansion);
    const std::string text = ReadFileText(dir.File("study.sum"));
    EXPECT_EQ(0u,
              text.find("Point Estimate of Alpha\n"
                        "  1.000   1.000   1.000   1.000   1.000   1.000   1.000   1.000   1.000   1.000 \n"
                        "  1.000 -11.000 \n\n"));
    // The derived level of a zero covariance is -(0 + ... + 0), which prints with its sign.
    EXPECT_NE(std::string::npos, text.find("\n11\n  0.000   0.000"));
    EXPECT_NE(std::string::npos, text.find("\n12\n -0.000  -0.000"));
}

TEST(WriteSummary, MoreThanAThousandLevelsWritesTheParameterCovariance) {
    // 1001 linear attributes: levelCount 1001, p 1001.
    AttributeModel model;
    const int n = 1001;
    model.attributeCount = n;
    model.levelsPerAttribute.assign(n, 1);
    model.attributeCodes.assign(n, std::vector<int>(n, 0));
    for (int i = 0; i < n; ++i) model.attributeCodes[static_cast<size_t>(i)][static_cast<size_t>(i)] = -1;
    model.attributeLabels.assign(n, {"x"});
    model.levelCount = n;
    LevelExpansion expansion(model, true);
    SummarySums sums;
    sums.alphaSum.assign(n, 0.0);
    sums.covarianceSum.assign(static_cast<size_t>(n) * (n + 1) / 2, 0.0);
    sums.covarianceSum[0] = 1.0;
    sums.covarianceSum[1] = 2.0;
    TempDir dir;
    WriteSummary(dir.File("study.sum"), sums, 1, expansion);
    const std::string text = ReadFileText(dir.File("study.sum"));
    const size_t block = text.find(
        "\n\nEstimated Covariances: Last level for each attribute omitted\n\n  1.000   2.000   0.000 ");
    ASSERT_NE(std::string::npos, block);
    const size_t secondRow = text.find('\n', block + 70) + 1;
    EXPECT_EQ(0u, text.compare(secondRow, 16, "  2.000   0.000 "));  // symmetric
    EXPECT_EQ('\n', text.back());
}

TEST(WriteSummary, UnwritableSummaryIsReported) {
    LevelExpansion expansion(test::SingleAttribute(2), true);
    SummarySums sums{{0.0}, {}, {0.0}};
    EXPECT_THROW(WriteSummary("/nonexistent-folder/study.sum", sums, 1, expansion), OmbrelError);
}

}  // namespace
}  // namespace ombrel
