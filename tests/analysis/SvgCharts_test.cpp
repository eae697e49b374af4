// The pieces of the report's charts: text made safe for XML, and axis ticks.

#include "analysis/SvgCharts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "tests/analysis/XmlTree.h"

namespace ombrel {
namespace {

TEST(XmlText, EscapesTheMarkupCharacters) {
    EXPECT_EQ(XmlText("Bean & Bloom <\"best\"> 'x'"), "Bean &amp; Bloom &lt;&quot;best&quot;&gt; 'x'");
}

TEST(XmlText, KeepsUtf8AndReadsOtherBytesAsLatin1) {
    EXPECT_EQ(XmlText("Caf\xC3\xA9"), "Caf\xC3\xA9");
    EXPECT_EQ(XmlText("Caf\xE9"), "Caf\xC3\xA9");  // a Latin-1 e acute
    // A sequence cut short, and a UTF-16 surrogate, are Latin-1 bytes; 0x80 to 0x9F are control
    // characters there.
    EXPECT_EQ(XmlText("\xE2\x82"), "\xC3\xA2\xEF\xBF\xBD");
    EXPECT_EQ(XmlText("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xEF\xBF\xBD");
}

TEST(XmlText, ReplacesWhatXmlCannotHoldAndDropsCarriageReturns) {
    EXPECT_EQ(XmlText(std::string("a\x01"
                                  "b\0c",
                                  5)),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD"
              "c");
    EXPECT_EQ(XmlText("line\r\nnext\tcolumn"), "line\nnext\tcolumn");
    EXPECT_EQ(XmlText("\xEF\xBF\xBE"), "\xEF\xBF\xBD");  // U+FFFE
    // Whatever the bytes, the result parses.
    std::string every;
    for (int byte = 1; byte < 256; ++byte) every += static_cast<char>(byte);
    EXPECT_EQ(test::ParseXml("<a>" + XmlText(every) + "</a>").error, "");
}

TEST(NiceTicks, StepsOfOneTwoOrFiveTimesAPowerOfTenCoveringTheData) {
    const AxisTicks utility = NiceTicks(-2.2, 1.8);
    EXPECT_EQ(utility.values, (std::vector<double>{-3, -2, -1, 0, 1, 2}));
    EXPECT_EQ(utility.decimals, 0);
    const AxisTicks share = NiceTicks(0.0, 0.37);
    EXPECT_DOUBLE_EQ(share.step, 0.1);
    EXPECT_EQ(share.decimals, 1);
    EXPECT_EQ(share.values.size(), 5u);
    EXPECT_DOUBLE_EQ(share.high, 0.4);
    const AxisTicks iterations = NiceTicks(0.0, 20000.0);
    EXPECT_DOUBLE_EQ(iterations.step, 5000.0);
    EXPECT_EQ(iterations.values.size(), 5u);
}

TEST(NiceTicks, WidensARangeOfNoWidth) {
    const AxisTicks constant = NiceTicks(5.0, 5.0);
    EXPECT_LT(constant.low, 5.0);
    EXPECT_GT(constant.high, 5.0);
    const AxisTicks zero = NiceTicks(0.0, 0.0);
    EXPECT_DOUBLE_EQ(zero.low, -1.0);
    EXPECT_DOUBLE_EQ(zero.high, 1.0);
}

TEST(SvgNumber, TwoDecimalsAndNoNegativeZero) {
    EXPECT_EQ(SvgNumber(12.345), "12.35");
    EXPECT_EQ(SvgNumber(-0.001), "0.00");
    EXPECT_EQ(SvgNumber(-3.0), "-3.00");
}

TEST(BarChart, CutsLongLabelsButKeepsThemWholeInTheTooltip) {
    const std::string label = "A level text that runs on far longer than the label column";
    std::ostringstream svg;
    WriteBarChart(svg, BarChart{"T", "Axis", {{label, 1.0, 0.0}}, 2});
    const test::ParsedXml parsed = test::ParseXml(svg.str());
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.root.All("text", "bar-label").front()->text, label.substr(0, 33) + "\xE2\x80\xA6");
    EXPECT_EQ(parsed.root.All("rect", "bar").front()->ChildText("title"), label + ": 1.00");
    EXPECT_TRUE(parsed.root.All("path", "whisker").empty());  // no spread, no whisker
}

TEST(BarChart, DrawsAValueThatIsNoNumberAsNoBar) {
    std::ostringstream svg;
    WriteBarChart(svg, BarChart{"T", "Axis", {{"a", std::nan(""), std::nan("")}, {"b", -1.0, 0.5}}, 1});
    const test::ParsedXml parsed = test::ParseXml(svg.str());
    ASSERT_EQ(parsed.error, "");
    const std::vector<const test::XmlElement*> bars = parsed.root.All("rect", "bar");
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_EQ(bars[0]->Attribute("width"), "0.00");
    EXPECT_EQ(bars[0]->ChildText("title"), "a: NA");
    EXPECT_EQ(bars[1]->ChildText("title"), "b: -1.0 \xC2\xB1 0.5");
    EXPECT_EQ(svg.str().find("NA\""), std::string::npos);  // no attribute holds NA
}

TEST(TraceFigure, KeepsALongPanelTitleWholeOnlyInItsTooltipAndGivesEveryChainALegend) {
    const std::string title(60, 'x');
    TraceFigure figure{"Figure", "Iteration", {10, 20, 30}, 0.0, {}};
    figure.panels.push_back({title, std::vector<std::vector<double>>(7, {1.0, 2.0, 3.0})});
    std::ostringstream svg;
    WriteTraceFigure(svg, figure);
    const test::ParsedXml parsed = test::ParseXml(svg.str());
    ASSERT_EQ(parsed.error, "");
    const test::XmlElement& panel = *parsed.root.All("g", "panel").front();
    EXPECT_EQ(panel.ChildText("title"), title);
    EXPECT_EQ(panel.All("text", "panel-title").front()->text, std::string(39, 'x') + "\xE2\x80\xA6");
    EXPECT_EQ(panel.All("polyline", "trace").size(), 7u);
    // Six chains a row: the seventh starts a second row, under the first; no burn-in key.
    const std::vector<const test::XmlElement*> keys = parsed.root.All("line", "legend-line");
    ASSERT_EQ(keys.size(), 7u);
    EXPECT_EQ(keys[6]->Attribute("x1"), keys[0]->Attribute("x1"));
    EXPECT_GT(std::stod(keys[6]->Attribute("y1")), std::stod(keys[0]->Attribute("y1")));
    EXPECT_TRUE(parsed.root.All("rect", "burn-in").empty());
}

}  // namespace
}  // namespace ombrel
