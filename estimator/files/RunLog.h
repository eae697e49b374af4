#pragma once

// The estimator's log, appended to the study's ".log" file.
//
// Header: "\n\n%I:%M:%S%p   %A, %B %d, %Y\n" and a rule of 53 "=", then one "\n"-led line per
// setting ("\nPrevious Iterations        %8d", ...), then "\n\nIteration   Jump Size   Acceptance   ...".
// Line: "\n%8d  %7.3lf     %7.3lf      %7.3lf      %7.3lf  %7.3lf   %7.3lf" (every line starts with
// its line break). Closing: "\n\n", the sentence, "\n".

#include <ctime>
#include <string>

#include "common/FileHandle.h"
#include "estimator/chain/IterationStatistics.h"

namespace ombrel {

// The run's settings and counts shown in the log header (and the progress screen's header).
struct RunSummary {
    int previousIterations = 0;
    int preliminaryIterations = 0;
    int drawsPerRespondent = 0;
    int drawSkip = 0;
    int totalIterations = 0;
    int logSkip = 0;
    int respondentCount = 0;
    int parameterCount = 0;
    bool choiceData = false;  // the data file is ".cho": the total task weight is shown
    double totalTaskWeight = 0.0;
    int constraintCount = 0;
    bool saveDraws = false;
};

// "%I:%M:%S%p   %A, %B %d, %Y" of localTime with the "C" locale's names, whatever the process locale.
std::string FormatLogTime(const std::tm& localTime);
std::string FormatLogHeader(const RunSummary& run, const std::tm& localTime);
std::string FormatLogLine(const IterationStatistics& statistics);
// "This session did %d iterations in %d seconds."
std::string ClosingSentence(int sessionIterations, long long seconds);
// "\n\n" + sentence + "\n", as appended to the log.
std::string FormatLogClosing(const std::string& sentence);

// The open log of a run. Writes are advisory: a failed write returns false and the run goes on.
class RunLog {
public:
    // Opens path for appending; false when it cannot be opened.
    bool Open(const std::string& path);
    bool WriteHeader(const RunSummary& run, const std::tm& localTime);
    bool WriteLine(const IterationStatistics& statistics);
    bool WriteClosing(const std::string& sentence);
    // "\n" + text + "\n": a line of its own about the session (a resume, a failed checkpoint).
    bool WriteNote(const std::string& text);
    void Close() { file_.Close(); }

private:
    bool Write(const std::string& text);

    FileHandle file_;
};

}  // namespace ombrel
