#include "common/TextConversion.h"

#include <gtest/gtest.h>

namespace ombrel {
namespace {

TEST(LeadingNumbers, ReadLikeTheCLibrary) {
    EXPECT_EQ(LeadingInt("  42abc"), 42);
    EXPECT_EQ(LeadingInt("-7\r"), -7);
    EXPECT_EQ(LeadingInt("+3"), 3);
    EXPECT_EQ(LeadingInt("abc"), 0);
    EXPECT_EQ(LeadingInt(""), 0);
    EXPECT_EQ(LeadingInt("- 5"), 0);
    EXPECT_EQ(LeadingInt("99999999999"), INT32_MAX);
    EXPECT_EQ(LeadingInt("-99999999999"), INT32_MIN);
    EXPECT_DOUBLE_EQ(LeadingDouble(" 5.00\r"), 5.0);
    EXPECT_DOUBLE_EQ(LeadingDouble("1.24x"), 1.24);
    EXPECT_DOUBLE_EQ(LeadingDouble("x1.24"), 0.0);
    EXPECT_DOUBLE_EQ(LeadingDouble(""), 0.0);
}

TEST(TextHelpers, TrimAndSuffix) {
    EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_TRUE(EndsWithNoCase("study.CHO", ".cho"));
    EXPECT_FALSE(EndsWithNoCase("cho", ".cho"));
    EXPECT_EQ(Format("%5.2lf|%d", 2.0, 7), " 2.00|7");
}

}  // namespace
}  // namespace ombrel
