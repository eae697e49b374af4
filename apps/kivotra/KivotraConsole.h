#pragma once

#include <memory>
#include <string>
#include <vector>

#include "estimator/run/EstimatorConsole.h"
#include "platform/Keyboard.h"
#include "platform/StderrMessenger.h"
#include "platform/TerminalMessenger.h"
#include "platform/TerminalScreen.h"

namespace ombrel {

// The estimator's console on a terminal: the progress screen drawn with ANSI sequences, the keyboard
// polled once per iteration, messages framed on the screen.
class TerminalConsole : public EstimatorConsole {
public:
    TerminalConsole();

    Messenger& Messages() override { return messenger_; }
    void SetTitle(const std::string& title) override;
    void ClearScreen() override;
    void Draw(const std::vector<ScreenWrite>& writes) override;
    void ReportProgress(int, int, double, double, long long) override {}
    void WriteText(const std::string& text) override;
    bool EscapePressed() override;
    bool CloseRequested() override;
    void WaitForKey() override;
    long long Now() override;
    std::tm LocalTime() override;

    TerminalScreen& Screen() { return screen_; }

private:
    TerminalScreen screen_;
    Keyboard keyboard_;
    TerminalMessenger messenger_;
};

// The estimator without a screen (standard output is not a terminal, or --headless): no screen, no
// keys; a one-line progress report on standard error every few seconds, messages on standard error.
class HeadlessConsole : public EstimatorConsole {
public:
    Messenger& Messages() override { return messenger_; }
    void SetTitle(const std::string&) override {}
    void ClearScreen() override {}
    void Draw(const std::vector<ScreenWrite>&) override {}
    void ReportProgress(int iteration, int totalIterations, double pctCert, double rlh,
                        long long secondsLeft) override;
    void WriteText(const std::string& text) override;
    bool EscapePressed() override { return false; }
    bool CloseRequested() override;
    void WaitForKey() override {}
    long long Now() override;
    std::tm LocalTime() override;

private:
    StderrMessenger messenger_;
    long long lastReport_ = 0;
};

// The estimator program: kivotra [--headless] [top left bottom right]
int RunKivotra(int argc, char** argv);

}  // namespace ombrel
