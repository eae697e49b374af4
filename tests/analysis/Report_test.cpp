// The study report read back as XML: each chart is there with its data points.

#include "analysis/Report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/SvgCharts.h"
#include "tests/analysis/ReportStudy.h"
#include "tests/analysis/XmlTree.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::XmlElement;

const std::string kXhtml = "http://www.w3.org/1999/xhtml";
const std::string kSvg = "http://www.w3.org/2000/svg";

std::string PageOf(const ReportData& data) {
    std::ostringstream page;
    WriteReport(page, data);
    return page.str();
}

double Number(const std::string& text) { return std::stod(text); }

// The points "x,y x,y ..." of a polyline.
std::vector<std::pair<double, double>> Points(const XmlElement& polyline) {
    std::vector<std::pair<double, double>> points;
    std::istringstream in(polyline.Attribute("points"));
    std::string point;
    while (in >> point) {
        const size_t comma = point.find(',');
        points.emplace_back(Number(point.substr(0, comma)), Number(point.substr(comma + 1)));
    }
    return points;
}

class ReportTest : public ::testing::Test {
protected:
    // Gathers and writes the report of the study in folder_, and parses the page.
    void Read() {
        page_ = PageOf(GatherReport(study_));
        parsed_ = test::ParseXml(page_);
        ASSERT_EQ(parsed_.error, "");
    }
    // The chart of this kind (bar-chart, trace-figure, histogram) whose title is title.
    const XmlElement& Chart(const std::string& title, const std::string& kind = "bar-chart") const {
        for (const XmlElement* svg : parsed_.root.All("svg", kind)) {
            if (svg->ChildText("title") == title) return *svg;
        }
        ADD_FAILURE() << "no chart " << title;
        return parsed_.root;
    }
    const XmlElement* Section(const std::string& id) const {
        for (const XmlElement* section : parsed_.root.All("section")) {
            if (section->Attribute("id") == id) return section;
        }
        return nullptr;
    }

    test::TempDir folder_;
    StudyFiles study_ = test::WriteReportStudy(folder_);
    std::string page_;
    test::ParsedXml parsed_;
};

TEST_F(ReportTest, IsOneWellFormedXhtmlPageWithoutScriptsOrOutsideReferences) {
    Read();
    EXPECT_EQ(parsed_.root.name, "html");
    EXPECT_EQ(parsed_.root.nameSpace, kXhtml);
    EXPECT_TRUE(parsed_.root.All("script").empty());
    EXPECT_TRUE(parsed_.root.All("link").empty());
    EXPECT_TRUE(parsed_.root.All("img").empty());
    const std::vector<const XmlElement*> charts = parsed_.root.All("svg");
    EXPECT_EQ(charts.size(), 8u);  // brand, colour, None, importances; their traces; RLH
    for (const XmlElement* svg : charts) EXPECT_EQ(svg->nameSpace, kSvg);
    for (const XmlElement* link : parsed_.root.All("a")) EXPECT_EQ(link->Attribute("href").front(), '#');
    // The namespaces are the only addresses; the style sheet loads nothing.
    std::string rest = page_;
    for (const std::string& name : {kXhtml, kSvg}) {
        for (size_t at = rest.find(name); at != std::string::npos; at = rest.find(name))
            rest.erase(at, name.size());
    }
    EXPECT_EQ(rest.find("http"), std::string::npos);
    EXPECT_EQ(rest.find("url("), std::string::npos);
    EXPECT_EQ(rest.find("@import"), std::string::npos);
    EXPECT_EQ(rest.find("src="), std::string::npos);
}

TEST_F(ReportTest, GivesTheSameBytesForTheSameFiles) {
    Read();
    EXPECT_EQ(PageOf(GatherReport(study_)), page_);
}

