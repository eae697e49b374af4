// The simulator's scenario on the two-respondent shop study: its default products, the edits and
// their refusals, the files it loads and saves, and its shares against the command line's.

#include "frontend/ResultsSimulatorLogic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "analysis/PartWorthDraws.h"
#include "common/OmbrelError.h"
#include "common/StudyFiles.h"
#include "common/TextConversion.h"
#include "tests/analysis/TwoRespondentStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::FailureMessage;
using test::ReadFileText;
using test::WriteFileText;

class ResultsSimulatorLogicTest : public ::testing::Test {
protected:
    void SetUp() override {
        study_ = *StudyFiles::ForDataFile(test::WriteShopStudy(root_.Folder()));
        loaded_ = std::make_shared<const AnalysisStudy>(LoadAnalysisStudy(study_));
    }
    std::vector<std::string> Names(const ResultsSimulatorLogic& logic) {
        std::vector<std::string> names;
        for (const ProductShare& product : logic.Shares().products) names.push_back(product.name);
        return names;
    }

    test::TempDir root_;
    StudyFiles study_ = *StudyFiles::ForDataFile("x.cho");
    std::shared_ptr<const AnalysisStudy> loaded_;
};

double Logit(const std::vector<double>& utilities, size_t k) {
    double sum = 0.0;
    for (double utility : utilities) sum += std::exp(utility);
    return 100.0 * std::exp(utilities[k]) / sum;
}

TEST(ResultsLevelChoices, AreLevelNumbersOrTheLinearValues) {
    AnalysisAttribute brand;
    brand.kind = AttributeKind::PartWorth;
    brand.levelTexts = {"Alpha", "Beta"};
    const std::vector<LevelChoice> levels = LevelChoices(brand);
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_EQ(levels[1].text, "Beta");
    EXPECT_EQ(levels[1].number, 2.0);
    AnalysisAttribute price = brand;
    price.kind = AttributeKind::Linear;
    price.levelTexts = {"$2.50", "$4"};
    price.values = {2.5, 4.0};
    EXPECT_EQ(LevelChoices(price)[0].text, "$2.50");
    EXPECT_EQ(LevelChoices(price)[0].number, 2.5);
    // Data values: the data file's lowest and highest, shown as numbers; one choice when they agree.
    price.dataValues = true;
    price.low = 0.75;
    price.high = 12.0;
    const std::vector<LevelChoice> data = LevelChoices(price);
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(data[0].text, "0.75");
    EXPECT_EQ(data[1].text, "12");
    EXPECT_EQ(data[1].number, 12.0);
    price.high = 0.75;
    EXPECT_EQ(LevelChoices(price).size(), 1u);
}

// Three products on choices 1, 2 and 3 of each attribute (Size has two, so the third is Small
// again), and None.
TEST_F(ResultsSimulatorLogicTest, TheDefaultScenarioHasProductsOnDifferentLevelsAndNone) {
    const ResultsSimulatorLogic logic(loaded_);
    EXPECT_EQ(ScenarioText(logic.Lines()), "Product1 1 2 1\nProduct2 2 4 2\nProduct3 3 6 1\nNONE\n");
    EXPECT_TRUE(logic.HasNone());
    EXPECT_TRUE(logic.Products()[3].none);
    EXPECT_EQ(logic.Options().method, ShareMethod::ShareOfPreference);
    EXPECT_EQ(logic.Options().exponent, 1.0);
    EXPECT_EQ(logic.ChoiceIndex(1, 1), 1);  // $4
    EXPECT_EQ(logic.Choices(1, 1)[1].text, "$4");
}

