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

// The report page.
void WriteReport(std::ostream& out, const ReportData& data);

// Writes the page to the study's report file in one go (a failure leaves an earlier report as it
// was); throws OmbrelError when it cannot.
void WriteReportFile(const StudyFiles& study, const ReportData& data);

}  // namespace ombrel
