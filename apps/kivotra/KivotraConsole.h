#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "apps/kivotra/ProgressScreen.h"
#include "estimator/run/EstimatorRun.h"
#include "estimator/run/RunSinks.h"
#include "platform/Keyboard.h"
#include "platform/StderrMessenger.h"
#include "platform/TerminalMessenger.h"
#include "platform/TerminalScreen.h"

namespace ombrel {

// What both of kivotra's consoles share: the run's events turned into the progress screen's writes
// and texts, the screen model's time remaining, the wall clock. The consoles differ in what they do
// with a screen and a progress report.
class KivotraConsole : public ProgressSink, public StopToken, public Clock {
public:
    virtual Messenger& Messages() = 0;
    RunServices Services() { return RunServices{Messages(), *this, *this, *this}; }

    void RunStarting() override;
    void StudyOpened(const std::string& baseName) override;
    void RunCounted(const RunSummary& run) override;
    void IterationsStarting(int levelCount) override;
    void DrawsStarting(bool savedDraws) override;
    void IterationDone(const IterationProgress& progress) override;
    void OutputStep(OutputPhase phase, int step, int total) override;
    void RunFinished(const std::string& closingSentence) override;
    void HoldFinalScreen() override { WaitForKey(); }
    void ConsoleFailure(const std::string& text) override { WriteText(text); }

    bool StopRequested() override { return EscapePressed() || CloseRequested(); }
    long long Now() override;
    std::tm LocalTime() override;
    double SteadySeconds() override { return SteadyClockSeconds(); }

protected:
    virtual void SetTitle(const std::string& title) = 0;
    // Blanks the screen and hides the cursor for the rest of the run.
    virtual void ClearScreen() = 0;
    virtual void Draw(const std::vector<ScreenWrite>& writes) = 0;
    // Once per iteration after the screen refresh (secondsLeft is negative while unknown).
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

private:
    ProgressScreen screen_;
    long long startTime_ = 0;
};

// The estimator's console on a terminal: the progress screen drawn with ANSI sequences, the keyboard
// polled once per iteration, messages framed on the screen.
class TerminalConsole : public KivotraConsole {
public:
    TerminalConsole();

    Messenger& Messages() override { return messenger_; }
    TerminalScreen& Screen() { return screen_; }

protected:
    void SetTitle(const std::string& title) override;
    void ClearScreen() override;
    void Draw(const std::vector<ScreenWrite>& writes) override;
    void ReportProgress(int, int, double, double, long long) override {}
    void WriteText(const std::string& text) override;
    bool EscapePressed() override;
    bool CloseRequested() override;
    void WaitForKey() override;

private:
    TerminalScreen screen_;
    Keyboard keyboard_;
    TerminalMessenger messenger_;
};

// The estimator without a screen (standard output is not a terminal, or --headless): no screen, no
// keys; a one-line progress report on standard error every few seconds, messages on standard error.
class HeadlessConsole : public KivotraConsole {
public:
    Messenger& Messages() override { return messenger_; }
    // On standard error (the log has it too); a terminal's screen has no room for it.
    void CheckpointFailed(const std::string& text) override { WriteText(text); }

protected:
    void SetTitle(const std::string&) override {}
    void ClearScreen() override {}
    void Draw(const std::vector<ScreenWrite>&) override {}
    void ReportProgress(int iteration, int totalIterations, double pctCert, double rlh,
                        long long secondsLeft) override;
    void WriteText(const std::string& text) override;
    bool EscapePressed() override { return false; }
    bool CloseRequested() override;
    void WaitForKey() override {}

private:
    StderrMessenger messenger_;
    long long lastReport_ = 0;
};

// What kivotra's command line asks for: kivotra [--headless] [--threads N] [--checkpoint-seconds S]
// [top left bottom right],
// the options anywhere among the four window numbers.
struct KivotraArguments {
    bool headless = false;
    int threads = 0;                   // the respondent pass's threads; 0: the run's default
    double checkpointSeconds = -1.0;   // --checkpoint-seconds; negative: the run's default
    std::vector<std::string> numbers;  // the window rectangle, as given
    std::string failure;               // the message refusing the command line; empty when it is fine
};
KivotraArguments ParseKivotraArguments(int argc, char** argv);

// The estimator program.
int RunKivotra(int argc, char** argv);

}  // namespace ombrel
