#include "apps/kivotra/KivotraConsole.h"

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <thread>

#include "common/TextConversion.h"
#include "estimator/chain/RespondentPass.h"
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

namespace {

// The thread count of --threads: a whole number from 1 to kMaxPassThreads, or 0 when it is not one.
int ThreadCount(const std::string& text) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const int count = std::stoi(text);
    return count <= kMaxPassThreads ? count : 0;
}

std::string ThreadCountFailure(const std::string& given) {
    return Format("kivotra --threads takes a whole number of threads from 1 to %d, not \"%s\".",
                  kMaxPassThreads, given.c_str());
}

// The seconds of --checkpoint-seconds: a number of 0 or more (0: none), or -1 when it is not one.
double CheckpointSeconds(const std::string& text) {
    double seconds = 0.0;
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789.") != std::string::npos)
        return -1.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(seconds)) return -1.0;
    return seconds;
}

std::string CheckpointFailure(const std::string& given) {
    return Format(
        "kivotra --checkpoint-seconds takes a number of seconds, 0 or more (0: no checkpoints), "
        "not \"%s\".",
        given.c_str());
}

// The value of an option given as "--name VALUE" or "--name=VALUE" at argv[i]; false for another
// argument.
bool OptionValue(const std::string& name, int argc, char** argv, int& i, std::string& value) {
    const std::string argument = argv[i];
    if (argument == name) {
        value = i + 1 < argc ? argv[++i] : "";
        return true;
    }
    if (argument.rfind(name + "=", 0) == 0) {
        value = argument.substr(name.size() + 1);
        return true;
    }
    return false;
}

// The run's options, with the command line's thread count and checkpoint interval when it gave them.
RunOptions OptionsOf(const KivotraArguments& arguments) {
    RunOptions options;
    if (arguments.threads > 0) options.threads = arguments.threads;
    if (arguments.checkpointSeconds >= 0.0) options.checkpointSeconds = arguments.checkpointSeconds;
    return options;
}

}  // namespace

KivotraArguments ParseKivotraArguments(int argc, char** argv) {
    KivotraArguments parsed;
    for (int i = 1; i < argc; ++i) {
        std::string value;
        if (std::string(argv[i]) == "--headless") {
            parsed.headless = true;
        } else if (OptionValue("--threads", argc, argv, i, value)) {
            parsed.threads = ThreadCount(value);
            if (parsed.threads == 0 && parsed.failure.empty()) parsed.failure = ThreadCountFailure(value);
        } else if (OptionValue("--checkpoint-seconds", argc, argv, i, value)) {
            parsed.checkpointSeconds = CheckpointSeconds(value);
            if (parsed.checkpointSeconds < 0.0 && parsed.failure.empty())
                parsed.failure = CheckpointFailure(value);
        } else {
            parsed.numbers.push_back(argv[i]);
        }
    }
    return parsed;
}

int RunKivotra(int argc, char** argv) {
    InstallStopHandlers();
    const KivotraArguments arguments = ParseKivotraArguments(argc, argv);
    const bool headless = arguments.headless || !IsTerminal(STDOUT_FILENO);
    if (headless) {
        HeadlessConsole console;
        if (!arguments.failure.empty()) {
            console.Messages().Show(arguments.failure, MessageIcon::Exclamation);
            return 1;
        }
        return RunEstimator(console.Services(), OptionsOf(arguments));
    }
    TerminalConsole console;
    if (!arguments.failure.empty()) {
        console.Messages().Show(arguments.failure, MessageIcon::Exclamation);
        return 1;
    }
    if (std::optional<WindowSize> size = TerminalPixelSize(STDOUT_FILENO)) {
        if (std::optional<WindowPosition> position = CentreOnRectangle(arguments.numbers, *size)) {
            console.Screen().MoveWindow(position->x, position->y);
            console.Screen().Flush();
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return RunEstimator(console.Services(), OptionsOf(arguments));
}

}  // namespace ombrel