// Price is coded as the value less 4. Utilities of the default products 1 2 1, 2 4 2, 3 6 1, None:
//   101: 1 + (-0.4)(-2) + 0.25 = 2.05, 0 + 0 - 0.25 = -0.25, -1 + (-0.4)(2) + 0.25 = -1.55, 0.2
//   102: 0.5 + (-0.25)(-2) + 1 = 2, -0.5 + 0 - 1 = -1.5, 0 + (-0.25)(2) + 1 = 0.5, -0.5
TEST_F(ResultsSimulatorLogicTest, TheSharesAreTheMeanOfTheRespondentsShares) {
    ResultsSimulatorLogic logic(loaded_);
    const std::vector<double> u101 = {2.05, -0.25, -1.55, 0.2};
    const std::vector<double> u102 = {2.0, -1.5, 0.5, -0.5};
    ASSERT_EQ(logic.Shares().products.size(), 4u);
    for (size_t k = 0; k < 4; ++k)
        EXPECT_NEAR(logic.Shares().products[k].share, (Logit(u101, k) + Logit(u102, k)) / 2, 1e-9) << k;
    EXPECT_EQ(Names(logic), (std::vector<std::string>{"Product1", "Product2", "Product3", "NONE"}));
    // First choice: both take Product1. With its brand Gamma, 101's Product1 is -1 + 0.8 + 0.25 =
    // 0.05, below None's 0.2, and 102's is 0 + 0.5 + 1 = 1.5, still its best: 50 and 50.
    logic.SetMethod(ShareMethod::FirstChoice);
    EXPECT_EQ(SimulationCsv(logic.Shares()),
              "product,share\nProduct1,100.0000\nProduct2,0.0000\nProduct3,0.0000\nNONE,0.0000\n");
    logic.SetNumber(0, 0, 3);
    EXPECT_EQ(SimulationCsv(logic.Shares()),
              "product,share\nProduct1,50.0000\nProduct2,0.0000\nProduct3,0.0000\nNONE,50.0000\n");
    // Exponent 2 doubles 101's utilities: its Product1 share is e^4.1 / (e^4.1 + e^-0.5 + e^-3.1 + e^0.4).
    logic.SetMethod(ShareMethod::ShareOfPreference);
    logic.SetNumber(0, 0, 1);
    EXPECT_EQ(logic.SetExponent(2.0), "");
    EXPECT_NEAR(logic.Shares().products[0].share,
                (Logit({4.1, -0.5, -3.1, 0.4}, 0) + Logit({4.0, -3.0, 1.0, -1.0}, 0)) / 2, 1e-9);
}

TEST_F(ResultsSimulatorLogicTest, RenamesThatTheReaderWouldMisreadAreRefused) {
    ResultsSimulatorLogic logic(loaded_);
    const uint64_t revision = logic.Revision();
    EXPECT_EQ(logic.Rename(0, "Big Pack"),
              "The name \"Big Pack\" holds a blank; a product's name is one word.");
    EXPECT_EQ(logic.Rename(0, "Big\tPack"),
              "The name \"Big\tPack\" holds a blank; a product's name is one word.");
    EXPECT_EQ(logic.Rename(0, ""), "A product needs a name.");
    EXPECT_EQ(logic.Rename(0, "Product2"), "Another product is called Product2 already.");
    EXPECT_EQ(logic.Rename(0, "#1"),
              "The name \"#1\" starts with '#', which makes a comment of a scenario line.");
    EXPECT_EQ(logic.Rename(0, "NONE"), "NONE is the name of the None alternative.");
    EXPECT_EQ(logic.Rename(3, "Nothing"), "The None alternative is always called NONE.");
    EXPECT_EQ(logic.Revision(), revision);
    EXPECT_EQ(logic.Products()[0].name, "Product1");
    EXPECT_EQ(logic.Rename(0, "Big-Pack"), "");
    EXPECT_EQ(logic.Rename(1, "none"), "");  // only NONE itself is the None alternative
    EXPECT_EQ(Names(logic), (std::vector<std::string>{"Big-Pack", "none", "Product3", "NONE"}));
    EXPECT_GT(logic.Revision(), revision);
}

TEST_F(ResultsSimulatorLogicTest, AddedProductsGetUnusedNamesWithoutBlanks) {
    ResultsSimulatorLogic logic(loaded_);
    EXPECT_EQ(logic.AddProduct(), 4u);
    EXPECT_EQ(logic.Products()[4].name, "Product4");
    EXPECT_EQ(logic.Products()[4].numbers, (std::vector<double>{1, 2, 1}));
    ASSERT_EQ(logic.Rename(0, "Product5"), "");
    // Four products, so Product5 would come next; it is taken.
    logic.AddProduct();
    EXPECT_EQ(logic.Products()[5].name, "Product6");
    EXPECT_EQ(logic.Shares().products.size(), 6u);
}

