#include "analysis/SvgCharts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "analysis/AnalysisText.h"

namespace ombrel {

namespace {

constexpr double kMargin = 10.0;
constexpr double kTitleBaseline = 18.0;
constexpr double kPlotTop = 34.0;
// Texts longer than these (in characters) would run out of their room and are cut short with an
// ellipsis: a bar's label (its tooltip keeps the whole label), a trace panel's title and a chart's
// title (the chart's own <title> keeps it whole).
constexpr size_t kLabelCharacters = 34;
constexpr size_t kPanelTitleCharacters = 40;
constexpr size_t kChartTitleCharacters = 80;

void AppendUtf8(uint32_t code, std::string& text) {
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The code point of a valid UTF-8 sequence at text[i] and its length; length 0 when none starts there.
uint32_t DecodeUtf8(std::string_view text, size_t i, size_t& length) {
    const auto byte = [&text](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    length = 0;
    size_t count = 0;
    uint32_t code = 0;
    uint32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 2, code = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 3, code = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 4, code = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (i + count > text.size()) return 0;
    for (size_t k = 1; k < count; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    length = count;
    return code;
}

bool AllowedInXml(uint32_t code) {
    if (code < 0x20) return code == '\t' || code == '\n';
    if (code >= 0x7F && code <= 0x9F) return false;
    return code != 0xFFFE && code != 0xFFFF;
}

// The label cut to limit characters, counted by the bytes that start one.
std::string ShortLabel(const std::string& label, size_t limit = kLabelCharacters) {
    const auto starts = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; };
    if (static_cast<size_t>(std::count_if(label.begin(), label.end(), starts)) <= limit) return label;
    size_t characters = 0;
    size_t cut = 0;
    while (cut < label.size() && !(starts(label[cut]) && ++characters == limit)) ++cut;
    return label.substr(0, cut) + "\xE2\x80\xA6";
}

// A linear map from data values to user units.
struct Scale {
    double from0 = 0.0;
    double from1 = 1.0;
    double to0 = 0.0;
    double to1 = 1.0;
    double operator()(double value) const { return to0 + (value - from0) / (from1 - from0) * (to1 - to0); }
};

void WriteSvgStart(std::ostream& out, double height, const std::string& title, const char* className) {
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart " << className << "\" viewBox=\"0 0 "
        << kChartWidth << " " << SvgNumber(height) << "\" width=\"" << kChartWidth << "\" height=\""
        << SvgNumber(height) << "\" role=\"img\">\n";
    const std::string escaped = XmlText(title);
    out << "<title>" << escaped << "</title>\n";
    out << "<text class=\"chart-title\" x=\"" << SvgNumber(kMargin) << "\" y=\"" << SvgNumber(kTitleBaseline)
        << "\">" << XmlText(ShortLabel(title, kChartTitleCharacters)) << "</text>\n";
}

void WriteText(std::ostream& out, double x, double y, const char* className, const std::string& text,
               const char* extra = "") {
    out << "<text class=\"" << className << "\" x=\"" << SvgNumber(x) << "\" y=\"" << SvgNumber(y) << "\""
        << extra << ">" << XmlText(text) << "</text>\n";
}

void WriteLine(std::ostream& out, const char* className, double x1, double y1, double x2, double y2) {
    out << "<line class=\"" << className << "\" x1=\"" << SvgNumber(x1) << "\" y1=\"" << SvgNumber(y1)
        << "\" x2=\"" << SvgNumber(x2) << "\" y2=\"" << SvgNumber(y2) << "\"/>\n";
}

// Vertical grid lines and tick labels of a horizontal axis at y (the plot spans top to y).
void WriteXAxis(std::ostream& out, const AxisTicks& ticks, const Scale& x, double top, double y,
                const std::string& title) {
    for (double tick : ticks.values) {
        WriteLine(out, "grid", x(tick), top, x(tick), y);
        WriteLine(out, "tick", x(tick), y, x(tick), y + 4);
        WriteText(out, x(tick), y + 15, "tick-label", FixedDecimal(tick, ticks.decimals),
                  " text-anchor=\"middle\"");
    }
    WriteLine(out, "axis", x.to0, y, x.to1, y);
    WriteText(out, (x.to0 + x.to1) / 2, y + 31, "axis-title", title, " text-anchor=\"middle\"");
}

// Horizontal grid lines and tick labels of a vertical axis at x (the plot spans x to right).
void WriteYAxis(std::ostream& out, const AxisTicks& ticks, const Scale& y, double x, double right) {
    for (double tick : ticks.values) {
        WriteLine(out, "grid", x, y(tick), right, y(tick));
        WriteLine(out, "tick", x - 4, y(tick), x, y(tick));
        WriteText(out, x - 6, y(tick) + 4, "tick-label", FixedDecimal(tick, ticks.decimals),
                  " text-anchor=\"end\"");
    }
    WriteLine(out, "axis", x, y.to0, x, y.to1);
}

void WriteYTitle(std::ostream& out, double x, double y, const std::string& title) {
    out << "<text class=\"axis-title\" text-anchor=\"middle\" transform=\"translate(" << SvgNumber(x) << " "
        << SvgNumber(y) << ") rotate(-90)\">" << XmlText(title) << "</text>\n";
}

// The chains' line styles: lightness far apart, and a dash pattern each.
struct LineStyle {
    const char* colour;
    const char* dashes;  // empty: solid
};
constexpr std::array<LineStyle, 6> kChainStyles{{{"#14285a", ""},
                                                 {"#c25a00", "6 3"},
                                                 {"#6fa8dc", "2 2"},
                                                 {"#000000", "8 3 2 3"},
                                                 {"#8c8c8c", "1 3"},
                                                 {"#7a3e9d", "10 4"}}};

const LineStyle& ChainStyle(size_t chain) { return kChainStyles[chain % kChainStyles.size()]; }

std::string StyleAttributes(const LineStyle& style) {
    std::string text = " stroke=\"" + std::string(style.colour) + "\"";
    if (*style.dashes != '\0') text += " stroke-dasharray=\"" + std::string(style.dashes) + "\"";
    return text;
}

}  // namespace

std::string XmlText(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t length = 0;
        uint32_t code = DecodeUtf8(text, i, length);
        if (length == 0) {
            code = static_cast<unsigned char>(text[i]);  // ASCII, or a Latin-1 byte
            length = 1;
        }
        i += length;
        if (code == '\r') continue;
        if (!AllowedInXml(code)) code = 0xFFFD;
        switch (code) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                AppendUtf8(code, escaped);
        }
    }
    return escaped;
}

std::string SvgNumber(double value) { return FixedDecimal(value, 2); }

AxisTicks NiceTicks(double low, double high) {
    if (!std::isfinite(low) || !std::isfinite(high)) low = 0.0, high = 1.0;
    if (high < low) std::swap(low, high);
    // Far beyond any utility, and so far from overflow that the range and its steps stay finite.
    constexpr double kLargest = 1e150;
    low = std::clamp(low, -kLargest, kLargest);
    high = std::clamp(high, -kLargest, kLargest);
    if (high - low < 1e-9 * std::max(1.0, std::fabs(high))) {
        const double pad = low == 0.0 ? 1.0 : std::fabs(low) * 0.1;
        low -= pad;
        high += pad;
    }
    const double rough = (high - low) / 5.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double fraction = rough / power;
    const double multiple = fraction <= 1.0 ? 1.0 : fraction <= 2.0 ? 2.0 : fraction <= 5.0 ? 5.0 : 10.0;
    AxisTicks ticks;
    ticks.step = multiple * power;
    ticks.decimals = std::max(0, -static_cast<int>(std::floor(std::log10(ticks.step) + 1e-9)));
    const long long first = static_cast<long long>(std::floor(low / ticks.step + 1e-9));
    const long long last = static_cast<long long>(std::ceil(high / ticks.step - 1e-9));
    for (long long k = first; k <= last; ++k) ticks.values.push_back(static_cast<double>(k) * ticks.step);
    ticks.low = ticks.values.front();
    ticks.high = ticks.values.back();
    return ticks;
}

void WriteBarChart(std::ostream& out, const BarChart& chart) {
    constexpr double kLabelRight = 236.0;
    constexpr double kRowHeight = 22.0;
    constexpr double kBarHeight = 14.0;
    const double plotBottom = kPlotTop + kRowHeight * static_cast<double>(chart.rows.size());
    double low = 0.0;
    double high = 0.0;
    // A value that is not a number (a mean over nobody) is drawn as no bar.
    std::vector<BarRow> rows = chart.rows;
    for (BarRow& row : rows) {
        if (!std::isfinite(row.value)) row.value = 0.0;
        if (!std::isfinite(row.spread) || row.spread < 0.0) row.spread = 0.0;
        low = std::min(low, row.value - row.spread);
        high = std::max(high, row.value + row.spread);
    }
    const AxisTicks ticks = NiceTicks(low, high);
    const Scale x{ticks.low, ticks.high, kLabelRight + 8, kChartWidth - 2 * kMargin};
    WriteSvgStart(out, plotBottom + 44, chart.title, "bar-chart");
    WriteXAxis(out, ticks, x, kPlotTop - 4, plotBottom, chart.axisTitle);
    for (size_t i = 0; i < chart.rows.size(); ++i) {
        const BarRow& row = rows[i];
        const double rowTop = kPlotTop + kRowHeight * static_cast<double>(i);
        const double middle = rowTop + kRowHeight / 2 - 2;
        const std::string label = XmlText(row.label);
        out << "<text class=\"bar-label\" x=\"" << SvgNumber(kLabelRight) << "\" y=\""
            << SvgNumber(middle + 4) << "\" text-anchor=\"end\">" << XmlText(ShortLabel(row.label))
            << "</text>\n";
        const double left = std::min(x(0.0), x(row.value));
        out << "<rect class=\"bar\" x=\"" << SvgNumber(left) << "\" y=\""
            << SvgNumber(middle - kBarHeight / 2) << "\" width=\""
            << SvgNumber(std::fabs(x(row.value) - x(0.0))) << "\" height=\"" << SvgNumber(kBarHeight)
            << "\"><title>" << label << ": " << FixedDecimal(chart.rows[i].value, chart.decimals);
        if (row.spread > 0.0) out << " \xC2\xB1 " << FixedDecimal(row.spread, chart.decimals);
        out << "</title></rect>\n";
        if (row.spread > 0.0) {
            const std::string from = SvgNumber(x(row.value - row.spread));
            const std::string to = SvgNumber(x(row.value + row.spread));
            out << "<path class=\"whisker\" d=\"M" << from << " " << SvgNumber(middle - 4) << "V"
                << SvgNumber(middle + 4) << "M" << from << " " << SvgNumber(middle) << "H" << to << "M" << to
                << " " << SvgNumber(middle - 4) << "V" << SvgNumber(middle + 4) << "\"/>\n";
        }
    }
    WriteLine(out, "zero", x(0.0), kPlotTop - 4, x(0.0), plotBottom);
    out << "</svg>\n";
}

void WriteHistogram(std::ostream& out, const Histogram& histogram) {
    constexpr double kLeft = 64.0;
    constexpr double kPlotHeight = 200.0;
    const double bottom = kPlotTop + kPlotHeight;
    int most = 1;
    for (int count : histogram.counts) most = std::max(most, count);
    AxisTicks yTicks = NiceTicks(0.0, most);
    if (yTicks.step < 1.0) yTicks = NiceTicks(0.0, std::max(5, most));  // whole respondents only
    const AxisTicks xTicks = NiceTicks(histogram.low, histogram.high);
    const Scale x{histogram.low, histogram.high, kLeft, kChartWidth - 2 * kMargin};
    const Scale y{0.0, yTicks.high, bottom, kPlotTop};
    WriteSvgStart(out, bottom + 44, histogram.title, "histogram");
    WriteYAxis(out, yTicks, y, kLeft, x.to1);
    WriteXAxis(out, xTicks, x, bottom, bottom, histogram.xTitle);
    WriteYTitle(out, 16, (kPlotTop + bottom) / 2, histogram.yTitle);
    const size_t bins = histogram.counts.size();
    const double width = (histogram.high - histogram.low) / static_cast<double>(std::max<size_t>(bins, 1));
    for (size_t i = 0; i < bins; ++i) {
        const double from = histogram.low + width * static_cast<double>(i);
        const int count = histogram.counts[i];
        out << "<rect class=\"bin\" x=\"" << SvgNumber(x(from)) << "\" y=\"" << SvgNumber(y(count))
            << "\" width=\"" << SvgNumber(x(from + width) - x(from)) << "\" height=\""
            << SvgNumber(y(0.0) - y(count)) << "\"><title>" << FixedDecimal(from, 2) << " to "
            << FixedDecimal(from + width, 2) << ": " << count << "</title></rect>\n";
    }
    out << "</svg>\n";
}

namespace {

constexpr double kPanelWidth = (kChartWidth - 3 * kMargin) / 2.0;
constexpr double kPanelHeight = 150.0;
constexpr double kPanelLeft = 46.0;  // room for the y tick labels
constexpr double kPanelPlotTop = 18.0;
constexpr double kPanelPlotHeight = 96.0;
constexpr size_t kLegendPerRow = 6;

// The burn-in key, then the chains, kLegendPerRow a row.
void WriteLegend(std::ostream& out, size_t chainCount, bool burnIn, double y) {
    const double chainsLeft = burnIn ? kMargin + 150 : kMargin;
    double x = kMargin;
    if (burnIn) {
        out << "<rect class=\"burn-in-key\" x=\"" << SvgNumber(x) << "\" y=\"" << SvgNumber(y - 9)
            << "\" width=\"22\" height=\"12\"/>\n";
        WriteText(out, x + 28, y + 1, "legend", "burn-in (not used)");
    }
    x = chainsLeft;
    for (size_t c = 0; chainCount > 1 && c < chainCount; ++c) {
        out << "<line class=\"legend-line\" x1=\"" << SvgNumber(x) << "\" y1=\"" << SvgNumber(y - 3)
            << "\" x2=\"" << SvgNumber(x + 28) << "\" y2=\"" << SvgNumber(y - 3) << "\""
            << StyleAttributes(ChainStyle(c)) << "/>\n";
        WriteText(out, x + 33, y + 1, "legend", "chain " + std::to_string(c + 1));
        x += 84;
        if ((c + 1) % kLegendPerRow == 0) {
            x = chainsLeft;
            y += 16;
        }
    }
}

void WritePanel(std::ostream& out, const TraceFigure& figure, const TracePanel& panel, double left,
                double top) {
    double low = INFINITY;
    double high = -INFINITY;
    for (const std::vector<double>& chain : panel.chains) {
        for (double value : chain) low = std::min(low, value), high = std::max(high, value);
    }
    const AxisTicks yTicks = NiceTicks(low, high);
    const AxisTicks xTicks = NiceTicks(0.0, figure.x.empty() ? 1.0 : figure.x.back());
    const double plotBottom = top + kPanelPlotTop + kPanelPlotHeight;
    const Scale x{xTicks.low, xTicks.high, left + kPanelLeft, left + kPanelWidth - 6};
    const Scale y{yTicks.low, yTicks.high, plotBottom, top + kPanelPlotTop};
    out << "<g class=\"panel\">\n<title>" << XmlText(panel.title) << "</title>\n";
    WriteText(out, left + kPanelLeft, top + 12, "panel-title",
              ShortLabel(panel.title, kPanelTitleCharacters));
    if (!figure.x.empty() && figure.burnInEnd > figure.x.front()) {
        out << "<rect class=\"burn-in\" x=\"" << SvgNumber(x(xTicks.low)) << "\" y=\"" << SvgNumber(y.to1)
            << "\" width=\"" << SvgNumber(x(figure.burnInEnd) - x(xTicks.low)) << "\" height=\""
            << SvgNumber(kPanelPlotHeight) << "\"/>\n";
    }
    WriteYAxis(out, yTicks, y, x.to0, x.to1);
    WriteXAxis(out, xTicks, x, y.to1, plotBottom, figure.xTitle);
    for (size_t c = 0; c < panel.chains.size(); ++c) {
        out << "<polyline class=\"trace\"" << StyleAttributes(ChainStyle(c)) << " points=\"";
        const std::vector<double>& chain = panel.chains[c];
        for (size_t i = 0; i < chain.size() && i < figure.x.size(); ++i)
            out << (i == 0 ? "" : " ") << FixedDecimal(x(figure.x[i]), 1) << ","
                << FixedDecimal(y(chain[i]), 1);
        out << "\"/>\n";
    }
    out << "</g>\n";
}

}  // namespace

void WriteTraceFigure(std::ostream& out, const TraceFigure& figure) {
    const size_t chainCount = figure.panels.empty() ? 0 : figure.panels.front().chains.size();
    const bool burnIn = !figure.x.empty() && figure.burnInEnd > figure.x.front();
    const double legendRows = chainCount > 1
                                  ? static_cast<double>((chainCount + kLegendPerRow - 1) / kLegendPerRow)
                              : burnIn ? 1.0
                                       : 0.0;
    const double panelsTop = kPlotTop + 16.0 * legendRows - (legendRows > 0 ? 4.0 : 12.0);
    const double rows = static_cast<double>((figure.panels.size() + 1) / 2);
    WriteSvgStart(out, panelsTop + rows * kPanelHeight + 6, figure.title, "trace-figure");
    if (legendRows > 0) WriteLegend(out, chainCount, burnIn, kPlotTop);
    for (size_t p = 0; p < figure.panels.size(); ++p) {
        const double left = kMargin + static_cast<double>(p % 2) * (kPanelWidth + kMargin);
        const double top = panelsTop + static_cast<double>(p / 2) * kPanelHeight;
        WritePanel(out, figure, figure.panels[p], left, top);
    }
    out << "</svg>\n";
}

}  // namespace ombrel
