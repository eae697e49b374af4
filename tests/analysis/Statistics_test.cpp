// The summaries the analyses report, against values of a statistics package: R 4's
// quantile(1:10, c(0.025, 0.975), type = 7) gives 1.225 and 9.775, sd(1:10) gives 3.0276504.

#include "analysis/Statistics.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "analysis/AnalysisText.h"

namespace ombrel {
namespace {

TEST(Statistics, QuantilesAndSdMatchTheReferenceValues) {
    const std::vector<double> values = {7, 3, 10, 1, 5, 2, 9, 4, 8, 6};  // 1 .. 10, unsorted
    EXPECT_NEAR(Quantile(values, 0.025), 1.225, 1e-12);
    EXPECT_NEAR(Quantile(values, 0.975), 9.775, 1e-12);
    EXPECT_DOUBLE_EQ(Quantile(values, 0.0), 1.0);
    EXPECT_DOUBLE_EQ(Quantile(values, 1.0), 10.0);
    EXPECT_NEAR(SampleSd(values), 3.0276503540974917, 1e-12);
    EXPECT_DOUBLE_EQ(Mean(values), 5.5);
    // One value: no spread; none at all: 0 throughout.
    EXPECT_EQ(SampleSd({4.0}), 0.0);
    EXPECT_EQ(Quantile({4.0}, 0.975), 4.0);
    EXPECT_EQ(Quantile({}, 0.5), 0.0);
}

TEST(Statistics, FixedDecimalsWhateverTheValue) {
    EXPECT_EQ(FixedDecimal(2.0 / 3, 4), "0.6667");
    EXPECT_EQ(FixedDecimal(-0.00001, 4), "0.0000");
    EXPECT_EQ(FixedDecimal(-12.5, 2), "-12.50");
    EXPECT_EQ(FixedDecimal(std::numeric_limits<double>::infinity(), 4), "NA");
}

}  // namespace
}  // namespace ombrel
