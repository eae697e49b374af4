// The simulator tab on the offscreen platform: the shares chart following the table's edits, the
// scenario files through the picker, and the intervals over the draws read by the worker thread.

#include "frontend/qt/ResultsSimulatorTab.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QHorizontalBarSeries>
#include <QtCharts/QLineSeries>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/TextConversion.h"
#include "platform/ScriptedMessenger.h"
#include "tests/analysis/TwoRespondentStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::ReadFileText;
using test::WriteFileText;

// Long enough for the worker thread to start and to be cancelled; only an upper bound, never a
// measure.
constexpr int kPatience = 20000;

// Gives the scripted path to each dialog and records what it was asked.
class ScriptedPicker : public FilePicker {
public:
    std::optional<std::string> PickExistingFile(const std::vector<FileFilter>& filters,
                                                const std::string&) override {
        asked.push_back(filters.front().description);
        return answer;
    }
    std::optional<std::string> PickSaveFile(const std::vector<FileFilter>& filters, const std::string&,
                                            const std::string& suggestedPath) override {
        asked.push_back(filters.front().description);
        suggested = suggestedPath;
        return answer;
    }
    std::optional<std::string> answer;
    std::vector<std::string> asked;
    std::string suggested;
};

// The two respondents' part-worths in the shop study's order (Brand 1 2 3, Price, Size 1 2, None).
const std::vector<std::vector<double>> kValues = {{1.0, 0.0, -1.0, -0.4, 0.25, -0.25, 0.2},
                                                  {0.5, -0.5, 0.0, -0.25, 1.0, -1.0, -0.5}};

std::string Record(int respondent, const std::vector<double>& values, double alphaShift) {
    std::string text = Format("%7d %7.0lf  0 7 -1\n", respondent, 650.0);
    for (size_t p = 0; p < values.size(); ++p)
        text += Format("%7.3f ", values[p] + (p == 0 ? alphaShift : 0.0));
    return text + "\n";
}

// Respondents 1 to n, taking the two sets of part-worths in turn, and per respondent draws draws
// with Brand Alpha 0.5 up and down in turn (draws even), so that they average to the part-worths.
void WriteLargeResults(const StudyFiles& study, int respondents, int draws) {
    std::string hbu = test::kShopHbuHead;
    std::string dra;
    for (int r = 1; r <= respondents; ++r) {
        const std::vector<double>& values = kValues[static_cast<size_t>(r % 2)];
        hbu += Record(r, values, 0.0);
        const std::string up = Record(r, values, 0.5);
        const std::string down = Record(r, values, -0.5);
        for (int d = 0; d < draws; d += 2) dra += up + down;
    }
    WriteFileText(study.PartWorths(), hbu);
    WriteFileText(study.Draws(), dra);
}

class ResultsSimulatorTabTest : public ::testing::Test {
protected:
    void SetUp() override { study_ = *StudyFiles::ForDataFile(test::WriteShopStudy(root_.Folder())); }
    std::unique_ptr<ResultsSimulatorTab> MakeTab() {
        loaded_ = std::make_shared<const AnalysisStudy>(LoadAnalysisStudy(study_));
        return std::make_unique<ResultsSimulatorTab>(study_, loaded_, messenger_, picker_);
    }
    static QBarSet* Bars(const ResultsSimulatorTab& tab) {
        const QList<QAbstractSeries*> series = tab.SharesChart()->chart()->series();
        auto* bars = series.empty() ? nullptr : qobject_cast<QHorizontalBarSeries*>(series.front());
        return bars != nullptr && bars->count() == 1 ? bars->barSets().front() : nullptr;
    }
    // Per interval line of the chart, in product order, its two ends at the product's category.
    static std::vector<QList<QPointF>> IntervalLines(const ResultsSimulatorTab& tab) {
        std::vector<QList<QPointF>> lines;
        for (QAbstractSeries* series : tab.SharesChart()->chart()->series()) {
            if (auto* line = qobject_cast<QLineSeries*>(series)) lines.push_back(line->points());
        }
        return lines;
    }
    // In product order: the first product's bar is on top, the last category.
    static std::vector<double> ChartShares(const ResultsSimulatorTab& tab) {
        std::vector<double> shares;
        QBarSet* bars = Bars(tab);
        for (int k = bars == nullptr ? -1 : bars->count() - 1; k >= 0; --k) shares.push_back(bars->at(k));
        return shares;
    }

    test::TempDir root_;
    StudyFiles study_ = *StudyFiles::ForDataFile("x.cho");
    std::shared_ptr<const AnalysisStudy> loaded_;
    ScriptedMessenger messenger_;
    ScriptedPicker picker_;
};

