#pragma once

// The estimator's 80 x 25 progress screen as data, and the texts kivotra shows for a run's events.
// Positions are (column, row) from 0; the status line is row 24. A terminal backend draws the writes;
// a console without a screen uses the same model for its time remaining.

#include <string>
#include <vector>

#include "estimator/chain/IterationStatistics.h"
#include "estimator/files/OutputProgress.h"
#include "estimator/files/RunLog.h"

namespace ombrel {

// "h:mm:ss" of a number of seconds (negative counts as 0).
std::string FormatTimeRemaining(long long seconds);

// The one-line progress report of a run without a screen.
std::string FormatHeadlessProgress(int iteration, int totalIterations, double pctCert, double rlh,
                                   long long secondsLeft);

// The status line's texts.
inline constexpr const char* kStopHint = "Press ESC to stop";
inline constexpr const char* kStopLosesDrawsHint = "Press ESC to stop (saved draws will be lost)";
// The status text of a step of writing the results.
std::string OutputStatusText(OutputPhase phase, int step, int total);
// The status text at the end of a session.
std::string FinalStatusText(const std::string& closingSentence);

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