// Hand computation over the three respondents of the study: brand A 1, 2, 0 (mean 1, sd 1); B 0,
// -0.5, 1 (mean 1/6, sd sqrt(7/12) = 0.764); C -1, -1.5, -1 (mean -7/6, sd sqrt(1/12) = 0.289).
TEST_F(ReportTest, DrawsABarPerLevelWhoseLengthFollowsItsMeanWithOneSdWhiskers) {
    Read();
    const XmlElement& brand = Chart("Attribute 1");
    const std::vector<const XmlElement*> bars = brand.All("rect", "bar");
    const std::vector<const XmlElement*> whiskers = brand.All("path", "whisker");
    ASSERT_EQ(bars.size(), 3u);
    ASSERT_EQ(whiskers.size(), 3u);
    const std::vector<const XmlElement*> zero = brand.All("line", "zero");
    ASSERT_EQ(zero.size(), 1u);
    const double x0 = Number(zero[0]->Attribute("x1"));
    const std::vector<double> means = {1.0, 1.0 / 6, -7.0 / 6};
    const std::vector<double> sds = {1.0, std::sqrt(7.0 / 12), std::sqrt(1.0 / 12)};
    const double scale = Number(bars[0]->Attribute("width")) / means[0];  // user units per utility
    for (size_t i = 0; i < bars.size(); ++i) {
        const double x = Number(bars[i]->Attribute("x"));
        const double width = Number(bars[i]->Attribute("width"));
        const double end = means[i] > 0 ? x + width : x;
        EXPECT_NEAR(means[i] > 0 ? x : x + width, x0, 0.011) << i;
        EXPECT_NEAR(end, x0 + means[i] * scale, 0.02) << i;
        // "M<from> <y>V<y>M<from> <y>H<to>M<to> ...": from mean - sd to mean + sd.
        const std::string d = whiskers[i]->Attribute("d");
        const double from = Number(d.substr(1, d.find(' ') - 1));
        const double to = Number(d.substr(d.find('H') + 1));
        EXPECT_NEAR(from, x0 + (means[i] - sds[i]) * scale, 0.02) << i;
        EXPECT_NEAR(to, x0 + (means[i] + sds[i]) * scale, 0.02) << i;
    }
    EXPECT_EQ(bars[0]->ChildText("title"), "Brand A: 1.000 \xC2\xB1 1.000");
    EXPECT_EQ(bars[1]->ChildText("title"), test::kReportBrandB + ": 0.167 \xC2\xB1 0.764");
    EXPECT_EQ(Chart("Attribute 2").All("rect", "bar").size(), 2u);
    const std::vector<const XmlElement*> none = Chart("None").All("rect", "bar");
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0]->ChildText("title"), "None: 0.200 \xC2\xB1 0.265");
}

TEST_F(ReportTest, EscapesLabelsAndGivesThemBackWhole) {
    Read();
    EXPECT_NE(page_.find("B &amp; &lt;Co&gt;"), std::string::npos);
    EXPECT_NE(page_.find("&quot;C&quot;"), std::string::npos);
    EXPECT_EQ(page_.find(test::kReportBrandB), std::string::npos);
    std::vector<std::string> labels;
    for (const XmlElement* label : Chart("Attribute 1").All("text", "bar-label"))
        labels.push_back(label->text);
    EXPECT_EQ(labels, (std::vector<std::string>{"Brand A", test::kReportBrandB, test::kReportBrandC}));
}

TEST_F(ReportTest, ChartsTheImportancesWithTheirSpread) {
    Read();
    // Ranges per respondent: brand 2, 3.5, 2 and colour 1, 0.6, 0.2, so brand's importances are
    // 2/3, 3.5/4.1 and 2/2.2, their mean 80.8656 %.
    const std::vector<const XmlElement*> bars = Chart("Importance of each attribute").All("rect", "bar");
    ASSERT_EQ(bars.size(), 2u);
    const double brand = (200.0 / 3 + 350.0 / 4.1 + 200.0 / 2.2) / 3;
    EXPECT_EQ(bars[0]->ChildText("title").substr(0, 37), "Attribute 1 (Brand A, B & <Co>, ...):");
    EXPECT_NEAR(Number(bars[0]->Attribute("width")) / Number(bars[1]->Attribute("width")),
                brand / (100 - brand), 0.01);
}

