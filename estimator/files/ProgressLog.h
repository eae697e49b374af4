#pragma once

// The estimator's log lines (appended to study name + ".log") and its progress screen as data.
//
// Log header: "\n\n%I:%M:%S%p   %A, %B %d, %Y\n" and a rule of 53 "=", then one "\n"-led line per
// setting ("\nPrevious Iterations        %8d", ...), then "\n\nIteration   Jump Size   Acceptance   ...".
// Log line: "\n%8d  %7.3lf     %7.3lf      %7.3lf      %7.3lf  %7.3lf   %7.3lf" (every line starts with
// its line break). Closing: "\n\n", the sentence, "\n".
//
// Screen: 80 columns; positions (column, row) from 0; the status line is row 24.

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace ombrel {

// The run's settings and counts shown in the log header and the screen's header block.
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

// The statistics of one iteration, as the log and the screen show them.
struct IterationStatistics {
    int iteration = 0;
    double jumpSize = 0.0;  // as used in this iteration, before its adaptation
    double acceptanceRate = 0.0;
    double pctCert = 0.0;
    double rlh = 0.0;
    double averageVariance = 0.0;
    double parameterRms = 0.0;
};

// "%I:%M:%S%p   %A, %B %d, %Y" of localTime with the "C" locale's names, whatever the process locale.
std::string FormatLogTime(const std::tm& localTime);
std::string FormatLogHeader(const RunSummary& run, const std::tm& localTime);
std::string FormatLogLine(const IterationStatistics& statistics);
// "This session did %d iterations in %d seconds."
std::string ClosingSentence(int sessionIterations, long long seconds);
// "\n\n" + sentence + "\n", as appended to the log.
std::string FormatLogClosing(const std::string& sentence);

// Append to the open log; false when the write failed (the run goes on: log writes are advisory).
bool WriteLogHeader(std::FILE* log, const RunSummary& run, const std::tm& localTime);
bool WriteLogLine(std::FILE* log, const IterationStatistics& statistics);
bool WriteLogClosing(std::FILE* log, const std::string& sentence);

// "h:mm:ss" of a number of seconds (negative counts as 0).
std::string FormatTimeRemaining(long long seconds);

// The one-line progress report of a run without a screen.
std::string FormatHeadlessProgress(int iteration, int totalIterations, double pctCert, double rlh,
                                   long long secondsLeft);

// One text to draw at a screen position.
struct ScreenWrite {
    int column = 0;
    int row = 0;
    std::string text;
    bool operator==(const ScreenWrite&) const = default;
};

inline constexpr int kStatusRow = 24;
inline constexpr int kStatusWidth = 79;
inline constexpr int kScreenColumns = 80;
inline constexpr int kPartWorthRow = 13;
inline constexpr int kMaxShownPartWorths = 100;

// The progress screen's content and smoothing state; a terminal backend draws the writes it returns.
// Line texts carry no line feeds: every line is placed at its own position.
class ProgressScreen {
public:
    // Forgets all smoothing: the next refreshes show their values as they are.
    void Reset();

    // Rows 0 to 7, written once the start values are known.
    std::vector<ScreenWrite> HeaderBlock(const RunSummary& run) const;
    // Rows 6 to 12, written once before the loop.
    std::vector<ScreenWrite> FixedLabels(int levelCount) const;
    // Rows 6 to 11 of one iteration. now and startTime are wall-clock seconds; remainingIterations
    // counts the iterations after this one. Counts the iteration in SessionIterations().
    std::vector<ScreenWrite> RefreshIteration(const IterationStatistics& statistics, long long now,
                                              long long startTime, int remainingIterations);
    // The average part-worth line from row 13 on, for a sampled iteration: the first levels of
    // expandedLevels (the expansion of averageBetas) when levelCount <= 100, else the first
    // parameters of averageBetas. Wrapped at 80 columns as the console would, and kept above the
    // status line.
    std::vector<ScreenWrite> RefreshPartWorths(const double* expandedLevels, int levelCount,
                                               const double* averageBetas, int parameterCount);
    // The status line: message padded with blanks to 79 characters (a longer message unchanged).
    static ScreenWrite Status(const std::string& message);

    int SessionIterations() const { return sessionIterations_; }
    double SecondsPerIteration() const { return secondsPerIteration_; }
    // Seconds left as last shown (every 10th iteration of the session).
    long long SecondsLeft() const { return secondsLeft_; }

private:
    bool firstRefresh_ = true;
    double pctCert_ = 0.0;
    double rlh_ = 0.0;
    double averageVariance_ = 0.0;
    double parameterRms_ = 0.0;
    double acceptanceRate_ = 0.0;
    double jumpSize_ = 0.0;
    bool firstPartWorths_ = true;
    std::vector<double> partWorths_;
    int sessionIterations_ = 0;
    double secondsPerIteration_ = 0.0;
    long long secondsLeft_ = 0;
};

}  // namespace ombrel
