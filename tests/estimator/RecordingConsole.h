#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "estimator/run/EstimatorConsole.h"
#include "platform/ScriptedMessenger.h"

namespace ombrel::test {

// An estimator console without a terminal for in-process runs: records what the run shows, presses
// ESC after a chosen iteration, and keeps a fixed clock (localTime) so that logs are reproducible.
class RecordingConsole : public EstimatorConsole {
public:
    ScriptedMessenger messenger;
    int escapeAfterIteration = 0;  // 0: never
    int lastIteration = 0;
    std::vector<ScreenWrite> writes;
    std::vector<std::string> titles;
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

    Messenger& Messages() override { return messenger; }
    void SetTitle(const std::string& title) override { titles.push_back(title); }
    void ClearScreen() override {}
    void Draw(const std::vector<ScreenWrite>& screenWrites) override {
        writes.insert(writes.end(), screenWrites.begin(), screenWrites.end());
    }
    void ReportProgress(int iteration, int, double, double, long long) override { lastIteration = iteration; }
    void WriteText(const std::string& text) override { consoleText += text; }
    bool EscapePressed() override {
        return escapeAfterIteration != 0 && lastIteration >= escapeAfterIteration;
    }
    bool CloseRequested() override { return false; }
    void WaitForKey() override { ++keyWaits; }
    long long Now() override { return 1700000000; }
    std::tm LocalTime() override { return localTime; }
};

}  // namespace ombrel::test
