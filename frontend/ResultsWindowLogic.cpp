#include "frontend/ResultsWindowLogic.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>

#include "common/AtomicFile.h"
#include "common/OmbrelError.h"
#include "common/RunLock.h"
#include "common/TextConversion.h"
#include "estimator/diagnostics/QuantityMeter.h"
#include "estimator/diagnostics/StudyDiagnostics.h"

namespace ombrel {

namespace {

namespace fs = std::filesystem;

// No study runs anywhere near this many chains; the search for running chains stops there.
constexpr int kMaxLookedAtChains = 10000;
// The convergence chart starts with this many quantities picked.
constexpr size_t kInitiallyPicked = 4;

bool IsRegularFile(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

bool IsFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

// The steps of a loading, each of which may fail on its own.
enum LoadStep { kPartWorthStep, kDiagnosticsStep, kTraceStep, kHoldoutStep, kLoadStepCount };

constexpr const char* kStepTexts[kLoadStepCount] = {"Reading the part-worths",
                                                    "Computing the convergence diagnostics",
                                                    "Reading the histories", "Scoring the holdout tasks"};

void Step(ResultsContent& content, ResultsLoadProgress* progress, LoadStep step,
          const std::function<void()>& work) {
    if (progress != nullptr && !progress->Continue(step, kLoadStepCount, kStepTexts[step]))
        throw ResultsLoadCancelled{};
    try {
        work();
    } catch (const OmbrelError& error) {
        content.problems.push_back(error.what());
    }
}

// The diagnostics' own measures, which give a loading the chance to stop between two respondent
// values: the saved draws of a large study take long to read.
class StoppableMeter final : public QuantityMeter {
public:
    explicit StoppableMeter(ResultsLoadProgress* progress) : progress_(progress) {}
    ConvergenceMeasures Measure(std::span<const double> draws, int chainCount) override {
        Check();
        return meter_.Measure(draws, chainCount);
    }
    double Rhat(std::span<const double> draws, int chainCount) override {
        Check();
        return meter_.Rhat(draws, chainCount);
    }
    double BulkEss(std::span<const double> draws, int chainCount) override {
        Check();
        return meter_.BulkEss(draws, chainCount);
    }

private:
    void Check() {
        if (progress_ != nullptr && !progress_->KeepGoing()) throw ResultsLoadCancelled{};
    }
    ResultsLoadProgress* progress_;
    WorkspaceMeter meter_;
};

void LoadPartWorths(const StudyFiles& study, ResultsContent& content) {
    auto loaded = std::make_shared<AnalysisStudy>(LoadAnalysisStudy(study));
    content.levels = SummarisePartWorths(*loaded);
    content.importances = ComputeImportances(*loaded);
    content.study = std::move(loaded);
}

void LoadTraces(const StudyFiles& study, ResultsContent& content) {
    const std::vector<StudyFiles> runs = DiagnosedRuns(study, content.chainCount);
    const int draws = content.diagnostics ? content.diagnostics->drawsPerChain
                                          : ReadRunSettings(runs.front()).drawsPerRespondent;
    ReportTraces traces = ReadReportTraces(runs, draws);
    if (content.study) CheckTracesMatch(traces, runs.front().AlphaHistory(), *content.study);
    content.traces = std::move(traces);
}

void LoadHoldout(const StudyFiles& study, ResultsContent& content) {
    if (!study.IsChoiceData() || !content.study) return;
    HoldoutResult holdout = ComputeHoldout(study, *content.study);
    if (!holdout.nothingToHoldOut) content.holdout = std::move(holdout);
}

// The smaller ESS, NaN (not defined) counting as the worst.
double SmallerEss(const ConvergenceMeasures& measures) {
    if (std::isnan(measures.essBulk) || std::isnan(measures.essTail)) return -1.0;
    return std::min(measures.essBulk, measures.essTail);
}

double RhatOrder(const ConvergenceMeasures& measures) {
    return std::isnan(measures.rhat) ? HUGE_VAL : measures.rhat;
}

}  // namespace

bool StudyHasResults(const StudyFiles& study) {
    return IsRegularFile(study.PartWorths()) || IsRegularFile(study.AlphaHistory()) ||
           IsRegularFile(study.ForChain(1).AlphaHistory());
}

bool StudyRunIsInProgress(const StudyFiles& study) {
    if (StudyRunInProgress(study.RunLock())) return true;
    for (int chain = 1; chain <= kMaxLookedAtChains && IsFolder(study.ChainFolder(chain)); ++chain) {
        if (StudyRunInProgress(study.ForChain(chain).RunLock())) return true;
    }
    return false;
}

std::string RunInProgressText(const StudyFiles& study) {
    return Format("An estimation of %s is running. Its results are shown once it has ended.",
                  study.BaseName().c_str());
}

ResultsContent LoadResults(const StudyFiles& study, ResultsLoadProgress* progress) {
    ResultsContent content;
    content.studyName = study.BaseName();
    content.runInProgress = StudyRunIsInProgress(study);
    if (content.runInProgress) return content;
    content.hasDraws = IsRegularFile(study.Draws());
    Step(content, progress, kPartWorthStep, [&] { LoadPartWorths(study, content); });
    Step(content, progress, kDiagnosticsStep, [&] {
        content.chainCount = DetectChainCount(study);
        StoppableMeter meter(progress);
        content.diagnostics = DiagnoseStudy(study, content.chainCount, meter);
    });
    Step(content, progress, kTraceStep, [&] { LoadTraces(study, content); });
    Step(content, progress, kHoldoutStep, [&] { LoadHoldout(study, content); });
    return content;
}

std::vector<QuantityDiagnostics> WorstFirst(const DiagnosticsReport& report) {
    std::vector<QuantityDiagnostics> rows = report.quantities;
    std::stable_sort(rows.begin(), rows.end(),
                     [](const QuantityDiagnostics& a, const QuantityDiagnostics& b) {
                         const double ra = RhatOrder(a.measures);
                         const double rb = RhatOrder(b.measures);
                         if (ra != rb) return ra > rb;
                         return SmallerEss(a.measures) < SmallerEss(b.measures);
                     });
    return rows;
}

std::vector<bool> InitiallyPickedTraces(size_t quantityCount) {
    std::vector<bool> picked(quantityCount, false);
    for (size_t i = 0; i < quantityCount && i < kInitiallyPicked; ++i) picked[i] = true;
    return picked;
}

std::vector<size_t> MatchingRespondents(const PartWorthTable& table, const std::string& search) {
    std::vector<size_t> matches;
    for (size_t i = 0; i < table.respondents.size(); ++i) {
        if (search.empty() ||
            std::to_string(table.respondents[i].respondent).find(search) != std::string::npos)
            matches.push_back(i);
    }
    return matches;
}

void SaveReportAs(const StudyFiles& study, const std::string& path) {
    WriteReportFile(path, GatherReport(study));
}

std::string ChartFileName(const std::string& title) {
    std::string name;
    bool gap = false;
    for (unsigned char c : title) {
        if (std::isalnum(c) != 0 && c < 0x80) {
            if (gap && !name.empty()) name += '-';
            name += static_cast<char>(std::tolower(c));
            gap = false;
        } else {
            gap = true;
        }
    }
    return (name.empty() ? "chart" : name) + ".png";
}

void SaveExportedText(const std::string& path, const std::string& text) {
    if (!WriteFileAtomically(path, text)) throw OmbrelError(Format("%s could not be written.", path.c_str()));
}

PartWorthStamp StampPartWorths(const StudyFiles& study) {
    PartWorthStamp stamp;
    std::error_code error;
    const std::string path = study.PartWorths();
    if (!fs::is_regular_file(path, error)) return stamp;
    stamp.time = fs::last_write_time(path, error);
    stamp.size = fs::file_size(path, error);
    stamp.exists = !error;
    return stamp;
}

bool PartWorthsRewritten(const StudyFiles& study, const PartWorthStamp& before) {
    const PartWorthStamp after = StampPartWorths(study);
    if (!after.exists) return false;
    return !before.exists || after.time != before.time || after.size != before.size;
}

}  // namespace ombrel
