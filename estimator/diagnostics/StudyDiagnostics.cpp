#include "estimator/diagnostics/StudyDiagnostics.h"

#include <filesystem>
#include <memory>

#include "common/OmbrelError.h"
#include "common/StudySettings.h"
#include "common/TextConversion.h"
#include "estimator/diagnostics/DiagnosticsLabels.h"
#include "estimator/diagnostics/HistoryReader.h"
#include "estimator/diagnostics/RespondentDiagnostics.h"

namespace ombrel {

namespace {

namespace fs = std::filesystem;

// No study runs anywhere near this many chains; the folder count stops there.
constexpr int kMaxDetectedChains = 10000;

bool IsRegularFile(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// One run's histories and what its settings say.
struct RunHistories {
    StudySettings settings;
    HistoryDraws alpha;
    HistoryDraws covariance;
};

RunHistories ReadRun(const StudyFiles& run) {
    RunHistories histories;
    histories.settings = ReadRunSettings(run);
    const int draws = histories.settings.drawsPerRespondent;
    histories.alpha = ReadHistoryFile(run.AlphaHistory(), HistoryKind::Levels, draws);
    histories.covariance = ReadHistoryFile(run.CovarianceHistory(), HistoryKind::Covariance, draws);
    if (histories.alpha.lineCount != histories.covariance.lineCount) {
        throw OmbrelError(Format(
            "%s holds %lld lines but %s holds %lld: they come from different runs.",
            histories.alpha.path.c_str(), static_cast<long long>(histories.alpha.lineCount),
            histories.covariance.path.c_str(), static_cast<long long>(histories.covariance.lineCount)));
    }
    return histories;
}

void CheckSameShape(const HistoryDraws& first, const HistoryDraws& other) {
    if (other.lineCount != first.lineCount) {
        throw OmbrelError(
            Format("%s holds %lld lines but %s holds %lld: the chains ran for different lengths.",
                   other.path.c_str(), static_cast<long long>(other.lineCount), first.path.c_str(),
                   static_cast<long long>(first.lineCount)));
    }
    if (other.valuesPerLine != first.valuesPerLine) {
        throw OmbrelError(
            Format("%s holds %d values a line but %s holds %d: the chains estimated different "
                   "models.",
                   other.path.c_str(), other.valuesPerLine, first.path.c_str(), first.valuesPerLine));
    }
}

void CheckSameRun(const std::vector<StudyFiles>& runs, const std::vector<RunHistories>& chains) {
    for (size_t c = 1; c < chains.size(); ++c) {
        const int draws = chains[c].settings.drawsPerRespondent;
        const int firstDraws = chains[0].settings.drawsPerRespondent;
        if (draws != firstDraws) {
            throw OmbrelError(Format("The settings file %s gives %d draws per respondent but %s gives %d.",
                                     runs[c].Settings().c_str(), draws, runs[0].Settings().c_str(),
                                     firstDraws));
        }
        CheckSameShape(chains[0].alpha, chains[c].alpha);
        CheckSameShape(chains[0].covariance, chains[c].covariance);
    }
}

// The rows of one kind: quantity q's draws of every chain gathered chain after chain.
void MeasureKind(QuantityKind kind, const std::vector<RunHistories>& chains,
                 const std::vector<std::string>& labels, QuantityMeter& meter, DiagnosticsReport& report) {
    const int draws = report.drawsPerChain;
    const int chainCount = static_cast<int>(chains.size());
    std::vector<double> gathered(static_cast<size_t>(draws) * chains.size());
    for (size_t q = 0; q < labels.size(); ++q) {
        for (int c = 0; c < chainCount; ++c) {
            const HistoryDraws& history = kind == QuantityKind::Alpha
                                              ? chains[static_cast<size_t>(c)].alpha
                                              : chains[static_cast<size_t>(c)].covariance;
            const size_t width = static_cast<size_t>(history.keptPerLine);
            for (int d = 0; d < draws; ++d)
                gathered[static_cast<size_t>(c * draws + d)] =
                    history.kept[static_cast<size_t>(d) * width + q];
        }
        report.quantities.push_back(QuantityDiagnostics{.kind = kind,
                                                        .index = static_cast<int>(q) + 1,
                                                        .label = labels[q],
                                                        .measures = meter.Measure(gathered, chainCount)});
    }
}

// The label file beside the first run's results, else the study's own.
std::string LabelFileFor(const StudyFiles& study, const StudyFiles& firstRun) {
    return IsRegularFile(firstRun.AttributeLabels()) ? firstRun.AttributeLabels() : study.AttributeLabels();
}

}  // namespace

StudySettings ReadRunSettings(const StudyFiles& run) {
    const std::string path = run.Settings();
    std::unique_ptr<TextSource> text = OpenDiagnosticsInput(path, "settings file");
    StudySettings settings;
    if (!settings.ReadSettingsText(*text, path))
        throw OmbrelError(Format("%s could not be read.", path.c_str()));
    if (settings.drawsPerRespondent < 1) {
        throw OmbrelError(Format("The settings file %s gives %d draws per respondent.", path.c_str(),
                                 settings.drawsPerRespondent));
    }
    return settings;
}

std::vector<StudyFiles> DiagnosedRuns(const StudyFiles& study, int chainCount) {
    if (chainCount < 1)
        throw OmbrelError(Format("A diagnosis needs at least one chain, not %d.", chainCount));
    if (chainCount == 1) return {study};
    std::vector<StudyFiles> runs;
    for (int k = 1; k <= chainCount; ++k) runs.push_back(study.ForChain(k));
    return runs;
}

DiagnosticsReport DiagnoseStudy(const StudyFiles& study, int chainCount) {
    WorkspaceMeter meter;
    return DiagnoseStudy(study, chainCount, meter);
}

DiagnosticsReport DiagnoseStudy(const StudyFiles& study, int chainCount, QuantityMeter& meter) {
    const std::vector<StudyFiles> runs = DiagnosedRuns(study, chainCount);
    std::vector<RunHistories> chains;
    for (const StudyFiles& run : runs) chains.push_back(ReadRun(run));
    CheckSameRun(runs, chains);

    DiagnosticsReport report;
    report.studyName = study.BaseName();
    report.drawsPerChain = chains[0].settings.drawsPerRespondent;
    for (const RunHistories& chain : chains) report.seeds.push_back(chain.settings.randomSeed);
    const LabelSources sources{.layoutFile = runs[0].Layout(),
                               .labelFile = LabelFileFor(study, runs[0]),
                               .effectsCoding = chains[0].settings.effectsCoding};
    const QuantityLabels labels =
        ReadQuantityLabels(sources, chains[0].alpha.keptPerLine, chains[0].covariance.keptPerLine);
    MeasureKind(QuantityKind::Alpha, chains, labels.levels, meter, report);
    MeasureKind(QuantityKind::Variance, chains, labels.parameters, meter, report);

    std::vector<std::string> drawsFiles;
    for (const StudyFiles& run : runs) {
        if (IsRegularFile(run.Draws())) drawsFiles.push_back(run.Draws());
    }
    if (drawsFiles.size() == runs.size())
        report.respondents = DiagnoseRespondents(drawsFiles, report.drawsPerChain, labels.levels, meter);
    return report;
}

int DetectChainCount(const StudyFiles& study) {
    int count = 0;
    while (count < kMaxDetectedChains && IsRegularFile(study.ForChain(count + 1).AlphaHistory())) ++count;
    if (count < 2) return 1;
    const std::string own = study.AlphaHistory();
    if (!IsRegularFile(own)) return count;
    std::error_code ownError;
    std::error_code chainError;
    const auto ownTime = fs::last_write_time(own, ownError);
    const auto chainTime = fs::last_write_time(study.ForChain(1).AlphaHistory(), chainError);
    return !ownError && !chainError && chainTime > ownTime ? count : 1;
}

}  // namespace ombrel
