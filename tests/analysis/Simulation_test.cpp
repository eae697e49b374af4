// Market simulation on the two-respondent study: shares from the point estimates, over the saved
// draws, the scenario file and its bad lines.

#include "analysis/Simulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/PartWorthDraws.h"
#include "common/StudyFiles.h"
#include "common/TextConversion.h"
#include "common/TextSource.h"
#include "tests/analysis/TwoRespondentStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::FailureMessage;
using test::WriteFileText;

// Products A (Alpha, $2, Small), B (Beta, $6, Large) and C (Gamma, $0, Small), and None. Price is
// coded as the value less 4, the mean of the values file's 2, 4, 6. Utilities:
//   101: A = 1 + (-0.4)(-2) + 0.25 = 2.05, B = 0 + (-0.4)(2) - 0.25 = -1.05,
//        C = -1 + (-0.4)(-4) + 0.25 = 0.85, None 0.2
//   102: A = 0.5 + (-0.25)(-2) + 1 = 2, B = -0.5 + (-0.25)(2) - 1 = -2, C = 0 + (-0.25)(-4) + 1 = 2,
//        None -0.5
const char* const kScenario =
    "# three products and None\n"
    "A 1 2 1\n"
    "\n"
    "B 2 6 2\n"
    "C 3 0 1\n"
    "NONE\n";

class SimulationTest : public ::testing::Test {
protected:
    void SetUp() override {
        study_ = *StudyFiles::ForDataFile(test::WriteShopStudy(root_.Folder()));
        loaded_ = LoadAnalysisStudy(study_);
    }
    Scenario Read(const std::string& text) {
        MemoryTextSource source(text);
        return ReadScenario(source, "scen.txt", loaded_);
    }
    SimulationResult Run(ShareMethod method, double exponent = 1.0) {
        return Simulate(study_, loaded_, Read(kScenario), {method, exponent});
    }

    test::TempDir root_;
    StudyFiles study_ = *StudyFiles::ForDataFile("x.cho");
    AnalysisStudy loaded_;
};

double Logit(const std::vector<double>& utilities, size_t k) {
    double sum = 0.0;
    for (double utility : utilities) sum += std::exp(utility);
    return 100.0 * std::exp(utilities[k]) / sum;
}

// Share of preference, exponent 1: 101 gives A 58.9, B 2.65, C 17.7, None 9.2 (of e^2.05 + e^-1.05 +
// e^0.85 + e^0.2 = 12.64...); the CSV holds the means over the two respondents.
TEST_F(SimulationTest, ShareOfPreferenceIsTheMeanOfTheRespondentsLogitShares) {
    const SimulationResult result = Run(ShareMethod::ShareOfPreference);
    const std::vector<double> u101 = {2.05, -1.05, 0.85, 0.2};
    const std::vector<double> u102 = {2.0, -2.0, 2.0, -0.5};
    ASSERT_EQ(result.products.size(), 4u);
    for (size_t k = 0; k < 4; ++k)
        EXPECT_NEAR(result.products[k].share, (Logit(u101, k) + Logit(u102, k)) / 2, 1e-9) << k;
    EXPECT_FALSE(result.overDraws);
    EXPECT_EQ(SimulationCsv(result), "product,share\nA,57.0611\nB,1.9342\nC,33.8215\nNONE,7.1831\n");
}

// Exponent 2 doubles every utility before the logit: 101's A share is e^4.1 / (e^4.1 + e^-2.1 +
// e^1.7 + e^0.4).
TEST_F(SimulationTest, TheExponentScalesTheUtilities) {
    const SimulationResult result = Run(ShareMethod::ShareOfPreference, 2.0);
    EXPECT_NEAR(result.products[0].share,
                (Logit({4.1, -2.1, 1.7, 0.4}, 0) + Logit({4.0, -4.0, 4.0, -1.0}, 0)) / 2, 1e-9);
    EXPECT_EQ(SimulationCsv(result), "product,share\nA,69.6558\nB,0.0992\nC,28.9710\nNONE,1.2741\n");
}

// First choice: 101 takes A (2.05); 102 ties A and C at 2, half each. A = (100 + 50) / 2, C = 25.
TEST_F(SimulationTest, FirstChoiceSplitsTies) {
    EXPECT_EQ(SimulationCsv(Run(ShareMethod::FirstChoice)),
              "product,share\nA,75.0000\nB,0.0000\nC,25.0000\nNONE,0.0000\n");
    EXPECT_EQ(RespondentShares({1.0, 3.0, 3.0, 3.0, -2.0}, ShareMethod::FirstChoice, 1.0),
              (std::vector<double>{0.0, 100.0 / 3, 100.0 / 3, 100.0 / 3, 0.0}));
    // 0.1 + 0.2 and 0.3 are the same utility written with three decimals.
    EXPECT_EQ(RespondentShares({0.1 + 0.2, 0.3}, ShareMethod::FirstChoice, 1.0),
              (std::vector<double>{50.0, 50.0}));
    // An exponent so large that the scaled utilities overflow is the first-choice limit.
    EXPECT_EQ(RespondentShares({1.0, 2.0}, ShareMethod::ShareOfPreference, 1e308),
              (std::vector<double>{0.0, 100.0}));
}