TEST_F(ResultsSimulatorLogicTest, AtMostOneNoneAndAlwaysOneProduct) {
    ResultsSimulatorLogic logic(loaded_);
    EXPECT_EQ(logic.SetNone(0, true), "The scenario already has the None alternative; it can have only one.");
    EXPECT_EQ(logic.SetNone(3, false), "");
    EXPECT_EQ(logic.Products()[3].name, "Product4");
    EXPECT_EQ(logic.Products()[3].numbers, (std::vector<double>{1, 2, 1}));
    EXPECT_EQ(logic.SetNone(0, true), "");
    EXPECT_EQ(ScenarioText(logic.Lines()), "NONE\nProduct2 2 4 2\nProduct3 3 6 1\nProduct4 1 2 1\n");
    EXPECT_EQ(logic.RemoveProduct(1), "");
    EXPECT_EQ(logic.RemoveProduct(1), "");
    EXPECT_EQ(logic.SetNone(1, true), "The scenario already has the None alternative; it can have only one.");
    EXPECT_EQ(logic.RemoveProduct(1), "The scenario needs at least one product other than None.");
    EXPECT_EQ(logic.RemoveProduct(7), "Select the product to remove.");
    EXPECT_EQ(logic.RemoveProduct(0), "");
    EXPECT_EQ(logic.SetNone(0, true), "The scenario needs at least one product other than None.");
    EXPECT_EQ(ScenarioText(logic.Lines()), "Product4 1 2 1\n");
    EXPECT_EQ(logic.Shares().products[0].share, 100.0);
}

TEST_F(ResultsSimulatorLogicTest, AStudyWithoutNoneGetsNoNoneRow) {
    AnalysisStudy withoutNone = *loaded_;
    withoutNone.partWorths.layout.noneIndex = -1;
    ResultsSimulatorLogic logic(std::make_shared<const AnalysisStudy>(withoutNone));
    EXPECT_FALSE(logic.HasNone());
    EXPECT_EQ(ScenarioText(logic.Lines()), "Product1 1 2 1\nProduct2 2 4 2\nProduct3 3 6 1\n");
    EXPECT_EQ(logic.SetNone(2, true), "The study did not estimate a None alternative.");
}

TEST_F(ResultsSimulatorLogicTest, TheExponentIsAPositiveFiniteNumber) {
    ResultsSimulatorLogic logic(loaded_);
    EXPECT_EQ(logic.SetExponent(0.0), "The exponent must be a positive number, not 0.");
    EXPECT_EQ(logic.SetExponent(-1.5), "The exponent must be a positive number, not -1.5.");
    EXPECT_EQ(logic.SetExponent(INFINITY), "The exponent must be a positive number, not inf.");
    EXPECT_NE(logic.SetExponent(NAN), "");
    EXPECT_EQ(logic.Options().exponent, 1.0);
    EXPECT_EQ(logic.SetExponent(0.5), "");
    EXPECT_EQ(logic.Shares().exponent, 0.5);
}

// A value that is none of the values file's (0, 0.1) gets a choice of its own, and is written back
// as it was read.
TEST_F(ResultsSimulatorLogicTest, ALoadedScenarioSavesToTheSameBytes) {
    const std::string text = "A 1 2 1\nB 2 0.1 2\nC 3 0 1\nNONE\n";
    WriteFileText(root_.File("in.txt"), text);
    ResultsSimulatorLogic logic(loaded_);
    logic.Load(root_.File("in.txt"));
    EXPECT_EQ(Names(logic), (std::vector<std::string>{"A", "B", "C", "NONE"}));
    const std::vector<LevelChoice> choices = logic.Choices(2, 1);
    ASSERT_EQ(choices.size(), 4u);
    EXPECT_EQ(choices[3].text, "0");
    EXPECT_EQ(logic.ChoiceIndex(2, 1), 3);
    EXPECT_EQ(logic.Choices(0, 1).size(), 3u);
    logic.Save(root_.File("out.txt"));
    EXPECT_EQ(ReadFileText(root_.File("out.txt")), text);
    EXPECT_EQ(FailureMessage([&] { logic.Save(root_.File("no/such/folder.txt")); }),
              "The scenario file " + root_.File("no/such/folder.txt") + " could not be written.");
}

TEST_F(ResultsSimulatorLogicTest, ABadFileKeepsTheScenario) {
    ResultsSimulatorLogic logic(loaded_);
    ASSERT_EQ(logic.Rename(0, "Mine"), "");
    const std::string before = ScenarioText(logic.Lines());
    const std::string shares = SimulationCsv(logic.Shares());
    const uint64_t revision = logic.Revision();
    const std::string path = root_.File("bad.txt");
    WriteFileText(path, "A 1 2 1\nB 4 2 1\n");
    EXPECT_EQ(FailureMessage([&] { logic.Load(path); }),
              path + ", line 2: level \"4\" of attribute 1 (Brand) lies outside its levels 1 to 3");
    EXPECT_EQ(FailureMessage([&] { logic.Load(root_.File("missing.txt")); }),
              "The scenario file " + root_.File("missing.txt") + " could not be opened.");
    EXPECT_EQ(ScenarioText(logic.Lines()), before);
    EXPECT_EQ(SimulationCsv(logic.Shares()), shares);
    EXPECT_EQ(logic.Revision(), revision);
}

