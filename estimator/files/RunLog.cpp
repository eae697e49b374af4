#include "estimator/files/RunLog.h"

#include <cstdio>

#include "common/LogDate.h"
#include "common/TextConversion.h"
#include "estimator/files/ResultText.h"

namespace ombrel {

std::string FormatLogTime(const std::tm& localTime) { return FormatLogDate(localTime); }

std::string FormatLogHeader(const RunSummary& run, const std::tm& localTime) {
    std::string text = "\n\n" + FormatLogTime(localTime) + "\n" + std::string(53, '=');
    AppendFormat(text, "\nPrevious Iterations        %8d", run.previousIterations);
    AppendFormat(text, "\nPreliminary iterations     %8d", run.preliminaryIterations);
    AppendFormat(text, "\nDraws used per respondent  %8d", run.drawsPerRespondent);
    AppendFormat(text, "\nSkip factor for draws used %8d", run.drawSkip);
    AppendFormat(text, "\nTotal iterations           %8d", run.totalIterations);
    AppendFormat(text, "\nSkip factor for log file   %8d", run.logSkip);
    AppendFormat(text, "\nNumber of respondents      %8d", run.respondentCount);
    AppendFormat(text, "\nParameters per respondent  %8d", run.parameterCount);
    if (run.choiceData) AppendFormat(text, "\nTotal task weight          %8.2lf", run.totalTaskWeight);
    if (run.constraintCount != 0) {
        AppendFormat(text, "\nConstraints in use         %8d", run.constraintCount);
    } else {
        text += "\nNo Constraints are in use";
    }
    AppendFormat(text, "\nRandom draws %s saved", run.saveDraws ? "are" : "not");
    text += "\n\nIteration   Jump Size   Acceptance   Pct. Cert.   RLH      Avg Var   Parameter RMS";
    return text;
}

std::string FormatLogLine(const IterationStatistics& s) {
    return Format("\n%8d  %7.3lf     %7.3lf      %7.3lf      %7.3lf  %7.3lf   %7.3lf", s.iteration,
                  s.jumpSize, s.acceptanceRate, s.pctCert, s.rlh, s.averageVariance, s.parameterRms);
}

std::string ClosingSentence(int sessionIterations, long long seconds) {
    return Format("This session did %d iterations in %lld seconds.", sessionIterations, seconds);
}

std::string FormatLogClosing(const std::string& sentence) { return "\n\n" + sentence + "\n"; }

bool RunLog::Open(const std::string& path) { return file_.Open(path, "a"); }

bool RunLog::WriteHeader(const RunSummary& run, const std::tm& localTime) {
    return Write(FormatLogHeader(run, localTime));
}

bool RunLog::WriteLine(const IterationStatistics& statistics) { return Write(FormatLogLine(statistics)); }

bool RunLog::WriteNote(const std::string& text) { return Write("\n" + text + "\n"); }

bool RunLog::WriteClosing(const std::string& sentence) { return Write(FormatLogClosing(sentence)); }

bool RunLog::Write(const std::string& text) {
    std::FILE* file = file_.Get();
    return file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
}

}  // namespace ombrel