TEST_F(ResultsSimulatorTabTest, TheChartHasABarPerProduct) {
    auto tab = MakeTab();
    ASSERT_NE(Bars(*tab), nullptr);
    EXPECT_EQ(tab->ProductsTable()->rowCount(), 4);
    EXPECT_EQ(Bars(*tab)->count(), 4);
    EXPECT_EQ(tab->SharesTable()->rowCount(), 4);
    EXPECT_EQ(tab->ProductsTable()->item(3, 0)->text(), "NONE");
    EXPECT_EQ(tab->LevelPicker(1, 1)->currentText(), "$4");
    QTest::mouseClick(tab->AddButton(), Qt::LeftButton);
    EXPECT_EQ(tab->ProductsTable()->rowCount(), 5);
    EXPECT_EQ(Bars(*tab)->count(), 5);
    EXPECT_EQ(tab->SharesTable()->item(4, 0)->text(), "Product4");
    // The added row is selected, and goes again.
    QTest::mouseClick(tab->RemoveButton(), Qt::LeftButton);
    EXPECT_EQ(Bars(*tab)->count(), 4);
    EXPECT_TRUE(tab->IntervalsButton()->isHidden());  // no draws saved
    EXPECT_TRUE(messenger_.Entries().empty());
}

// First choice on the default products: both respondents take Product1. With its brand Gamma,
// 101's Product1 is -1 + (-0.4)(-2) + 0.25 = 0.05, below None's 0.2, while 102's is 0 + 0.5 + 1 =
// 1.5, still its best: half each.
TEST_F(ResultsSimulatorTabTest, ALevelPickedChangesTheShares) {
    auto tab = MakeTab();
    tab->MethodPicker()->setCurrentIndex(1);
    EXPECT_FALSE(tab->ExponentField()->isEnabled());
    EXPECT_EQ(ChartShares(*tab), (std::vector<double>{100, 0, 0, 0}));
    tab->LevelPicker(0, 0)->setCurrentIndex(2);
    EXPECT_EQ(tab->LevelPicker(0, 0)->currentText(), "Gamma");
    EXPECT_EQ(ChartShares(*tab), (std::vector<double>{50, 0, 0, 50}));
    EXPECT_EQ(tab->SharesTable()->item(3, 1)->text(), "50.00");
    EXPECT_EQ(tab->SharesSvgChart().rows[3].value, 50.0);
    EXPECT_EQ(tab->SharesSvgChart().title, "Market simulation: first choice");
    tab->MethodPicker()->setCurrentIndex(0);
    EXPECT_TRUE(tab->ExponentField()->isEnabled());
    tab->ExponentField()->setValue(2.0);
    EXPECT_EQ(tab->Logic().Options().exponent, 2.0);
    EXPECT_EQ(ChartShares(*tab)[0], tab->Logic().Shares().products[0].share);
}

TEST_F(ResultsSimulatorTabTest, ARefusedEditIsExplainedAndUndone) {
    auto tab = MakeTab();
    tab->ProductsTable()->item(0, 0)->setText("Big Pack");
    EXPECT_EQ(messenger_.Texts(),
              std::vector<std::string>{"The name \"Big Pack\" holds a blank; a product's name is one word."});
    EXPECT_EQ(tab->ProductsTable()->item(0, 0)->text(), "Product1");
    tab->ProductsTable()->item(1, 0)->setText("Value");
    EXPECT_EQ(tab->SharesTable()->item(1, 0)->text(), "Value");
    // A second None: refused, and the box unticked again.
    const int noneColumn = tab->ProductsTable()->columnCount() - 1;
    tab->ProductsTable()->item(0, noneColumn)->setCheckState(Qt::Checked);
    EXPECT_EQ(messenger_.Texts().back(),
              "The scenario already has the None alternative; it can have only one.");
    EXPECT_EQ(tab->ProductsTable()->item(0, noneColumn)->checkState(), Qt::Unchecked);
    // Ticked off, None becomes a product whose level pickers are enabled.
    EXPECT_FALSE(tab->LevelPicker(3, 0)->isEnabled());
    tab->ProductsTable()->item(3, noneColumn)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(tab->ProductsTable()->item(3, 0)->text(), "Product4");
    EXPECT_TRUE(tab->LevelPicker(3, 0)->isEnabled());
}