// Two draws per respondent: the point estimates with Brand Alpha up and then down by 0.5, which
// average back to the part-worth file's values.
std::string TwoDraws() {
    const std::vector<std::vector<double>> values = {{1.0, 0.0, -1.0, -0.4, 0.25, -0.25, 0.2},
                                                     {0.5, -0.5, 0.0, -0.25, 1.0, -1.0, -0.5}};
    std::string text;
    for (size_t r = 0; r < 2; ++r) {
        for (double shift : {0.5, -0.5}) {
            text += Format("%7d %7.0lf  0 7 -1\n", r == 0 ? 101 : 102, r == 0 ? 650.0 : 720.0);
            for (size_t p = 0; p < values[r].size(); ++p)
                text += Format("%7.3f ", values[r][p] + (p == 0 ? shift : 0));
            text += "\n";
        }
    }
    return text;
}

// The same scenario saved and simulated as "ombrel simulate" does gives the same file.
TEST_F(ResultsSimulatorLogicTest, TheSharesAreThoseOfTheSimulationOfTheSavedFile) {
    WriteFileText(study_.Draws(), TwoDraws());
    ResultsSimulatorLogic logic(loaded_);
    logic.SetNumber(1, 1, 6);
    logic.AddProduct();
    ASSERT_EQ(logic.SetExponent(0.7), "");
    const std::string path = root_.File("market.txt");
    logic.Save(path);
    const SimulationResult command =
        Simulate(study_, *loaded_, ReadScenarioFile(path, *loaded_), logic.Options());
    ASSERT_TRUE(command.overDraws);
    SimulationResult point = SimulatePointEstimates(*loaded_, logic.BuildScenario(), logic.Options());
    EXPECT_EQ(SimulationCsv(logic.Shares()), SimulationCsv(point));
    AddIntervalsOverDraws(study_, *loaded_, logic.BuildScenario(), logic.Options(), point);
    EXPECT_TRUE(logic.SetIntervals(point, logic.Revision()));
    EXPECT_EQ(SimulationCsv(logic.Shares()), SimulationCsv(command));
}

TEST_F(ResultsSimulatorLogicTest, IntervalsOfAnEarlierScenarioAreStale) {
    WriteFileText(study_.Draws(), TwoDraws());
    ResultsSimulatorLogic logic(loaded_);
    const uint64_t revision = logic.Revision();
    SimulationResult result = logic.Shares();
    AddIntervalsOverDraws(study_, *loaded_, logic.BuildScenario(), logic.Options(), result);
    logic.SetMethod(ShareMethod::FirstChoice);
    EXPECT_FALSE(logic.SetIntervals(result, revision));
    EXPECT_FALSE(logic.Shares().overDraws);
    EXPECT_EQ(logic.Shares().method, ShareMethod::FirstChoice);
}

// Bars in scenario order with the se as whisker once the intervals are in.
TEST_F(ResultsSimulatorLogicTest, TheSharesChartHasABarPerProduct) {
    WriteFileText(study_.Draws(), TwoDraws());
    ResultsSimulatorLogic logic(loaded_);
    BarChart chart = logic.SharesChart();
    EXPECT_EQ(chart.title, "Market simulation: share of preference, exponent 1");
    EXPECT_EQ(chart.axisTitle, "Share (%)");
    ASSERT_EQ(chart.rows.size(), 4u);
    EXPECT_EQ(chart.rows[3].label, "NONE");
    EXPECT_EQ(chart.rows[0].value, logic.Shares().products[0].share);
    EXPECT_EQ(chart.rows[0].spread, 0.0);
    SimulationResult result = logic.Shares();
    AddIntervalsOverDraws(study_, *loaded_, logic.BuildScenario(), logic.Options(), result);
    ASSERT_TRUE(logic.SetIntervals(result, logic.Revision()));
    chart = logic.SharesChart();
    EXPECT_GT(chart.rows[0].spread, 0.0);
    EXPECT_EQ(chart.rows[0].spread, logic.Shares().products[0].se);
    logic.SetMethod(ShareMethod::FirstChoice);
    EXPECT_EQ(logic.SharesChart().title, "Market simulation: first choice");
    EXPECT_EQ(logic.SharesChart().rows[0].spread, 0.0);
}

}  // namespace
}  // namespace ombrel
