#pragma once

// What a run of the estimator reports and asks outside itself, each a small interface whose defaults
// do nothing: the progress of the run (a console turns it into its screen or its progress lines), the
// stop request and the clock. Messages go through common/Messenger.h.

#include <ctime>
#include <string>

#include "common/Messenger.h"
#include "estimator/chain/IterationStatistics.h"
#include "estimator/files/OutputProgress.h"
#include "estimator/files/RunLog.h"

namespace ombrel {

// One finished iteration as the progress sink sees it.
struct IterationProgress {
    IterationStatistics statistics;
    int totalIterations = 0;  // the iteration the run ends with
    // Sampled iterations only (null otherwise): the expansion of the average constrained betas to
    // levelCount levels, and the parameterCount average constrained betas themselves.
    const double* expandedLevels = nullptr;
    int levelCount = 0;
    const double* averageBetas = nullptr;
    int parameterCount = 0;
};

// The run's progress, in the order the calls come.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;

    // Before anything else.
    virtual void RunStarting() {}
    // The settings name the study; baseName is the study name's last component.
    virtual void StudyOpened(const std::string& /*baseName*/) {}
    // The counts of the run, once the start values are known.
    virtual void RunCounted(const RunSummary& /*run*/) {}
    // Just before the first iteration of the session: a stop is possible from here.
    virtual void IterationsStarting(int /*levelCount*/) {}
    // The first used iteration begins; with savedDraws a stop from here loses the draws saved so far.
    virtual void DrawsStarting(bool /*savedDraws*/) {}
    // After every iteration, before the stop request is read.
    virtual void IterationDone(const IterationProgress& /*progress*/) {}
    // While the results are written.
    virtual void OutputStep(OutputPhase /*phase*/, int /*step*/, int /*total*/) {}
    // The session is over: closingSentence is "This session did ...".
    virtual void RunFinished(const std::string& /*closingSentence*/) {}
    // The last call of a run: a console with a screen keeps it until a key is pressed.
    virtual void HoldFinalScreen() {}
    // A failure the design reports on the console itself instead of a message box.
    virtual void ConsoleFailure(const std::string& /*text*/) {}
    // A checkpoint could not be written (the run goes on, the previous checkpoint is kept).
    virtual void CheckpointFailed(const std::string& /*text*/) {}
};

// Asked once after every iteration.
class StopToken {
public:
    virtual ~StopToken() = default;
    // True when the user (or the system) wants the run to stop after this iteration.
    virtual bool StopRequested() { return false; }
};

class Clock {
public:
    virtual ~Clock() = default;
    // Wall-clock seconds since 1970 (the seed of a run without one, the session's duration).
    virtual long long Now() { return 0; }
    // The local time (the log header).
    virtual std::tm LocalTime() { return std::tm{}; }
    // Seconds of a clock that only goes forward (the interval between checkpoints); its start is
    // arbitrary. The default never moves, so that no checkpoint falls due.
    virtual double SteadySeconds() { return 0.0; }
};

// Everything a run talks to; each object outlives the run.
struct RunServices {
    Messenger& messages;
    ProgressSink& progress;
    StopToken& stop;
    Clock& clock;
};

}  // namespace ombrel
