#include "apps/kivotra/ProgressScreen.h"

#include <gtest/gtest.h>

namespace ombrel {
namespace {

RunSummary Defaults() {
    RunSummary run;
    run.previousIterations = 0;
    run.preliminaryIterations = 2000;
    run.drawsPerRespondent = 1000;
    run.drawSkip = 10;
    run.totalIterations = 12000;
    run.logSkip = 100;
    run.respondentCount = 250;
    run.parameterCount = 13;
    run.totalTaskWeight = 5.0;
    return run;
}

TEST(ProgressScreenLayout, HeaderBlockAndLabels) {
    ProgressScreen screen;
    RunSummary run = Defaults();
    run.choiceData = true;
    const auto header = screen.HeaderBlock(run);
    EXPECT_EQ((ScreenWrite{0, 0, "Previous Iterations                0"}), header[0]);
    EXPECT_EQ((ScreenWrite{0, 4, "Total iterations               12000"}), header[4]);
    EXPECT_EQ((ScreenWrite{45, 0, "Number of respondents          250"}), header[5]);
    EXPECT_EQ((ScreenWrite{45, 4, "No Constraints are in use"}), header[8]);
    EXPECT_EQ((ScreenWrite{45, 5, "Random draws not saved"}), header[9]);
    EXPECT_EQ((ScreenWrite{45, 7, "Total task weight             5.00"}), header.back());
    run.choiceData = false;
    run.constraintCount = 2;
    const auto allocation = screen.HeaderBlock(run);
    EXPECT_EQ(10u, allocation.size());
    EXPECT_EQ((ScreenWrite{45, 4, "Constraints in use               2"}), allocation[8]);

    EXPECT_EQ("Average part worths", screen.FixedLabels(100).back().text);
    EXPECT_EQ("Average part worths (last level deleted from each attribute)",
              screen.FixedLabels(101).back().text);
    EXPECT_EQ((ScreenWrite{29, 6, "Average"}), screen.FixedLabels(5)[5]);
}

TEST(ProgressScreenStatus, PadsToSeventyNineCharacters) {
    EXPECT_EQ((ScreenWrite{0, 24, "Press ESC to stop" + std::string(62, ' ')}),
              ProgressScreen::Status("Press ESC to stop"));
    const std::string exact(79, 'x');
    EXPECT_EQ(exact, ProgressScreen::Status(exact).text);
    const std::string longer(85, 'y');
    EXPECT_EQ(longer, ProgressScreen::Status(longer).text);
}

TEST(ProgressScreenRefresh, FirstRefreshShowsCurrentValuesAsAverages) {
    ProgressScreen screen;
    IterationStatistics s{1, 0.1, 0.4, 0.25, 0.5, 2.0, 1.0};
    const auto writes = screen.RefreshIteration(s, 1000, 1000, 11999);
    ASSERT_EQ(12u, writes.size());
    EXPECT_EQ((ScreenWrite{15, 6, "       1"}), writes[0]);
    EXPECT_EQ((ScreenWrite{15, 7, "   0.250"}), writes[1]);
    EXPECT_EQ((ScreenWrite{28, 7, "   0.250"}), writes[5]);
    EXPECT_EQ((ScreenWrite{28, 10, "   1.000"}), writes[8]);
    EXPECT_EQ((ScreenWrite{71, 8, "   0.100"}), writes[9]);
    EXPECT_EQ((ScreenWrite{71, 9, "   0.400"}), writes[10]);
    EXPECT_EQ((ScreenWrite{71, 10, "   0.000"}), writes[11]);

    // Later refreshes move the average a hundredth of the way: 0.01 * 1.25 + 0.99 * 0.25 = 0.26.
    IterationStatistics next{2, 0.1, 0.4, 1.25, 0.5, 2.0, 1.0};
    EXPECT_EQ("   0.260", screen.RefreshIteration(next, 1001, 1000, 11998)[5].text);
}

TEST(ProgressScreenRefresh, TimeRemainingEveryTenthIteration) {
    ProgressScreen screen;
    IterationStatistics s{};
    for (int k = 1; k <= 9; ++k) EXPECT_EQ(12u, screen.RefreshIteration(s, 1000 + k, 1000, 5000).size());
    // 10 seconds for 10 iterations: 1 s each, 3725 iterations left.
    const auto writes = screen.RefreshIteration(s, 1010, 1000, 3725);
    EXPECT_EQ((ScreenWrite{60, 11, "            1:02:05"}), writes.back());
    EXPECT_EQ(3725, screen.SecondsLeft());
    EXPECT_EQ("   1.000", writes[11].text);
    // A clock set back shows no time, not a huge one.
    for (int k = 0; k < 9; ++k) screen.RefreshIteration(s, 500, 1000, 100);
    EXPECT_EQ("            0:00:00", screen.RefreshIteration(s, 500, 1000, 100).back().text);
}

TEST(ProgressScreenRefresh, PartWorthsSmoothAndWrapAtEightyColumns) {
    ProgressScreen screen;
    std::vector<double> levels(12, 1.0);
    levels[11] = -2.5;
    const std::vector<double> betas(11, 9.0);
    auto writes = screen.RefreshPartWorths(levels.data(), 12, betas.data(), 11);
    ASSERT_EQ(2u, writes.size());
    EXPECT_EQ(0, writes[0].column);
    EXPECT_EQ(13, writes[0].row);
    EXPECT_EQ(80u, writes[0].text.size());
    EXPECT_EQ("   1.00 ", writes[0].text.substr(0, 8));
    EXPECT_EQ((ScreenWrite{0, 14, "   1.00   -2.50 "}), writes[1]);
    // (99 * 1 + 2) * 0.01 = 1.01
    std::vector<double> moved(12, 2.0);
    writes = screen.RefreshPartWorths(moved.data(), 12, betas.data(), 11);
    EXPECT_EQ("   1.01 ", writes[0].text.substr(0, 8));

    // More than 100 levels: the first 100 parameters instead, on rows 13 to 22.
    ProgressScreen wide;
    const std::vector<double> many(150, 0.5);
    writes = wide.RefreshPartWorths(many.data(), 150, many.data(), 120);
    ASSERT_EQ(10u, writes.size());
    EXPECT_EQ(22, writes.back().row);
}

TEST(HeadlessProgress, OneLineReport) {
    EXPECT_EQ("Iteration 3000 of 12000 (25%)  Pct. Cert. 0.457  RLH 0.654  Time remaining 1:02:05",
              FormatHeadlessProgress(3000, 12000, 0.4567, 0.6544, 3725));
    EXPECT_EQ("0:00:00", FormatTimeRemaining(-5));
}

TEST(StatusTexts, OutputStepsAndTheEndOfTheSession) {
    EXPECT_EQ("Saving output files, please wait...", OutputStatusText(OutputPhase::SavingOutputFiles, 0, 0));
    EXPECT_EQ("Sorting random draws (1/3)...", OutputStatusText(OutputPhase::SortingDraws, 1, 3));
    EXPECT_EQ("Expanding draws (3/3)...", OutputStatusText(OutputPhase::ExpandingDraws, 3, 3));
    EXPECT_EQ("Computing point estimates (2/250)...",
              OutputStatusText(OutputPhase::ComputingPointEstimates, 2, 250));
    EXPECT_EQ("This session did 5 iterations in 1 seconds.  Press any key.",
              FinalStatusText("This session did 5 iterations in 1 seconds."));
    EXPECT_EQ("Press ESC to stop (saved draws will be lost)" + std::string(35, ' '),
              ProgressScreen::Status(kStopLosesDrawsHint).text);
}

}  // namespace
}  // namespace ombrel
