#include "apps/kivotra/ProgressScreen.h"

#include <algorithm>
#include <cmath>

#include "common/TextConversion.h"
#include "estimator/files/ResultText.h"

namespace ombrel {

std::string OutputStatusText(OutputPhase phase, int step, int total) {
    switch (phase) {
        case OutputPhase::SavingOutputFiles:
            return "Saving output files, please wait...";
        case OutputPhase::SortingDraws:
            return Format("Sorting random draws (%d/%d)...", step, total);
        case OutputPhase::ExpandingDraws:
            return Format("Expanding draws (%d/%d)...", step, total);
        case OutputPhase::ComputingPointEstimates:
            return Format("Computing point estimates (%d/%d)...", step, total);
    }
    return std::string();
}

std::string FinalStatusText(const std::string& closingSentence) {
    return closingSentence + "  Press any key.";
}

std::string FormatTimeRemaining(long long seconds) {
    seconds = std::max(0LL, seconds);
    return Format("%lld:%02lld:%02lld", seconds / 3600, (seconds / 60) % 60, seconds % 60);
}

std::string FormatHeadlessProgress(int iteration, int totalIterations, double pctCert, double rlh,
                                   long long secondsLeft) {
    const double percent = totalIterations > 0 ? 100.0 * iteration / totalIterations : 100.0;
    return Format("Iteration %d of %d (%.0f%%)  Pct. Cert. %.3f  RLH %.3f  Time remaining %s", iteration,
                  totalIterations, percent, pctCert, rlh, FormatTimeRemaining(secondsLeft).c_str());
}

void ProgressScreen::Reset() { *this = ProgressScreen(); }

std::vector<ScreenWrite> ProgressScreen::HeaderBlock(const RunSummary& run) const {
    std::vector<ScreenWrite> writes = {
        {0, 0, Format("Previous Iterations         %8d", run.previousIterations)},
        {0, 1, Format("Preliminary iterations      %8d", run.preliminaryIterations)},
        {0, 2, Format("Draws used per respondent   %8d", run.drawsPerRespondent)},
        {0, 3, Format("Skip factor for draws used  %8d", run.drawSkip)},
        {0, 4, Format("Total iterations            %8d", run.totalIterations)},
        {45, 0, Format("Number of respondents     %8d", run.respondentCount)},
        {45, 1, Format("Parameters per respondent %8d", run.parameterCount)},
        {45, 2, Format("Skip factor for log file  %8d", run.logSkip)},
        {45, 4,
         run.constraintCount != 0 ? Format("Constraints in use        %8d", run.constraintCount)
                                  : std::string("No Constraints are in use")},
        {45, 5, Format("Random draws %s saved", run.saveDraws ? "are" : "not")},
    };
    if (run.choiceData)
        writes.push_back({45, 7, Format("Total task weight         %8.2lf", run.totalTaskWeight)});
    return writes;
}

std::vector<ScreenWrite> ProgressScreen::FixedLabels(int levelCount) const {
    return {
        {0, 6, "Iteration"},
        {0, 7, "Pct. Cert."},
        {0, 8, "RLH"},
        {0, 9, "Avg Variance"},
        {0, 10, "Parameter RMS"},
        {29, 6, "Average"},
        {45, 8, "Avg Jump Size"},
        {45, 9, "Acceptance Rate"},
        {45, 10, "Secs/Iteration"},
        {45, 11, "Time remaining"},
        {0, 12,
         levelCount <= kMaxShownPartWorths ? "Average part worths"
                                           : "Average part worths (last level deleted from each attribute)"},
    };
}

std::vector<ScreenWrite> ProgressScreen::RefreshIteration(const IterationStatistics& s, long long now,
                                                          long long startTime, int remainingIterations) {
    if (firstRefresh_) {
        pctCert_ = s.pctCert;
        rlh_ = s.rlh;
        averageVariance_ = s.averageVariance;
        parameterRms_ = s.parameterRms;
        acceptanceRate_ = s.acceptanceRate;
        jumpSize_ = s.jumpSize;
        firstRefresh_ = false;
    } else {
        pctCert_ = 0.01 * s.pctCert + 0.99 * pctCert_;
        rlh_ = 0.01 * s.rlh + 0.99 * rlh_;
        averageVariance_ = 0.01 * s.averageVariance + 0.99 * averageVariance_;
        parameterRms_ = 0.01 * s.parameterRms + 0.99 * parameterRms_;
        acceptanceRate_ = 0.01 * s.acceptanceRate + 0.99 * acceptanceRate_;
        jumpSize_ = 0.01 * s.jumpSize + 0.99 * jumpSize_;
    }
    std::vector<ScreenWrite> writes = {
        {15, 6, Format("%8d", s.iteration)},
        {15, 7, Format("%8.3lf", s.pctCert)},
        {15, 8, Format("%8.3lf", s.rlh)},
        {15, 9, Format("%8.3lf", s.averageVariance)},
        {15, 10, Format("%8.3lf", s.parameterRms)},
        {28, 7, Format("%8.3lf", pctCert_)},
        {28, 8, Format("%8.3lf", rlh_)},
        {28, 9, Format("%8.3lf", averageVariance_)},
        {28, 10, Format("%8.3lf", parameterRms_)},
        {71, 8, Format("%8.3lf", jumpSize_)},
        {71, 9, Format("%8.3lf", acceptanceRate_)},
    };
    ++sessionIterations_;
    // A clock set back during the run counts as no time passed, not as 136 years.
    const long long elapsed = std::max(0LL, now - startTime);
    secondsPerIteration_ = static_cast<double>(elapsed) / sessionIterations_;
    writes.push_back({71, 10, Format("%8.3lf", secondsPerIteration_)});
    if (sessionIterations_ % 10 == 0) {
        const double left = std::max(0, remainingIterations) * secondsPerIteration_;
        // Beyond this the field would only overflow; it still reads as "very long".
        constexpr double kLongest = 9.0e15;
        secondsLeft_ = static_cast<long long>(std::min(left, kLongest));
        writes.push_back({60, 11,
                          Format("%13lld:%02lld:%02lld", secondsLeft_ / 3600, (secondsLeft_ / 60) % 60,
                                 secondsLeft_ % 60)});
    }
    return writes;
}

std::vector<ScreenWrite> ProgressScreen::RefreshPartWorths(const double* expandedLevels, int levelCount,
                                                           const double* averageBetas, int parameterCount) {
    const bool showLevels = levelCount <= kMaxShownPartWorths;
    const double* source = showLevels ? expandedLevels : averageBetas;
    const int count = std::max(0, std::min(showLevels ? levelCount : parameterCount, kMaxShownPartWorths));
    if (firstPartWorths_ || static_cast<int>(partWorths_.size()) != count) {
        partWorths_.assign(source, source + count);
        firstPartWorths_ = false;
    } else {
        for (int k = 0; k < count; ++k)
            partWorths_[static_cast<size_t>(k)] =
                (99.0 * partWorths_[static_cast<size_t>(k)] + source[k]) * 0.01;
    }
    std::string line;
    for (double value : partWorths_) AppendFormat(line, "%7.2f ", value);
    // The console wraps the line at its right edge; wrapping here keeps the rows exact on any terminal
    // and stops above the status line instead of scrolling the screen.
    std::vector<ScreenWrite> writes;
    for (size_t start = 0, row = kPartWorthRow; start < line.size() && row < static_cast<size_t>(kStatusRow);
         start += kScreenColumns, ++row) {
        writes.push_back({0, static_cast<int>(row), line.substr(start, kScreenColumns)});
    }
    return writes;
}

ScreenWrite ProgressScreen::Status(const std::string& message) {
    ScreenWrite write{0, kStatusRow, message};
    if (write.text.size() < static_cast<size_t>(kStatusWidth)) write.text.resize(kStatusWidth, ' ');
    return write;
}

}  // namespace ombrel
