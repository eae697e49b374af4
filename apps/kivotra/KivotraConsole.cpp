#include "apps/kivotra/KivotraConsole.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "estimator/run/EstimatorRun.h"
#include "platform/StopSignals.h"
#include "platform/WindowCentring.h"

namespace ombrel {

namespace {

long long WallClockSeconds() { return static_cast<long long>(std::time(nullptr)); }

std::tm LocalNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

// Seconds between two progress lines of a headless run.
constexpr long long kHeadlessReportInterval = 2;

constexpr const char* kProgramTitle = "Feldrin Software Ombrel";

}  // namespace

void KivotraConsole::RunStarting() {
    SetTitle(kProgramTitle);
    ClearScreen();
}

void KivotraConsole::StudyOpened(const std::string& baseName) {
    SetTitle(std::string(kProgramTitle) + " - " + baseName);
}

void KivotraConsole::RunCounted(const RunSummary& run) { Draw(screen_.HeaderBlock(run)); }

void KivotraConsole::IterationsStarting(int levelCount) {
    std::vector<ScreenWrite> labels = screen_.FixedLabels(levelCount);
    labels.push_back(ProgressScreen::Status(kStopHint));
    Draw(labels);
    startTime_ = Now();
    screen_.Reset();
}

void KivotraConsole::DrawsStarting(bool savedDraws) {
    if (savedDraws) Draw({ProgressScreen::Status(kStopLosesDrawsHint)});
}

void KivotraConsole::IterationDone(const IterationProgress& progress) {
    const IterationStatistics& s = progress.statistics;
    Draw(screen_.RefreshIteration(s, Now(), startTime_, progress.totalIterations - s.iteration));
    if (progress.expandedLevels != nullptr) {
        Draw(screen_.RefreshPartWorths(progress.expandedLevels, progress.levelCount, progress.averageBetas,
                                       progress.parameterCount));
    }
    ReportProgress(s.iteration, progress.totalIterations, s.pctCert, s.rlh,
                   screen_.SessionIterations() >= 10 ? screen_.SecondsLeft() : -1);
}

void KivotraConsole::OutputStep(OutputPhase phase, int step, int total) {
    Draw({ProgressScreen::Status(OutputStatusText(phase, step, total))});
}

void KivotraConsole::RunFinished(const std::string& closingSentence) {
    Draw({ProgressScreen::Status(FinalStatusText(closingSentence))});
}

long long KivotraConsole::Now() { return WallClockSeconds(); }
std::tm KivotraConsole::LocalTime() { return LocalNow(); }

TerminalConsole::TerminalConsole()
    : screen_(STDOUT_FILENO), keyboard_(STDIN_FILENO), messenger_(screen_, keyboard_) {}

void TerminalConsole::SetTitle(const std::string& title) {
    screen_.SetTitle(title);
    screen_.Flush();
}

void TerminalConsole::ClearScreen() {
    screen_.Clear();
    screen_.HideCursor();
    screen_.Flush();
}

void TerminalConsole::Draw(const std::vector<ScreenWrite>& writes) {
    for (const ScreenWrite& write : writes) screen_.WriteAt(write.row, write.column, write.text);
    screen_.Flush();
}

void TerminalConsole::WriteText(const std::string& text) {
    screen_.Write(text);
    screen_.Flush();
}

bool TerminalConsole::EscapePressed() {
    if (!keyboard_.KeyWaiting()) return false;
    return keyboard_.ReadKey() == Keyboard::kEscape;
}

bool TerminalConsole::CloseRequested() { return ombrel::StopRequested(); }

void TerminalConsole::WaitForKey() {
    keyboard_.DiscardPending();
    if (!ombrel::StopRequested()) keyboard_.WaitKey();
}

void HeadlessConsole::ReportProgress(int iteration, int totalIterations, double pctCert, double rlh,
                                     long long secondsLeft) {
    const long long now = WallClockSeconds();
    if (iteration != totalIterations && now - lastReport_ < kHeadlessReportInterval) return;
    lastReport_ = now;
    std::string line = FormatHeadlessProgress(iteration, totalIterations, pctCert, rlh, secondsLeft);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void HeadlessConsole::WriteText(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

bool HeadlessConsole::CloseRequested() { return ombrel::StopRequested(); }

int RunKivotra(int argc, char** argv) {
    InstallStopHandlers();
    bool headless = !IsTerminal(STDOUT_FILENO);
    std::vector<std::string> numbers;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--headless")
            headless = true;
        else
            numbers.push_back(argument);
    }
    if (headless) {
        HeadlessConsole console;
        return RunEstimator(console.Services());
    }
    TerminalConsole console;
    if (std::optional<WindowSize> size = TerminalPixelSize(STDOUT_FILENO)) {
        if (std::optional<WindowPosition> position = CentreOnRectangle(numbers, *size)) {
            console.Screen().MoveWindow(position->x, position->y);
            console.Screen().Flush();
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return RunEstimator(console.Services());
}

}  // namespace ombrel
