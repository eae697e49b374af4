#include "tools/TieDrawsPaths.h"

#include <gtest/gtest.h>

namespace ombrel {
namespace {

TEST(TieDrawsPaths, FollowTheNamingRules) {
    EXPECT_EQ(TiedPartWorthPath("/Data/Run1/Study.HBU"), "/Data/Run1/study_tiedraws.hbu");
    EXPECT_EQ(TiedPartWorthPath("a.hbu.hbu"), "a_tiedraws.hbu_tiedraws.hbu");
    EXPECT_EQ(TiedPartWorthPath("/data/study.txt"), "");
    EXPECT_EQ(TiedSpreadsheetPath("/Data/study_tiedraws.hbu"), "/Data/study_tiedraws.csv");
    EXPECT_EQ(TieDrawsCompanionPath("/data/study.hbu", ".dra"), "/data/study.dra");
    EXPECT_EQ(TieDrawsCompanionPath("/data/study.hbu", ".con"), "/data/study.con");
    EXPECT_EQ(TieDrawsCompanionPath("/data/Study.HBU", ".dra"), "/data/Study.dra");
    EXPECT_EQ(TieDrawsCompanionPath("/x.hbu/a.Hbu.hbu", ".con"), "/x/a.con");
    EXPECT_EQ(TieDrawsCompanionPath("/data/study.hb", ".dra"), "/data/study.hb.dra");
}

TEST(TieDrawsPaths, GuessTheDrawsAndConstraintsFilesOfTheSameEstimation) {
    EXPECT_EQ(TieDrawsDrawsPath("/data/Study.HBU"), "/data/Study.dra");
    EXPECT_EQ(TieDrawsConstraintsPath("/data/Study.HBU"), "/data/Study.con");
    EXPECT_EQ(TieDrawsConstraintsPath("study"), "study.con");
}

}  // namespace
}  // namespace ombrel
