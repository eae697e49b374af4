#include "analysis/Report.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "analysis/AnalysisText.h"
#include "analysis/Statistics.h"
#include "analysis/SvgCharts.h"
#include "common/AtomicFile.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel {

namespace {

// Longer histories are thinned to every k-th line so that a page stays small; the last line is
// always shown.
constexpr int64_t kMaxTracePoints = 1000;
// The RLH histogram: bins of 0.05 from 0 to 1, taken from the file's whole permille values.
constexpr int kRlhBins = 20;
constexpr int kPermillePerBin = 1000 / kRlhBins;

// Grey-scale safe: the bars are a mid shade under black whiskers; the chains' shades and dashes are
// the charts' own.
constexpr const char* kStyleSheet = R"(
body { font-family: "DejaVu Sans", "Liberation Sans", Arial, Helvetica, sans-serif; font-size: 10.5pt;
  color: #111; max-width: 180mm; margin: 1.5em auto; padding: 0 1em; line-height: 1.35; }
h1 { font-size: 17pt; margin-bottom: 0.2em; }
h2 { font-size: 13.5pt; border-bottom: 1px solid #888; margin-top: 1.6em; }
h3 { font-size: 11pt; margin: 1em 0 0.3em; }
p.facts, p.note { margin: 0.3em 0; }
p.note { color: #333; font-size: 9.5pt; }
nav ol { columns: 2; margin: 0.4em 0; }
pre { font-family: "DejaVu Sans Mono", "Liberation Mono", monospace; font-size: 9pt; background: #f3f3f3;
  border: 1px solid #ccc; padding: 0.5em; white-space: pre-wrap; tab-size: 8; }
table { border-collapse: collapse; font-size: 9.5pt; margin: 0.4em 0 0.8em; }
th, td { border-bottom: 1px solid #bbb; padding: 2px 8px; text-align: left; }
td.number, th.number { text-align: right; font-variant-numeric: tabular-nums; }
tr.flagged td { font-weight: bold; }
figure { margin: 0.6em 0 1em; break-inside: avoid; page-break-inside: avoid; }
figcaption { font-size: 9pt; color: #333; margin-top: 0.2em; }
svg.chart { display: block; width: 100%; max-width: 170mm; height: auto; }
svg text { font-family: "DejaVu Sans", "Liberation Sans", Arial, Helvetica, sans-serif; fill: #111; }
.chart-title { font-size: 13px; font-weight: bold; }
.panel-title { font-size: 11px; font-weight: bold; }
.axis-title, .bar-label, .legend { font-size: 11px; }
.tick-label { font-size: 10px; }
.grid { stroke: #d9d9d9; stroke-width: 0.6; }
.axis, .tick { stroke: #333; stroke-width: 0.8; }
.zero { stroke: #000; stroke-width: 1.2; }
rect.bar { fill: #7d8fa8; stroke: #25344d; stroke-width: 0.6; }
rect.bin { fill: #7d8fa8; stroke: #25344d; stroke-width: 0.6; }
path.whisker { stroke: #000; stroke-width: 1.1; fill: none; }
rect.burn-in, rect.burn-in-key { fill: #e4e4e4; stroke: none; }
polyline.trace, line.legend-line { fill: none; stroke-width: 1.1; }
@media print {
  @page { size: A4; margin: 16mm 18mm; }
  body { max-width: none; margin: 0; padding: 0; font-size: 10pt; }
  nav { display: none; }
  h2 { break-after: avoid; page-break-after: avoid; }
  h3 { break-after: avoid; page-break-after: avoid; }
  table, pre { break-inside: avoid; page-break-inside: avoid; }
  * { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
}
)";

std::string Cell(const std::string& text, bool number = false) {
    return std::string(number ? "<td class=\"number\">" : "<td>") + XmlText(text) + "</td>";
}

void WriteTableHead(std::ostream& out, const std::vector<std::pair<std::string, bool>>& columns) {
    out << "<table>\n<thead><tr>";
    for (const auto& [title, number] : columns)
        out << (number ? "<th class=\"number\">" : "<th>") << XmlText(title) << "</th>";
    out << "</tr></thead>\n<tbody>\n";
}

void WriteParagraph(std::ostream& out, const char* className, const std::string& text) {
    out << "<p class=\"" << className << "\">" << XmlText(text) << "</p>\n";
}

// The sections of the page, in their order: the anchor and the heading of each.
struct Section {
    const char* id;
    const char* title;
};
constexpr Section kPreparationSection{"preparation", "Preparation"};
constexpr Section kPartWorthSection{"part-worths", "Average part-worths"};
constexpr Section kImportanceSection{"importances", "Attribute importances"};
constexpr Section kTraceSection{"traces", "Population means over the iterations"};
constexpr Section kFitSection{"fit", "Fit of the respondents"};
constexpr Section kDiagnosticsSection{"diagnostics", "Convergence diagnostics"};
constexpr Section kHoldoutSection{"holdout", "Holdout validation"};

void WriteSectionStart(std::ostream& out, const Section& section) {
    out << "<section id=\"" << section.id << "\">\n<h2>" << section.title << "</h2>\n";
}

bool HasOwnLabel(const AnalysisAttribute& attribute) {
    return attribute.label != Format("Attribute %d", attribute.number);
}

std::string AttributeTitle(const AnalysisAttribute& attribute) {
    const std::string number = Format("Attribute %d", attribute.number);
    return HasOwnLabel(attribute) ? number + ": " + attribute.label : number;
}

// An attribute in a list of attributes: its own label, else its number and its first levels.
std::string AttributeName(const AnalysisAttribute& attribute) {
    if (HasOwnLabel(attribute) || attribute.levelTexts.empty()) return attribute.label;
    std::string name = attribute.label + " (" + attribute.levelTexts.front();
    if (attribute.levelTexts.size() > 1) name += ", " + attribute.levelTexts[1];
    return name + (attribute.levelTexts.size() > 2 ? ", ...)" : ")");
}

std::string EveryIteration(int drawSkip) {
    return drawSkip == 1 ? "every iteration" : Format("every %d iterations", drawSkip);
}

int RespondentCount(const ReportData& data) {
    return static_cast<int>(data.study.partWorths.respondents.size());
}

void WriteHeader(std::ostream& out, const ReportData& data) {
    out << "<h1>Study report: " << XmlText(data.studyName) << "</h1>\n";
    std::string seeds;
    for (size_t c = 0; c < data.diagnostics.seeds.size(); ++c)
        seeds += (c == 0 ? "" : ", ") + std::to_string(data.diagnostics.seeds[c]);
    WriteParagraph(out, "facts", "Data file: " + data.dataFile);
    WriteParagraph(out, "facts",
                   Format("%d respondents, %d values per respondent; %d chain%s (seed%s %s), %d used draws "
                          "per chain, sampled %s.",
                          RespondentCount(data), data.study.partWorths.layout.valueCount, data.chainCount,
                          data.chainCount == 1 ? "" : "s", data.chainCount == 1 ? "" : "s", seeds.c_str(),
                          data.traces.drawsPerChain, EveryIteration(data.traces.drawSkip).c_str()));
    out << "<nav><ol>\n";
    std::vector<Section> sections = {kPreparationSection, kPartWorthSection, kImportanceSection,
                                     kTraceSection,       kFitSection,       kDiagnosticsSection};
    if (data.holdout) sections.push_back(kHoldoutSection);
    for (const Section& section : sections)
        out << "<li><a href=\"#" << section.id << "\">" << section.title << "</a></li>\n";
    out << "</ol></nav>\n";
}

void WritePreparationSection(std::ostream& out, const ReportData& data) {
    WriteSectionStart(out, kPreparationSection);
    if (data.preparation) {
        WriteParagraph(out, "note",
                       "The last preparation in " + data.logFile + ", " + data.preparation->date + ":");
        out << "<pre>" << XmlText(data.preparation->text) << "</pre>\n";
    } else {
        WriteParagraph(out, "note", "The log " + data.logFile + " holds no preparation report.");
    }
    out << "</section>\n";
}

void WriteLevelTable(std::ostream& out, const ReportData& data) {
    WriteTableHead(out, {{"Attribute", false}, {"Level", false}, {"Mean", true}, {"SD", true}});
    for (const LevelSummary& level : data.levels) {
        const std::string attribute = level.attribute == 0 ? "None" : std::to_string(level.attribute);
        out << "<tr>" << Cell(attribute) << Cell(level.label) << Cell(FixedDecimal(level.mean, 3), true)
            << Cell(FixedDecimal(level.sd, 3), true) << "</tr>\n";
    }
    out << "</tbody></table>\n";
}

void WritePartWorthsSection(std::ostream& out, const ReportData& data) {
    WriteSectionStart(out, kPartWorthSection);
    for (const BarChart& chart : PartWorthBarCharts(data.study, data.levels)) {
        out << "<figure>\n";
        WriteBarChart(out, chart);
        out << "</figure>\n";
    }
    WriteParagraph(out, "note",
                   "Bars show the mean over the respondents of their point estimates (the .hbu file); the "
                   "whiskers reach one standard deviation either side, the spread of the respondents' "
                   "preferences.");
    if (!data.study.partWorths.layout.interactions.empty())
        WriteParagraph(out, "note", "The interaction cells are not charted; the .hbu file holds them.");
    WriteLevelTable(out, data);
    out << "</section>\n";
}

void WriteImportancesSection(std::ostream& out, const ReportData& data) {
    WriteSectionStart(out, kImportanceSection);
    const ImportanceResult& result = data.importances;
    const BarChart chart = ImportanceBarChart(data.study, result);
    out << "<figure>\n";
    WriteBarChart(out, chart);
    out << "</figure>\n";
    WriteTableHead(out, {{"Attribute", false}, {"Label", false}, {"Mean (%)", true}, {"SD", true}});
    for (const AttributeImportance& attribute : result.attributes) {
        const AnalysisAttribute& source = data.study.attributes[static_cast<size_t>(attribute.attribute - 1)];
        out << "<tr>" << Cell(std::to_string(attribute.attribute)) << Cell(AttributeName(source))
            << Cell(FixedDecimal(attribute.mean, 2), true) << Cell(FixedDecimal(attribute.sd, 2), true)
            << "</tr>\n";
    }
    out << "</tbody></table>\n";
    WriteParagraph(out, "note",
                   "A respondent's importance of an attribute is the range of its part-worths (for a linear "
                   "attribute the coefficient times the range of its values) as a percent of the sum of "
                   "the ranges of all attributes.");
    if (!result.interactionsLeftOut.empty()) {
        std::string names;
        for (const std::string& name : result.interactionsLeftOut)
            names += (names.empty() ? "" : ", ") + name;
        WriteParagraph(out, "note", "Interactions are left out of the ranges: " + names + ".");
    }
    if (result.zeroRangeRespondents > 0) {
        WriteParagraph(out, "note",
                       Format("%d respondents whose part-worths are all equal are left out.",
                              result.zeroRangeRespondents));
    }
    out << "</section>\n";
}

TracePanel MakePanel(const ReportTraces& traces, const std::vector<int64_t>& lines, int value,
                     const std::string& title) {
    TracePanel panel{title, {}};
    const size_t width = static_cast<size_t>(traces.valuesPerLine);
    for (const std::vector<double>& chain : traces.chains) {
        std::vector<double> values;
        for (int64_t line : lines) values.push_back(chain[static_cast<size_t>(line - 1) * width + value]);
        panel.chains.push_back(std::move(values));
    }
    return panel;
}

void WriteTraceFigures(std::ostream& out, const ReportData& data, const TraceFigure& shape) {
    const PartWorthLayout& layout = data.study.partWorths.layout;
    const std::vector<int64_t> lines = TraceShownLines(data.traces.lineCount);
    for (const AnalysisAttribute& attribute : data.study.attributes) {
        const int start = layout.valueStart[static_cast<size_t>(attribute.number - 1)];
        if (start < 0) continue;
        TraceFigure figure = shape;
        figure.title = AttributeTitle(attribute);
        for (int level = 0; level < layout.levels[static_cast<size_t>(attribute.number - 1)]; ++level) {
            const std::string& label = layout.labels[static_cast<size_t>(start + level)];
            const std::string title =
                attribute.kind == AttributeKind::Linear ? label + " (coefficient)" : label;
            figure.panels.push_back(MakePanel(data.traces, lines, start + level, title));
        }
        out << "<figure>\n";
        WriteTraceFigure(out, figure);
        out << "</figure>\n";
    }
    if (layout.noneIndex >= 0) {
        TraceFigure figure = shape;
        figure.title = "None";
        figure.panels.push_back(MakePanel(data.traces, lines, layout.noneIndex, "None"));
        out << "<figure>\n";
        WriteTraceFigure(out, figure);
        out << "</figure>\n";
    }
}

void WriteTracesSection(std::ostream& out, const ReportData& data) {
    WriteSectionStart(out, kTraceSection);
    const ReportTraces& traces = data.traces;
    const std::vector<int64_t> lines = TraceShownLines(traces.lineCount);
    const TraceFigure shape = TraceShape(traces);
    std::string text = Format(
        "The population mean (alpha) of every level, sampled %s, from the .alp file%s. The shaded start is "
        "the burn-in; the last %d sampled iterations are the used draws.",
        EveryIteration(traces.drawSkip).c_str(), data.chainCount > 1 ? "s of the chains, overlaid" : "",
        traces.drawsPerChain);
    if (lines.size() < static_cast<size_t>(traces.lineCount))
        text += Format(" Of the %lld lines of each history, one in %lld is drawn.",
                       static_cast<long long>(traces.lineCount), static_cast<long long>(lines.front()));
    WriteParagraph(out, "note", text);
    WriteTraceFigures(out, data, shape);
    if (!data.study.partWorths.layout.interactions.empty())
        WriteParagraph(out, "note", "The interaction cells are not drawn; the .alp file holds them.");
    out << "</section>\n";
}

void WriteFitSection(std::ostream& out, const ReportData& data) {
    WriteSectionStart(out, kFitSection);
    Histogram histogram{"Root likelihood (RLH) of the respondents",
                        "RLH",
                        "Respondents",
                        0.0,
                        1.0,
                        std::vector<int>(kRlhBins, 0)};
    std::vector<double> values;
    for (const RespondentFit& fit : data.fits) {
        const double rlh = std::isfinite(fit.rlh) ? std::clamp(fit.rlh, 0.0, 1.0) : 0.0;
        const long long permille = std::llround(rlh * 1000.0);
        ++histogram
              .counts[static_cast<size_t>(std::min<long long>(permille / kPermillePerBin, kRlhBins - 1))];
        values.push_back(fit.rlh);
    }
    out << "<figure>\n";
    WriteHistogram(out, histogram);
    out << "<figcaption>"
        << XmlText(Format("%zu respondents; mean RLH %s, median %s. Bins of 0.05; the last "
                          "holds 1.",
                          values.size(), FixedDecimal(Mean(values), 3).c_str(),
                          FixedDecimal(Quantile(values, 0.5), 3).c_str()))
        << "</figcaption>\n</figure>\n";
    WriteParagraph(out, "note",
                   "The RLH is the geometric mean of the probabilities a respondent's part-worths give to "
                   "the choices made; the higher, the better the fit.");
    out << "</section>\n";
}

void WriteDiagnosticsTable(std::ostream& out, const DiagnosticsReport& report) {
    WriteTableHead(out, {{"Kind", false},
                         {"Quantity", false},
                         {"Mean", true},
                         {"SD", true},
                         {"R-hat", true},
                         {"ESS bulk", true},
                         {"ESS tail", true}});
    for (const QuantityDiagnostics& row : report.quantities) {
        const ConvergenceMeasures& m = row.measures;
        out << (MissesConvergenceThreshold(m) ? "<tr class=\"flagged\">" : "<tr>")
            << Cell(QuantityKindName(row.kind)) << Cell(row.label) << Cell(FixedDecimal(m.mean, 3), true)
            << Cell(FixedDecimal(m.sd, 3), true) << Cell(FixedDecimal(m.rhat, 3), true)
            << Cell(FixedDecimal(m.essBulk, 0), true) << Cell(FixedDecimal(m.essTail, 0), true) << "</tr>\n";
    }
    out << "</tbody></table>\n";
}

void WriteDiagnosticsSection(std::ostream& out, const ReportData& data) {
    WriteSectionStart(out, kDiagnosticsSection);
    out << "<pre>" << XmlText(VerdictText(data.diagnostics)) << "</pre>\n";
    WriteParagraph(
        out, "note",
        Format("Rows in bold miss a threshold: an R-hat of %s or more, or an effective sample size "
               "(ESS) below %s. NA: the quantity never changes.",
               FixedDecimal(kConvergedRhatBelow, 2).c_str(), FixedDecimal(kConvergedEssAtLeast, 0).c_str()));
    WriteDiagnosticsTable(out, data.diagnostics);
    out << "</section>\n";
}

void WriteHoldoutSection(std::ostream& out, const HoldoutResult& holdout) {
    WriteSectionStart(out, kHoldoutSection);
    WriteTableHead(
        out, {{"Task", false}, {"Respondents", true}, {"Hit rate (%)", true}, {"Share MAE (points)", true}});
    const auto row = [&out](const std::string& task, const HoldoutTaskResult& result) {
        out << "<tr>" << Cell(task) << Cell(std::to_string(result.respondents), true)
            << Cell(FixedDecimal(result.hitRate, 1), true) << Cell(FixedDecimal(result.shareMae, 2), true)
            << "</tr>\n";
    };
    for (const HoldoutTaskResult& task : holdout.tasks) row(std::to_string(task.task), task);
    row("all", holdout.all);
    out << "</tbody></table>\n";
    WriteParagraph(out, "note",
                   "The tasks the task subset file left out of the estimation. Hit rate: the percent of "
                   "respondents whose highest-utility alternative is the one they chose. Share MAE: the mean "
                   "absolute difference between predicted shares of preference and observed choice shares.");
    if (holdout.respondentsWithoutPartWorths > 0) {
        WriteParagraph(out, "note",
                       Format("%d respondents of the data file have no part-worths and are not scored.",
                              holdout.respondentsWithoutPartWorths));
    }
    out << "</section>\n";
}

}  // namespace

std::vector<BarChart> PartWorthBarCharts(const AnalysisStudy& study,
                                         const std::vector<LevelSummary>& levels) {
    const std::string axis = Format(
        "Part-worth utility: mean and \xC2\xB1"
        "1 SD over %d respondents",
        static_cast<int>(study.partWorths.respondents.size()));
    std::vector<BarChart> charts;
    BarChart others{"", axis, {}, 3};
    for (const AnalysisAttribute& attribute : study.attributes) {
        BarChart chart{AttributeTitle(attribute), axis, {}, 3};
        for (const LevelSummary& level : levels) {
            if (level.attribute != attribute.number) continue;
            BarRow row{level.label, level.mean, level.sd};
            if (attribute.kind == AttributeKind::Linear) {
                row.label = attribute.label + " (per unit)";
                others.rows.push_back(row);
            } else {
                chart.rows.push_back(row);
            }
        }
        if (!chart.rows.empty()) charts.push_back(std::move(chart));
    }
    for (const LevelSummary& level : levels) {
        if (level.attribute == 0) others.rows.push_back({"None", level.mean, level.sd});
    }
    if (!others.rows.empty()) {
        const bool none = study.partWorths.layout.noneIndex >= 0;
        others.title = others.rows.size() == 1 && none ? "None"
                       : none                          ? "Linear attributes (per unit) and None"
                                                       : "Linear attributes (per unit)";
        charts.push_back(std::move(others));
    }
    return charts;
}

BarChart ImportanceBarChart(const AnalysisStudy& study, const ImportanceResult& result) {
    BarChart chart{"Importance of each attribute",
                   Format("Importance (%%): mean and \xC2\xB1"
                          "1 SD over %d respondents",
                          result.respondentCount),
                   {},
                   1};
    for (const AttributeImportance& attribute : result.attributes) {
        const AnalysisAttribute& source = study.attributes[static_cast<size_t>(attribute.attribute - 1)];
        chart.rows.push_back({AttributeName(source), attribute.mean, attribute.sd});
    }
    return chart;
}

TraceFigure TraceShape(const ReportTraces& traces) {
    TraceFigure shape;
    shape.xTitle = "Iteration";
    for (int64_t line : TraceShownLines(traces.lineCount))
        shape.x.push_back(static_cast<double>(line * traces.drawSkip));
    shape.burnInEnd = TraceBurnInEnd(traces);
    return shape;
}

TraceFigure PickedTraceFigure(const ReportTraces& traces, const std::vector<TraceQuantity>& picked) {
    TraceFigure figure = TraceShape(traces);
    figure.title = "Population means (alpha)";
    const std::vector<int64_t> lines = TraceShownLines(traces.lineCount);
    for (const TraceQuantity& quantity : picked)
        figure.panels.push_back(MakePanel(traces, lines, quantity.value, quantity.title));
    return figure;
}

std::vector<TraceQuantity> TraceQuantities(const AnalysisStudy& study) {
    const PartWorthLayout& layout = study.partWorths.layout;
    std::vector<TraceQuantity> quantities;
    for (const AnalysisAttribute& attribute : study.attributes) {
        const int start = layout.valueStart[static_cast<size_t>(attribute.number - 1)];
        if (start < 0) continue;
        for (int level = 0; level < layout.levels[static_cast<size_t>(attribute.number - 1)]; ++level) {
            const std::string& label = layout.labels[static_cast<size_t>(start + level)];
            const std::string title = attribute.kind == AttributeKind::Linear
                                          ? label + " (coefficient)"
                                          : attribute.label + ": " + label;
            quantities.push_back({start + level, title});
        }
    }
    if (layout.noneIndex >= 0) quantities.push_back({layout.noneIndex, "None"});
    return quantities;
}

std::vector<int64_t> TraceShownLines(int64_t lineCount) {
    const int64_t stride = std::max<int64_t>(1, (lineCount + kMaxTracePoints - 1) / kMaxTracePoints);
    std::vector<int64_t> lines;
    for (int64_t line = stride; line <= lineCount; line += stride) lines.push_back(line);
    if (lines.empty() || lines.back() != lineCount) lines.push_back(lineCount);
    return lines;
}

double TraceBurnInEnd(const ReportTraces& traces) {
    return static_cast<double>((traces.lineCount - traces.drawsPerChain) * traces.drawSkip);
}

bool MissesConvergenceThreshold(const ConvergenceMeasures& measures) {
    return measures.rhat >= kConvergedRhatBelow || measures.essBulk < kConvergedEssAtLeast ||
           measures.essTail < kConvergedEssAtLeast;
}

std::string StandaloneSvg(const std::string& inlineSvg) {
    const size_t tagEnd = inlineSvg.find('>');
    if (inlineSvg.compare(0, 4, "<svg") != 0 || tagEnd == std::string::npos) return inlineSvg;
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + inlineSvg.substr(0, tagEnd + 1) +
           "\n<style><![CDATA[" + kStyleSheet + "]]></style>" + inlineSvg.substr(tagEnd + 1);
}

void WriteReport(std::ostream& out, const ReportData& data) {
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n"
        << "<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\" xml:lang=\"en\">\n<head>\n"
        << "<meta charset=\"UTF-8\"/>\n<title>Study report: " << XmlText(data.studyName) << "</title>\n"
        << "<style>" << kStyleSheet << "</style>\n</head>\n<body>\n";
    WriteHeader(out, data);
    WritePreparationSection(out, data);
    WritePartWorthsSection(out, data);
    WriteImportancesSection(out, data);
    WriteTracesSection(out, data);
    WriteFitSection(out, data);
    WriteDiagnosticsSection(out, data);
    if (data.holdout) WriteHoldoutSection(out, *data.holdout);
    out << "</body>\n</html>\n";
}

void WriteReportFile(const std::string& path, const ReportData& data) {
    std::ostringstream page;
    WriteReport(page, data);
    if (!WriteFileAtomically(path, page.str()))
        throw OmbrelError(Format("The report %s could not be written.", path.c_str()));
}

void WriteReportFile(const StudyFiles& study, const ReportData& data) {
    WriteReportFile(study.Report(), data);
}

}  // namespace ombrel
