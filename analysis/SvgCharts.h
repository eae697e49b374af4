#pragma once

// The charts of the study report as inline SVG, written into an XHTML page. Every chart has a fixed
// viewBox width (kChartWidth user units, printed at 170 mm), a title, labelled axes with ticks, and
// draws in shades of distinct lightness with dash patterns where lines must be told apart, so that it
// survives printing in grey. Numbers are written with a fixed count of decimals, so the same data
// give the same bytes. The elements that carry data have classes the tests and the style sheet know:
//   bar chart   rect.bar (one per bar, in bar order), path.whisker (one per bar with a spread), line.zero
//   histogram   rect.bin (one per bin, in bin order; a bin with no count has height 0)
//   trace       polyline.trace (one per panel and chain, chain 1 first within a panel), rect.burn-in
// Trace points have one decimal (a tenth of a unit is finer than a printer's dot at this width), to
// keep a page of long histories small. Each data element holds a <title> with its label and value, which
// browsers show as a tooltip.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace ombrel {

inline constexpr int kChartWidth = 680;

// Text for XML character data and attribute values: & < > " escaped, bytes that are not valid UTF-8
// read as Latin-1 (files written on Windows), control characters other than tab and line feed (C0,
// DEL and C1) and the non-characters U+FFFE and U+FFFF replaced by U+FFFD, carriage returns dropped.
std::string XmlText(std::string_view text);

// A coordinate or length: two decimals, no minus sign on a zero.
std::string SvgNumber(double value);

// Ticks at 1, 2 or 5 times a power of ten covering low to high (about five of them), with the decimals
// their labels need. A range of zero width is widened around its value.
struct AxisTicks {
    double low = 0.0;   // the first tick, at or below the data
    double high = 1.0;  // the last tick, at or above the data
    double step = 1.0;
    int decimals = 0;
    std::vector<double> values;
};
AxisTicks NiceTicks(double low, double high);

// Horizontal bars from a zero line, one per row, each with a whisker of +-spread.
struct BarRow {
    std::string label;
    double value = 0.0;
    double spread = 0.0;  // drawn from value - spread to value + spread; 0: no whisker drawn
};
struct BarChart {
    std::string title;
    std::string axisTitle;
    std::vector<BarRow> rows;
    int decimals = 2;  // of the values in the tooltips
};
void WriteBarChart(std::ostream& out, const BarChart& chart);

// Counts over equal bins from low to high.
struct Histogram {
    std::string title;
    std::string xTitle;
    std::string yTitle;
    double low = 0.0;
    double high = 1.0;
    std::vector<int> counts;
};
void WriteHistogram(std::ostream& out, const Histogram& histogram);

// Small multiples of traces: one panel per quantity, two panels a row, every chain overlaid in its
// own shade and dash pattern (with a legend when there are several), the burn-in phase shaded.
struct TracePanel {
    std::string title;
    std::vector<std::vector<double>> chains;  // per chain, one value per point of x
};
struct TraceFigure {
    std::string title;
    std::string xTitle;
    std::vector<double> x;   // shared by every chain and panel, increasing
    double burnInEnd = 0.0;  // x up to which the points are burn-in; at or below x.front(): none
    std::vector<TracePanel> panels;
};
void WriteTraceFigure(std::ostream& out, const TraceFigure& figure);

}  // namespace ombrel
