#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "estimator/run/RunSinks.h"
#include "platform/ScriptedMessenger.h"

namespace ombrel::test {

// The estimator's sinks without a terminal for in-process runs: records what the run reports, asks to
// stop after a chosen iteration, and keeps a fixed clock (localTime) so that logs are reproducible.
class RecordingConsole : public ProgressSink, public StopToken, public Clock {
public:
    ScriptedMessenger messenger;
    int escapeAfterIteration = 0;  // 0: never
    int lastIteration = 0;
    int iterationsReported = 0;
    std::vector<std::string> studies;
    std::string consoleText;
    int keyWaits = 0;
    std::tm localTime = [] {
        std::tm time{};
        time.tm_year = 126;
        time.tm_mon = 0;
        time.tm_mday = 5;
        time.tm_hour = 14;
        time.tm_min = 3;
        time.tm_sec = 9;
        time.tm_wday = 1;
        return time;
    }();

    RunServices Services() { return RunServices{messenger, *this, *this, *this}; }

    void StudyOpened(const std::string& baseName) override { studies.push_back(baseName); }
    void IterationDone(const IterationProgress& progress) override {
        lastIteration = progress.statistics.iteration;
        ++iterationsReported;
    }
    void ConsoleFailure(const std::string& text) override { consoleText += text; }
    void HoldFinalScreen() override { ++keyWaits; }
    bool StopRequested() override {
        return escapeAfterIteration != 0 && lastIteration >= escapeAfterIteration;
    }
    long long Now() override { return 1700000000; }
    std::tm LocalTime() override { return localTime; }
};

}  // namespace ombrel::test