TEST_F(ReportTest, TracesEveryLevelOfEveryChainWithAPointPerHistoryLine) {
    test::TempDir folder;
    study_ = test::WriteReportStudy(folder, 3, 5);
    Read();
    const std::vector<const XmlElement*> traces = parsed_.root.All("polyline", "trace");
    ASSERT_EQ(traces.size(), 6u * 3);  // six levels (None included), three chains each
    const XmlElement& brand = Chart("Attribute 1", "trace-figure");
    const std::vector<const XmlElement*> brandTraces = brand.All("polyline", "trace");
    ASSERT_EQ(brandTraces.size(), 3u * 3);
    for (const XmlElement* trace : traces) EXPECT_EQ(Points(*trace).size(), 5u);
    // Line i of chain c holds 100 c + i + (k + 1) / 1000: within a panel chain 1 lies lowest (largest
    // y), and every chain rises line by line, one unit a line.
    const auto first = Points(*brandTraces[0]);
    const auto second = Points(*brandTraces[1]);
    EXPECT_GT(first[0].second, second[0].second);
    const double unit = first[0].second - first[1].second;
    EXPECT_GT(unit, 0.0);
    for (size_t i = 1; i < first.size(); ++i) EXPECT_NEAR(first[i - 1].second - first[i].second, unit, 0.1);
    // Lines every 10 iterations, the first 5 - 3 of them burn-in: shaded from iteration 0 to 20.
    const double step = first[1].first - first[0].first;
    const std::vector<const XmlElement*> burnIn = brand.All("rect", "burn-in");
    ASSERT_EQ(burnIn.size(), 3u);
    EXPECT_NEAR(Number(burnIn[0]->Attribute("x")), first[0].first - step, 0.1);
    EXPECT_NEAR(Number(burnIn[0]->Attribute("width")), 2 * step, 0.1);
    std::vector<std::string> legend;
    for (const XmlElement* text : brand.All("text", "legend")) legend.push_back(text->text);
    EXPECT_EQ(legend, (std::vector<std::string>{"burn-in (not used)", "chain 1", "chain 2", "chain 3"}));
    // Each chain its own dash pattern, so that they stay apart in grey.
    EXPECT_EQ(brandTraces[0]->Attribute("stroke-dasharray"), "");
    EXPECT_NE(brandTraces[1]->Attribute("stroke-dasharray"), "");
    EXPECT_NE(brandTraces[2]->Attribute("stroke-dasharray"), brandTraces[1]->Attribute("stroke-dasharray"));
}

TEST_F(ReportTest, ThinsLongHistoriesToAThousandPointsOrSoEndingWithTheLastLine) {
    test::TempDir folder;
    study_ = test::WriteReportStudy(folder, 1, 2500);
    Read();
    const std::vector<const XmlElement*> traces = parsed_.root.All("polyline", "trace");
    ASSERT_EQ(traces.size(), 6u);
    EXPECT_EQ(Points(*traces[0]).size(), 834u);  // lines 3, 6, ..., 2499 and 2500
    EXPECT_NE(page_.find("Of the 2500 lines of each history, one in 3 is drawn."), std::string::npos);
    EXPECT_EQ(page_.find("chain 1"), std::string::npos);  // no legend of chains for one chain
}

TEST_F(ReportTest, CountsTheRespondentsOfEachRlhBin) {
    Read();
    const std::vector<const XmlElement*> bins =
        Chart("Root likelihood (RLH) of the respondents", "histogram").All("rect", "bin");
    ASSERT_EQ(bins.size(), 20u);
    int total = 0;
    std::vector<int> counts;
    for (const XmlElement* bin : bins) {
        const std::string title = bin->ChildText("title");
        counts.push_back(std::stoi(title.substr(title.rfind(' ') + 1)));
        total += counts.back();
        if (counts.back() == 0) {
            EXPECT_EQ(bin->Attribute("height"), "0.00");
        }
    }
    EXPECT_EQ(total, 3);
    // RLH 0.500, 0.650 and 1.000: bins [0.50, 0.55), [0.65, 0.70) and the last, which holds 1.
    EXPECT_EQ(counts[10], 1);
    EXPECT_EQ(counts[13], 1);
    EXPECT_EQ(counts[19], 1);
    EXPECT_EQ(bins[10]->ChildText("title"), "0.50 to 0.55: 1");
    EXPECT_EQ(bins[10]->Attribute("height"), bins[19]->Attribute("height"));
}