// A price of $0 lies below the values 2 to 6: allowed, and noted in the printed table only.
TEST_F(SimulationTest, AValueOffTheScaleIsAnExtrapolation) {
    const SimulationResult result = Run(ShareMethod::FirstChoice);
    EXPECT_EQ(result.products[2].extrapolations,
              std::vector<std::string>{
                  "attribute 2 (Price per pack): 0 lies outside the values 2 to 6 of the values file"});
    EXPECT_TRUE(result.products[0].extrapolations.empty());
    EXPECT_EQ(SimulationTable(result),
              "Market simulation: first choice, over 2 respondents\n\n"
              "Product   Share %\n"
              "A           75.00\n"
              "B            0.00\n"
              "C           25.00\n"
              "NONE         0.00\n"
              "Extrapolation: product C, attribute 2 (Price per pack): 0 lies outside the values 2 to 6 of "
              "the values file.\n");
}

// Three draws per respondent. Draw d moves Brand Alpha up by a and None down by a, with a = 0.3,
// -0.1, -0.2 for 101 and -0.2, 0.4, -0.2 for 102, so that the draws average to the part-worths.
std::string Draw(int respondent, const std::vector<double>& values) {
    std::string text = Format("%7d %7.0lf  0 7 -1\n", respondent, respondent == 101 ? 650.0 : 720.0);
    for (double value : values) text += Format("%7.3f ", value);
    return text + "\n";
}
const double kShift101[3] = {0.3, -0.1, -0.2};
const double kShift102[3] = {-0.2, 0.4, -0.2};

std::string DrawsText() {
    std::string text;
    for (double a : kShift101) text += Draw(101, {1.0 + a, 0.0, -1.0, -0.4, 0.25, -0.25, 0.2 - a});
    for (double a : kShift102) text += Draw(102, {0.5 + a, -0.5, 0.0, -0.25, 1.0, -1.0, -0.5 - a});
    return text;
}

// The type-7 quantile of three sorted values s0 <= s1 <= s2: position 2p between them.
double Quantile3(std::vector<double> s, double p) {
    std::sort(s.begin(), s.end());
    const double position = 2 * p;
    const size_t below = static_cast<size_t>(position);
    return s[below] + (position - below) * (s[below + 1] - s[below]);
}

TEST_F(SimulationTest, OverTheDrawsSeAndIntervalAreThoseOfTheSharesAtEachDraw) {
    WriteFileText(study_.Draws(), DrawsText());
    const SimulationResult result = Run(ShareMethod::ShareOfPreference);
    ASSERT_TRUE(result.overDraws);
    EXPECT_EQ(result.drawCount, 3);
    // Directly: at draw d, each respondent's utilities with A (Brand Alpha) and None moved by a.
    for (size_t k = 0; k < 4; ++k) {
        std::vector<double> shares;
        for (int d = 0; d < 3; ++d) {
            const double a = kShift101[d];
            const double b = kShift102[d];
            shares.push_back(
                (Logit({2.05 + a, -1.05, 0.85, 0.2 - a}, k) + Logit({2.0 + b, -2.0, 2.0, -0.5 - b}, k)) / 2);
        }
        const double mean = (shares[0] + shares[1] + shares[2]) / 3;
        double squares = 0.0;
        for (double share : shares) squares += (share - mean) * (share - mean);
        EXPECT_NEAR(result.products[k].se, std::sqrt(squares / 2), 1e-9) << k;
        EXPECT_NEAR(result.products[k].low, Quantile3(shares, 0.025), 1e-9) << k;
        EXPECT_NEAR(result.products[k].high, Quantile3(shares, 0.975), 1e-9) << k;
    }
    const std::string csv = SimulationCsv(result);
    EXPECT_EQ(csv.substr(0, csv.find('\n') + 1), "product,share,se,low,high\n");
    EXPECT_EQ(csv.substr(csv.find('\n') + 1, 8), "A,57.061");  // the share stays that of the point estimates
}

