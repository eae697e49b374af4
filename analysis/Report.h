#pragma once

// The study report: one self-contained XHTML page (UTF-8, inline CSS and SVG, no scripts and no
// outside references, so it opens offline and can be mailed) with the preparation summary, the
// average part-worths and the importances as bar charts, the traces of the population means, the
// distribution of the respondents' fit, the convergence diagnostics and, when the study has holdout
// tasks, their validation. The same files give the same bytes: the page holds no time of its own.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/AnalysisStudy.h"
#include "analysis/Holdout.h"
#include "analysis/Importances.h"
#include "analysis/SvgCharts.h"
#include "common/StudyFiles.h"
#include "estimator/diagnostics/DiagnosticsReport.h"

namespace ombrel {

// One entry of a study's log that the preparation wrote: its date line and its report text.
struct PreparationEntry {
    std::string date;
    std::string text;
};

// The last preparation entry of a log's text (entries start with a date line and a rule of '='
// characters); nothing when the log holds none.
std::optional<PreparationEntry> LastPreparationEntry(std::string_view log);

// The population means of every chain, from its ".alp", one line per sampled iteration.
struct ReportTraces {
    int drawSkip = 1;                         // iterations per line
    int drawsPerChain = 0;                    // the used draws: the last lines of each history
    int64_t lineCount = 0;                    // lines of each history
    int valuesPerLine = 0;                    // expanded levels
    std::vector<std::vector<double>> chains;  // per chain, lineCount x valuesPerLine, line after line
};

// Everything the report shows, gathered from the study's files.
struct ReportData {
    std::string studyName;  // the base name
    std::string dataFile;
    std::string logFile;
    std::optional<PreparationEntry> preparation;
    AnalysisStudy study;
    std::vector<LevelSummary> levels;
    ImportanceResult importances;
    std::vector<RespondentFit> fits;
    int chainCount = 1;
    DiagnosticsReport diagnostics;
    ReportTraces traces;
    std::optional<HoldoutResult> holdout;  // discrete-choice data with holdout tasks only
};

// Reads the study's results: the part-worth file, the histories of the study or of its chains (as
// `ombrel diagnose` finds them), the settings, the log and, for discrete-choice data with a task
// subset, the holdout tasks. Throws OmbrelError naming the file (and the line) for a missing or
// damaged result file; a missing log only leaves the preparation summary out.
ReportData GatherReport(const StudyFiles& study);

// Reads the ".alp" of every run (the study, or its chains) with the draw skip of each run's settings.
// Throws OmbrelError naming the file for a damaged history and for histories whose lengths, value
// counts or skips differ.
ReportTraces ReadReportTraces(const std::vector<StudyFiles>& runs, int drawsPerChain);

// The report's part-worth charts: one per part-worth attribute (its levels' means with +-1 SD over
// the respondents), then one of the linear attributes (per unit) and None when the study has them.
std::vector<BarChart> PartWorthBarCharts(const AnalysisStudy& study, const std::vector<LevelSummary>& levels);
// The report's importance chart: mean and +-1 SD per estimated attribute.
BarChart ImportanceBarChart(const AnalysisStudy& study, const ImportanceResult& result);

// The lines (1-based) a trace draws of a history of lineCount lines: every k-th, so that a chart
// holds at most a few thousand points, and always the last.
std::vector<int64_t> TraceShownLines(int64_t lineCount);
// The iteration up to which the traces are burn-in: before the used draws.
double TraceBurnInEnd(const ReportTraces& traces);
// A figure without panels: the iterations of the lines shown, and the burn-in.
TraceFigure TraceShape(const ReportTraces& traces);

// One value of the ".alp" lines that has a trace: a main-effect level or coefficient, or None.
struct TraceQuantity {
    int value = 0;  // 0-based, in the part-worth file's order
    std::string title;
};
// Every level of every estimated attribute ("attribute label: level label"; a linear attribute's
// coefficient), then None: what the report draws, in its order.
std::vector<TraceQuantity> TraceQuantities(const AnalysisStudy& study);
// The traces of the picked quantities, one panel each, every chain overlaid.
TraceFigure PickedTraceFigure(const ReportTraces& traces, const std::vector<TraceQuantity>& picked);

// A diagnostics row the report and the results view mark: an R-hat at or above kConvergedRhatBelow or
// an ESS below kConvergedEssAtLeast.
bool MissesConvergenceThreshold(const ConvergenceMeasures& measures);

// A chart of the report as an SVG file of its own: the XML declaration, and the report's style sheet
// inside the chart, which the page would otherwise give it.
std::string StandaloneSvg(const std::string& inlineSvg);

// Throws OmbrelError naming both files when the histories' lines do not hold the part-worth file's
// values: they come from different estimations.
void CheckTracesMatch(const ReportTraces& traces, const std::string& alphaPath, const AnalysisStudy& study);

// The report page.
void WriteReport(std::ostream& out, const ReportData& data);

// Writes the page to the study's report file in one go (a failure leaves an earlier report as it
// was); throws OmbrelError when it cannot.
void WriteReportFile(const StudyFiles& study, const ReportData& data);
// The same to any path.
void WriteReportFile(const std::string& path, const ReportData& data);

}  // namespace ombrel