TEST_F(ReportTest, ShowsTheLastPreparationOfTheLog) {
    Read();
    const XmlElement* preparation = Section("preparation");
    ASSERT_NE(preparation, nullptr);
    EXPECT_EQ(preparation->ChildText("pre"), test::kReportPreparation);
    EXPECT_NE(preparation->AllText().find("10:00:00AM   Monday, December 07, 2026"), std::string::npos);
}

TEST_F(ReportTest, SaysSoWhenTheLogHoldsNoPreparation) {
    std::filesystem::remove(study_.Log());
    Read();
    EXPECT_EQ(Section("preparation")->ChildText("p"),
              "The log " + study_.Log() + " holds no preparation report.");
}

TEST_F(ReportTest, ShowsTheVerdictAndARowPerQuantityOfTheDiagnostics) {
    Read();
    const XmlElement* diagnostics = Section("diagnostics");
    ASSERT_NE(diagnostics, nullptr);
    const DiagnosticsReport report = GatherReport(study_).diagnostics;
    EXPECT_EQ(diagnostics->ChildText("pre"), VerdictText(report));
    const std::vector<const XmlElement*> rows = diagnostics->All("tbody").front()->All("tr");
    ASSERT_EQ(rows.size(), 10u);  // six alpha values, four variances
    EXPECT_EQ(rows[1]->children[1].text, test::kReportBrandB);
    EXPECT_EQ(rows[6]->children[0].text, "variance");
}

TEST_F(ReportTest, ShowsTheHoldoutTasksOnlyWhenTheSubsetLeavesSomeOut) {
    Read();
    const XmlElement* holdout = Section("holdout");
    ASSERT_NE(holdout, nullptr);
    const std::vector<const XmlElement*> rows = holdout->All("tbody").front()->All("tr");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]->children[0].text, "2");
    EXPECT_EQ(rows[0]->children[1].text, "3");
    EXPECT_EQ(rows[1]->children[0].text, "all");
    std::filesystem::remove(study_.TaskSubset());
    Read();
    EXPECT_EQ(Section("holdout"), nullptr);
    EXPECT_EQ(page_.find("#holdout"), std::string::npos);
}

TEST_F(ReportTest, RefusesHistoriesOfAnotherModelThanThePartWorths) {
    test::WriteHistories(study_, 1, 5, 7, 4);
    test::WriteFileText(study_.Layout(), "1 1 a\n1 2 b\n1 3 c\n1 4 d\n2 1 e\n2 2 f\nNONE\n");
    EXPECT_EQ(test::FailureMessage([&] { GatherReport(study_); }),
              study_.AlphaHistory() + " holds 7 values a line but the part-worth file " +
                  study_.PartWorths() + " holds 6 a respondent: they come from different estimations.");
}

TEST_F(ReportTest, RefusesChainsSampledWithDifferentSkips) {
    test::TempDir folder;
    study_ = test::WriteReportStudy(folder, 2, 5);
    test::WriteReportSettings(study_.ForChain(2), 3, 5, 8);
    EXPECT_EQ(test::FailureMessage([&] { GatherReport(study_); }),
              "The settings file " + study_.ForChain(2).Settings() + " gives a draw skip factor of 5 but " +
                  study_.ForChain(1).Settings() + " gives 10.");
}

TEST(LastPreparationEntry, TakesTheLastPreparationAndNotTheEstimatorsEntries) {
    const std::optional<PreparationEntry> entry = LastPreparationEntry(test::ReportLog());
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->date, "10:00:00AM   Monday, December 07, 2026");
    EXPECT_EQ(entry->text, test::kReportPreparation);
    std::string crlf;
    for (char c : test::ReportLog()) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(LastPreparationEntry(crlf)->text, test::kReportPreparation);
    const std::string estimatorOnly = "\n\n10:00:05AM   Monday\n=====\nPrevious Iterations 0\n";
    EXPECT_FALSE(LastPreparationEntry(estimatorOnly).has_value());
    EXPECT_FALSE(LastPreparationEntry("").has_value());
    EXPECT_FALSE(LastPreparationEntry("=====\nPreparing Files For HB Analysis\n").has_value());  // no date
}

}  // namespace
}  // namespace ombrel