// First choice at each draw: 101 always takes A; 102 takes A at draw 2 (A 2.4 > C 2) and C at
// draws 1 and 3 (A 1.8). A's shares 50, 100, 50: sd 28.8675, 2.5% 50, 97.5% 50 + 0.95 x 50 = 97.5.
TEST_F(SimulationTest, FirstChoiceOverTheDraws) {
    WriteFileText(study_.Draws(), DrawsText());
    EXPECT_EQ(SimulationCsv(Run(ShareMethod::FirstChoice)),
              "product,share,se,low,high\n"
              "A,75.0000,28.8675,50.0000,97.5000\n"
              "B,0.0000,0.0000,0.0000,0.0000\n"
              "C,25.0000,28.8675,2.5000,50.0000\n"
              "NONE,0.0000,0.0000,0.0000,0.0000\n");
}

TEST_F(SimulationTest, DamagedOrForeignDraws) {
    const std::string path = study_.Draws();
    const auto message = [&](const std::string& text) {
        WriteFileText(path, text);
        return FailureMessage([&] { Run(ShareMethod::FirstChoice); });
    };
    std::string draws = DrawsText();
    EXPECT_EQ(message(draws.substr(0, draws.size() - 9)),
              path + ", line 12: draw 3 of respondent 102: a value is missing (the file ends here)");
    std::string letter = draws;
    letter.replace(letter.find("0.250"), 5, "x.250");
    EXPECT_EQ(message(letter),
              path + ", line 2: draw 1 of respondent 101: a value is \"x.250\", not a finite number");
    // 102's first draw dropped: it has two where 101 has three.
    const size_t second = draws.find("    102");
    EXPECT_EQ(message(draws.substr(0, second) + draws.substr(draws.find("    102", second + 1))),
              path + ", line 10: respondent 102 has 2 draws, but the first respondent has 3");
    // Draws of another estimation: 101's first draw no longer moves None.
    std::string foreign = draws;
    foreign.replace(foreign.find("-0.100"), 6, " 0.200");
    EXPECT_EQ(
        message(foreign),
        "The draws file " + path + " is not of the estimation that wrote " + study_.PartWorths() +
            ": the draws of respondent 101 average 0.3000 for NONE, the part-worth file gives 0.200.  It may "
            "be left from an earlier estimation; estimate the study again, or remove the draws file.");
    EXPECT_EQ(message(draws + Draw(104, {0, 0, 0, 0, 0, 0, 0})),
              path + ", line 13: draws of respondent 104 follow the last respondent of the part-worth file " +
                  study_.PartWorths());
}

// Counts the respondents it is told about and stops after stopAfter of them.
struct StoppingProgress : DrawProgress {
    explicit StoppingProgress(size_t stopAfter) : stopAfter(stopAfter) {}
    bool Continue(size_t respondentsRead, size_t respondentCount) override {
        calls.push_back({respondentsRead, respondentCount});
        return respondentsRead < stopAfter;
    }
    size_t stopAfter;
    std::vector<std::pair<size_t, size_t>> calls;
};

TEST_F(SimulationTest, TheDrawProgressIsToldOfEachRespondentAndCanStopTheReading) {
    const std::string text = DrawsText();
    int draws = 0;
    const auto count = [&](size_t, int, const std::vector<double>&) { ++draws; };
    StoppingProgress all(3);
    MemoryTextSource whole(text);
    EXPECT_EQ(ForEachDraw(whole, "s.dra", loaded_.partWorths, "s.hbu", count, &all), 3);
    EXPECT_EQ(all.calls, (std::vector<std::pair<size_t, size_t>>{{1, 2}, {2, 2}}));
    // Stopped after the first respondent: its three draws only, and no result.
    draws = 0;
    StoppingProgress first(1);
    MemoryTextSource stopped(text);
    EXPECT_THROW(ForEachDraw(stopped, "s.dra", loaded_.partWorths, "s.hbu", count, &first), DrawsCancelled);
    EXPECT_EQ(draws, 3);
    EXPECT_EQ(first.calls.size(), 1u);
}

// Stopped at the second of the two respondents: no interval is complete, and the point shares stay.
TEST_F(SimulationTest, AStoppedReadingOfTheDrawsLeavesTheResultAsItWas) {
    WriteFileText(study_.Draws(), DrawsText());
    const Scenario scenario = Read(kScenario);
    const SimulationOptions options{ShareMethod::ShareOfPreference, 1.0};
    SimulationResult result = SimulatePointEstimates(loaded_, scenario, options);
    const std::string before = SimulationCsv(result);
    EXPECT_EQ(before, "product,share\nA,57.0611\nB,1.9342\nC,33.8215\nNONE,7.1831\n");
    StoppingProgress stop(1);
    EXPECT_THROW(AddIntervalsOverDraws(study_, loaded_, scenario, options, result, &stop), DrawsCancelled);
    EXPECT_EQ(stop.calls, (std::vector<std::pair<size_t, size_t>>{{1, 2}}));
    EXPECT_FALSE(result.overDraws);
    EXPECT_EQ(result.drawCount, 0);
    EXPECT_EQ(SimulationCsv(result), before);
    for (const ProductShare& product : result.products) {
        EXPECT_EQ(product.se, 0.0);
        EXPECT_EQ(product.low, 0.0);
        EXPECT_EQ(product.high, 0.0);
    }
    // Let through (it stops after a third respondent, of which there is none): Simulate's intervals.
    StoppingProgress all(3);
    AddIntervalsOverDraws(study_, loaded_, scenario, options, result, &all);
    EXPECT_EQ(SimulationCsv(result), SimulationCsv(Simulate(study_, loaded_, scenario, options)));
}