TEST_F(ResultsSimulatorTabTest, ALoadedScenarioFillsTheTable) {
    auto tab = MakeTab();
    const std::string path = root_.File("market.txt");
    WriteFileText(path, "Cheap 1 2 1\nDear 3 7 2\n");
    picker_.answer = path;
    QTest::mouseClick(tab->LoadButton(), Qt::LeftButton);
    EXPECT_EQ(picker_.asked, std::vector<std::string>{"Scenario Files (*.txt)"});
    ASSERT_EQ(tab->ProductsTable()->rowCount(), 2);
    EXPECT_EQ(tab->ProductsTable()->item(1, 0)->text(), "Dear");
    EXPECT_EQ(tab->LevelPicker(1, 0)->currentText(), "Gamma");
    EXPECT_EQ(tab->LevelPicker(1, 2)->currentText(), "Large");
    // $7 is none of the values file's: a choice of its own, and a note.
    EXPECT_EQ(tab->LevelPicker(1, 1)->currentText(), "7");
    EXPECT_EQ(tab->LevelPicker(1, 1)->count(), 4);
    EXPECT_EQ(tab->LevelPicker(0, 1)->count(), 3);
    EXPECT_TRUE(tab->StatusLabel()->text().contains(
        "Extrapolation: product Dear, attribute 2 (Price per pack): 7 lies outside the values 2 to 6"));
    EXPECT_EQ(Bars(*tab)->count(), 2);
    // A bad file: its message, and the scenario stays.
    WriteFileText(path, "Cheap 1 2\n");
    QTest::mouseClick(tab->LoadButton(), Qt::LeftButton);
    EXPECT_EQ(
        messenger_.Texts(),
        std::vector<std::string>{path + ", line 1: product Cheap has 2 levels; the study has 3 attributes"});
    EXPECT_EQ(tab->ProductsTable()->rowCount(), 2);
    EXPECT_EQ(Bars(*tab)->count(), 2);
}

TEST_F(ResultsSimulatorTabTest, SavingWritesTheScenarioFile) {
    auto tab = MakeTab();
    tab->LevelPicker(0, 2)->setCurrentIndex(1);
    const std::string path = root_.File("saved.txt");
    picker_.answer = path;
    QTest::mouseClick(tab->SaveButton(), Qt::LeftButton);
    EXPECT_EQ(picker_.suggested, study_.Name() + "_scenario.txt");
    EXPECT_EQ(ReadFileText(path), "Product1 1 2 2\nProduct2 2 4 2\nProduct3 3 6 1\nNONE\n");
    // Cancelled: nothing written.
    picker_.answer.reset();
    tab->LevelPicker(0, 2)->setCurrentIndex(0);
    QTest::mouseClick(tab->SaveButton(), Qt::LeftButton);
    EXPECT_EQ(ReadFileText(path), "Product1 1 2 2\nProduct2 2 4 2\nProduct3 3 6 1\nNONE\n");
    EXPECT_TRUE(messenger_.Entries().empty());
}

// First choice with Product1 (Gamma, $2, Small) and Product2 (Alpha, $6, Large). Respondents 2 and
// 4 have 101's part-worths: Product1 -1 + 0.8 + 0.25 = 0.05, Product2 1 - 0.8 - 0.25 = -0.05 and
// None 0.2, so None at the point estimates; Alpha 0.5 up (draw 1) Product2 takes it with 0.45, 0.5
// down (draw 2) None. Respondents 1 and 3 (102's) always take Product1 with 0 + 0.5 + 1 = 1.5.
// Product2's shares at the draws are 50 and 0: sd sqrt(2 x 25^2 / 1) = 35.36, 2.5% 0.025 x 50 =
// 1.25, 97.5% 48.75.
TEST_F(ResultsSimulatorTabTest, TheIntervalsFillTheSharesTable) {
    WriteLargeResults(study_, 4, 2);
    auto tab = MakeTab();
    ASSERT_FALSE(tab->IntervalsButton()->isHidden());
    tab->MethodPicker()->setCurrentIndex(1);
    tab->LevelPicker(0, 0)->setCurrentIndex(2);
    tab->LevelPicker(1, 0)->setCurrentIndex(0);
    tab->LevelPicker(1, 1)->setCurrentIndex(2);
    EXPECT_EQ(ChartShares(*tab), (std::vector<double>{50, 0, 0, 50}));
    EXPECT_TRUE(tab->SharesTable()->isColumnHidden(2));
    QTest::mouseClick(tab->IntervalsButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tab->Logic().Shares().overDraws; }, kPatience));
    EXPECT_FALSE(tab->IntervalsRunning());
    EXPECT_TRUE(tab->IntervalsProgress()->isHidden());
    EXPECT_FALSE(tab->SharesTable()->isColumnHidden(2));
    const auto cell = [&](int row, int column) { return tab->SharesTable()->item(row, column)->text(); };
    EXPECT_EQ(cell(1, 1), "0.00");
    EXPECT_EQ(cell(1, 2), "35.36");
    EXPECT_EQ(cell(1, 3), "1.25");
    EXPECT_EQ(cell(1, 4), "48.75");
    EXPECT_EQ(cell(0, 2), "0.00");
    EXPECT_NEAR(tab->SharesSvgChart().rows[1].spread, 25 * std::sqrt(2.0), 1e-9);
    EXPECT_EQ(ChartShares(*tab), (std::vector<double>{50, 0, 0, 50}));
    const std::vector<QList<QPointF>> lines = IntervalLines(*tab);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], (QList<QPointF>{{1.25, 2.0}, {48.75, 2.0}}));
    EXPECT_EQ(lines[0], (QList<QPointF>{{50.0, 3.0}, {50.0, 3.0}}));
    auto* categories =
        qobject_cast<QBarCategoryAxis*>(tab->SharesChart()->chart()->axes(Qt::Vertical).front());
    ASSERT_NE(categories, nullptr);
    EXPECT_EQ(categories->categories(), (QStringList{"NONE", "Product3", "Product2", "Product1"}));
    // An edit drops the intervals of the scenario they were for.
    tab->LevelPicker(0, 2)->setCurrentIndex(1);
    EXPECT_FALSE(tab->Logic().Shares().overDraws);
    EXPECT_TRUE(tab->SharesTable()->isColumnHidden(2));
    EXPECT_TRUE(IntervalLines(*tab).empty());
}

