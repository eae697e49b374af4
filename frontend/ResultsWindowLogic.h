#pragma once

// What the results window shows of an estimated study, read from its files without Qt. Each piece
// is read on its own, so that a missing or damaged file costs only what depends on it, and nothing
// is written except the files the user asks for.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/AnalysisStudy.h"
#include "analysis/Holdout.h"
#include "analysis/Importances.h"
#include "analysis/Report.h"
#include "common/StudyFiles.h"
#include "estimator/diagnostics/DiagnosticsReport.h"

namespace ombrel {

// The study has something to show: its part-worth file, or a population-mean history of its own or
// of its first chain.
bool StudyHasResults(const StudyFiles& study);

// A run of the estimator is writing the study's files, or those of one of its chains.
bool StudyRunIsInProgress(const StudyFiles& study);

// The window's sentence for a run in progress.
std::string RunInProgressText(const StudyFiles& study);

// Told before each step of a loading, so that the window can show progress and stop it.
class ResultsLoadProgress {
public:
    virtual ~ResultsLoadProgress() = default;
    // Step step (from 0) of stepCount is about to start. False stops the loading, which then throws
    // ResultsLoadCancelled.
    virtual bool Continue(int step, int stepCount, const std::string& what) {
        (void)step;
        (void)stepCount;
        (void)what;
        return true;
    }
    // Asked often within a long step (the saved draws of every chain); false stops the loading too.
    virtual bool KeepGoing() { return true; }
};

struct ResultsLoadCancelled {};

struct ResultsContent {
    std::string studyName;
    bool runInProgress = false;  // then nothing else was read
    // One message per file that could not be read, naming it; the pieces it feeds are missing.
    std::vector<std::string> problems;
    std::shared_ptr<const AnalysisStudy> study;  // null when the part-worths could not be read
    std::vector<LevelSummary> levels;
    std::optional<ImportanceResult> importances;
    int chainCount = 1;
    std::optional<DiagnosticsReport> diagnostics;
    std::optional<ReportTraces> traces;
    std::optional<HoldoutResult> holdout;  // choice data with holdout tasks only
    bool hasDraws = false;                 // the study saved its draws (".dra")
};

// Reads everything the window shows. Never throws OmbrelError: a failure becomes a problem.
ResultsContent LoadResults(const StudyFiles& study, ResultsLoadProgress* progress = nullptr);

// The diagnostics rows, the worst first: a missing R-hat (NA) or the largest R-hat first, then by
// the smaller of the two ESS.
std::vector<QuantityDiagnostics> WorstFirst(const DiagnosticsReport& report);

// The quantities a convergence chart starts with: the first few, so that it stays readable.
std::vector<bool> InitiallyPickedTraces(size_t quantityCount);

// Respondent indices (into the part-worth table) whose number contains the search text; every
// respondent for an empty search.
std::vector<size_t> MatchingRespondents(const PartWorthTable& table, const std::string& search);

// Writes the same report as `ombrel report` to path, in one go. Throws OmbrelError naming the file
// that could not be read or written; a failure leaves an earlier file at path as it was.
void SaveReportAs(const StudyFiles& study, const std::string& path);

// The file name a chart's export suggests: its title in lower case, each run of other characters than
// letters and digits one '-', and ".png"; "chart.png" for a title without any.
std::string ChartFileName(const std::string& title);

// Writes text (an exported chart) to path in one go; throws OmbrelError naming path when it cannot.
void SaveExportedText(const std::string& path, const std::string& text);

// The part-worth file as it was before a run, to tell afterwards whether the run wrote its results
// (a run the user stopped writes only its restart file).
struct PartWorthStamp {
    bool exists = false;
    std::filesystem::file_time_type time{};
    uintmax_t size = 0;
};
PartWorthStamp StampPartWorths(const StudyFiles& study);
bool PartWorthsRewritten(const StudyFiles& study, const PartWorthStamp& before);

}  // namespace ombrel