// Without a draws file nothing is added and the progress is never told.
TEST_F(SimulationTest, WithoutSavedDrawsNoIntervalsAreAdded) {
    const Scenario scenario = Read(kScenario);
    SimulationResult result = SimulatePointEstimates(loaded_, scenario, {ShareMethod::FirstChoice, 1.0});
    StoppingProgress stop(0);
    AddIntervalsOverDraws(study_, loaded_, scenario, {ShareMethod::FirstChoice, 1.0}, result, &stop);
    EXPECT_FALSE(result.overDraws);
    EXPECT_TRUE(stop.calls.empty());
    EXPECT_EQ(SimulationCsv(result), "product,share\nA,75.0000\nB,0.0000\nC,25.0000\nNONE,0.0000\n");
}

// Written and read back: the same numbers, 0.1 and 1/3 exactly, and the same products.
TEST_F(SimulationTest, AWrittenScenarioReadsBackAsTheSameProducts) {
    const std::vector<ScenarioLine> lines = {
        {"A", {1, 2, 1}}, {"B", {3, 0.1, 2}}, {"C", {2, 1.0 / 3, 1}}, {"NONE", {}}};
    const std::string text = ScenarioText(lines);
    EXPECT_EQ(text.substr(0, 18), "A 1 2 1\nB 3 0.1 2\n");
    const Scenario scenario = Read(text);
    ASSERT_EQ(scenario.products.size(), 4u);
    for (size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(scenario.products[k].name, lines[k].name);
        EXPECT_EQ(scenario.products[k].numbers, lines[k].numbers) << k;
    }
    EXPECT_TRUE(scenario.products[3].none);
    EXPECT_EQ(Read(kScenario).products[1].numbers, (std::vector<double>{2, 6, 2}));
}

TEST_F(SimulationTest, BadScenarioLinesNameTheLineAndTheProblem) {
    const auto message = [&](const std::string& text) { return FailureMessage([&] { Read(text); }); };
    EXPECT_EQ(message("A 1 2 1\nB 2 6\n"),
              "scen.txt, line 2: product B has 2 levels; the study has 3 attributes");
    EXPECT_EQ(message("A 1 2 1 1\n"), "scen.txt, line 1: product A has 4 levels; the study has 3 attributes");
    EXPECT_EQ(message("\nA 4 2 1\n"),
              "scen.txt, line 2: level \"4\" of attribute 1 (Brand) lies outside its levels 1 to 3");
    EXPECT_EQ(message("A 1 2 0\n"),
              "scen.txt, line 1: level \"0\" of attribute 3 (Size) lies outside its levels 1 to 2");
    EXPECT_EQ(message("A 1.5 2 1\n"),
              "scen.txt, line 1: level \"1.5\" of attribute 1 (Brand) is not a level number");
    EXPECT_EQ(message("A 1 cheap 1\n"),
              "scen.txt, line 1: the value \"cheap\" for attribute 2 (Price per pack) is not a number");
    EXPECT_EQ(message("A 1 2 1\n# A again\nA 2 4 2\n"), "scen.txt, line 3: the name A is used twice");
    EXPECT_EQ(message("NONE 1 2 1\n"),
              "scen.txt, line 1: NONE, the None alternative, stands alone on its line");
    EXPECT_EQ(message("# nothing\n\n"),
              "The scenario file scen.txt holds no product; a simulation needs at least one product.");
    EXPECT_EQ(message("NONE\n"),
              "The scenario file scen.txt holds only the None alternative; a simulation needs at least one "
              "product.");
}

TEST_F(SimulationTest, TheOutputFileIsTheScenarioLessItsExtension) {
    EXPECT_EQ(SimulationOutputPath("/a/b/market.txt", ShareMethod::ShareOfPreference),
              "/a/b/market_share.csv");
    EXPECT_EQ(SimulationOutputPath("/a/b.c/market", ShareMethod::FirstChoice),
              "/a/b.c/market_first-choice.csv");
    EXPECT_EQ(SimulationOutputPath("/a/.market", ShareMethod::FirstChoice), "/a/.market_first-choice.csv");
}

}  // namespace
}  // namespace ombrel
