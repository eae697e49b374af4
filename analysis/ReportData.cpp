// Gathering what the study report shows from the study's files.

#include <filesystem>
#include <memory>

#include "analysis/Report.h"
#include "common/FileHandle.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "estimator/diagnostics/HistoryReader.h"
#include "estimator/diagnostics/StudyDiagnostics.h"
#include "prepare/StudyPreparation.h"

namespace ombrel {

namespace {

// A rule line: nothing but '=' characters (the log's entries put one under their date line).
bool IsRule(std::string_view line) {
    return !line.empty() && line.find_first_not_of('=') == std::string_view::npos;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

int SettingsDrawSkip(const StudyFiles& run) {
    const int drawSkip = ReadRunSettings(run).drawSkip;
    if (drawSkip < 1) {
        throw OmbrelError(
            Format("The settings file %s gives a draw skip factor of %d.", run.Settings().c_str(), drawSkip));
    }
    return drawSkip;
}

// The whole history: a first pass counts its lines, a second keeps them all.
HistoryDraws ReadWholeHistory(const std::string& path) {
    const int64_t lines = ReadHistoryFile(path, HistoryKind::Levels, 1).lineCount;
    if (lines > INT32_MAX) throw OmbrelError(Format("%s holds too many lines to be shown.", path.c_str()));
    return ReadHistoryFile(path, HistoryKind::Levels, static_cast<int>(lines));
}

std::optional<PreparationEntry> ReadPreparation(const std::string& logPath) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(logPath, error)) return std::nullopt;
    FileHandle file;
    if (!file.Open(logPath, "rb"))
        throw OmbrelError(Format("The log %s could not be opened.", logPath.c_str()));
    std::string text;
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.Get())) > 0) text.append(buffer, got);
    if (std::ferror(file.Get())) throw OmbrelError(Format("The log %s could not be read.", logPath.c_str()));
    return LastPreparationEntry(text);
}

}  // namespace

std::optional<PreparationEntry> LastPreparationEntry(std::string_view log) {
    const std::vector<std::string_view> lines = SplitLines(log);
    // An entry's rule stands under its date line; the entry ends at the blank line before the next
    // entry's date line, or at the end of the log.
    std::vector<size_t> rules;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (IsRule(lines[i]) && !lines[i - 1].empty()) rules.push_back(i);
    }
    for (size_t r = rules.size(); r-- > 0;) {
        const size_t first = rules[r] + 1;
        if (first >= lines.size() || !lines[first].starts_with(kPreparationHeading)) continue;
        size_t end = r + 1 < rules.size() ? rules[r + 1] - 2 : lines.size();
        while (end > first + 1 && lines[end - 1].empty()) --end;
        PreparationEntry entry{std::string(lines[rules[r] - 1]), ""};
        for (size_t k = first; k < end; ++k) entry.text += std::string(lines[k]) + (k + 1 < end ? "\n" : "");
        return entry;
    }
    return std::nullopt;
}

void CheckTracesMatch(const ReportTraces& traces, const std::string& alphaPath, const AnalysisStudy& study) {
    const int values = study.partWorths.layout.valueCount;
    if (traces.valuesPerLine != values) {
        throw OmbrelError(
            Format("%s holds %d values a line but the part-worth file %s holds %d a respondent: "
                   "they come from different estimations.",
                   alphaPath.c_str(), traces.valuesPerLine, study.partWorthPath.c_str(), values));
    }
}

ReportTraces ReadReportTraces(const std::vector<StudyFiles>& runs, int drawsPerChain) {
    ReportTraces traces;
    traces.drawsPerChain = drawsPerChain;
    for (size_t r = 0; r < runs.size(); ++r) {
        const int skip = SettingsDrawSkip(runs[r]);
        HistoryDraws history = ReadWholeHistory(runs[r].AlphaHistory());
        if (r == 0) {
            traces.drawSkip = skip;
            traces.lineCount = history.lineCount;
            traces.valuesPerLine = history.keptPerLine;
        } else if (skip != traces.drawSkip) {
            throw OmbrelError(Format("The settings file %s gives a draw skip factor of %d but %s gives %d.",
                                     runs[r].Settings().c_str(), skip, runs[0].Settings().c_str(),
                                     traces.drawSkip));
        } else if (history.lineCount != traces.lineCount || history.keptPerLine != traces.valuesPerLine) {
            throw OmbrelError(Format("%s and %s hold histories of different shapes.",
                                     runs[r].AlphaHistory().c_str(), runs[0].AlphaHistory().c_str()));
        }
        traces.chains.push_back(std::move(history.kept));
    }
    return traces;
}

ReportData GatherReport(const StudyFiles& study) {
    ReportData data;
    data.studyName = study.BaseName();
    data.dataFile = study.DataFile();
    data.logFile = study.Log();
    data.study = LoadAnalysisStudy(study);
    data.chainCount = DetectChainCount(study);
    data.diagnostics = DiagnoseStudy(study, data.chainCount);
    const std::vector<StudyFiles> runs = DiagnosedRuns(study, data.chainCount);
    data.traces = ReadReportTraces(runs, data.diagnostics.drawsPerChain);
    CheckTracesMatch(data.traces, runs.front().AlphaHistory(), data.study);
    data.levels = SummarisePartWorths(data.study);
    data.importances = ComputeImportances(data.study);
    data.fits = RespondentFits(data.study);
    if (study.IsChoiceData()) {
        HoldoutResult holdout = ComputeHoldout(study, data.study);
        if (!holdout.nothingToHoldOut) data.holdout = std::move(holdout);
    }
    data.preparation = ReadPreparation(study.Log());
    return data;
}

}  // namespace ombrel
