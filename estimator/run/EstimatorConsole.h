#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "common/Messenger.h"
#include "estimator/files/ProgressLog.h"

namespace ombrel {

// Everything the run driver needs from its console: the progress screen, the keyboard, the stop
// request, messages and the clock. The estimator program backs it with the terminal (or standard
// error when headless); tests back it with a recording console.
class EstimatorConsole {
public:
    virtual ~EstimatorConsole() = default;

    virtual Messenger& Messages() = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // Blanks the screen and hides the cursor for the rest of the run.
    virtual void ClearScreen() = 0;
    virtual void Draw(const std::vector<ScreenWrite>& writes) = 0;
    // Called once per iteration after the screen refresh; a console without a screen reports progress
    // here (secondsLeft is negative while unknown).
    virtual void ReportProgress(int iteration, int totalIterations, double pctCert, double rlh,
                                long long secondsLeft) = 0;
    // Text written straight to the console (messages the design writes there instead of a box).
    virtual void WriteText(const std::string& text) = 0;
    // Reads a waiting key, if any, without blocking; true when it was ESC.
    virtual bool EscapePressed() = 0;
    // The console is being closed (or the process was asked to stop).
    virtual bool CloseRequested() = 0;
    // Discards pending keys, then waits for one key unless the console is being closed.
    virtual void WaitForKey() = 0;
    // Wall-clock seconds since 1970 and the local time.
    virtual long long Now() = 0;
    virtual std::tm LocalTime() = 0;
};

}  // namespace ombrel