TEST_F(ResultsSimulatorTabTest, CancelStopsTheReadingOfManyDraws) {
    WriteLargeResults(study_, 3000, 60);
    auto tab = MakeTab();
    const std::string before = SimulationCsv(tab->Logic().Shares());
    QTest::mouseClick(tab->IntervalsButton(), Qt::LeftButton);
    EXPECT_TRUE(tab->IntervalsRunning());
    EXPECT_FALSE(tab->IntervalsButton()->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return tab->IntervalsProgress()->value() > 0; }, kPatience));
    EXPECT_FALSE(tab->CancelButton()->isHidden());
    QTest::mouseClick(tab->CancelButton(), Qt::LeftButton);
    EXPECT_FALSE(tab->IntervalsRunning());
    EXPECT_TRUE(tab->IntervalsProgress()->isHidden());
    EXPECT_TRUE(tab->IntervalsButton()->isEnabled());
    EXPECT_TRUE(tab->StatusLabel()->text().contains("cancelled"));
    // What the stopped reading had posted changes nothing.
    QCoreApplication::processEvents();
    EXPECT_EQ(SimulationCsv(tab->Logic().Shares()), before);
    EXPECT_TRUE(tab->IntervalsProgress()->isHidden());
    // Still usable: an edit shows new shares.
    tab->LevelPicker(0, 0)->setCurrentIndex(2);
    EXPECT_NE(SimulationCsv(tab->Logic().Shares()), before);
    EXPECT_TRUE(messenger_.Entries().empty());
}

TEST_F(ResultsSimulatorTabTest, AnEditOrTheTabsEndStopsTheReading) {
    WriteLargeResults(study_, 3000, 60);
    auto tab = MakeTab();
    QTest::mouseClick(tab->IntervalsButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tab->IntervalsProgress()->value() > 0; }, kPatience));
    tab->MethodPicker()->setCurrentIndex(1);
    EXPECT_FALSE(tab->IntervalsRunning());
    EXPECT_EQ(tab->Logic().Shares().method, ShareMethod::FirstChoice);
    QTest::mouseClick(tab->IntervalsButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tab->IntervalsProgress()->value() > 0; }, kPatience));
    tab.reset();  // joins the worker
    QCoreApplication::processEvents();
}

TEST_F(ResultsSimulatorTabTest, DamagedDrawsGiveTheirMessageAndThePointSharesStay) {
    WriteLargeResults(study_, 4, 2);
    std::string draws = ReadFileText(study_.Draws());
    draws.replace(draws.find("1.000"), 5, "x.000");
    WriteFileText(study_.Draws(), draws);
    auto tab = MakeTab();
    const std::vector<double> before = ChartShares(*tab);
    QTest::mouseClick(tab->IntervalsButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messenger_.Entries().empty(); }, kPatience));
    const std::string message =
        study_.Draws() + ", line 2: draw 1 of respondent 1: a value is \"x.000\", not a finite number";
    EXPECT_EQ(messenger_.Texts(), std::vector<std::string>{message});
    EXPECT_EQ(tab->StatusLabel()->text().toStdString(), message);
    EXPECT_FALSE(tab->IntervalsRunning());
    EXPECT_FALSE(tab->Logic().Shares().overDraws);
    EXPECT_EQ(ChartShares(*tab), before);
    EXPECT_TRUE(tab->IntervalsButton()->isEnabled());
}

}  // namespace
}  // namespace ombrel
