#include "frontend/EstimatorLaunch.h"

#include "common/StudyFiles.h"
#include "common/TextConversion.h"
#include "prepare/StudyPreparation.h"

namespace ombrel {

namespace {

// Where the console opens relative to the window's top left corner: just inside its frame and
// below its title bar.
constexpr int kConsoleOffsetX = 6;
constexpr int kConsoleOffsetY = 29;

}  // namespace

std::string EstimatorCommandLine(const std::string& program, const WindowRect& rect) {
    return Format("%s %d %d %d %d", program.c_str(), rect.top, rect.left, rect.bottom, rect.right);
}

EstimatorLaunch BuildEstimatorLaunch(const std::string& programFolder, const std::string& settingsFolder,
                                     const WindowRect& rect) {
    EstimatorLaunch launch;
    launch.programPath = programFolder + kEstimatorProgramName;
    for (int value : {rect.top, rect.left, rect.bottom, rect.right})
        launch.arguments.push_back(Format("%d", value));
    launch.commandLine = EstimatorCommandLine(kEstimatorProgramName, rect);
    launch.workingFolder = settingsFolder;
    // Computed in a wider type: a rectangle near INT_MAX must not overflow.
    auto offset = [](int value, int by) {
        long long moved = static_cast<long long>(value) + by;
        return moved > 2147483647LL ? 2147483647 : static_cast<int>(moved);
    };
    launch.consoleLeft = offset(rect.left, kConsoleOffsetX);
    launch.consoleTop = offset(rect.top, kConsoleOffsetY);
    return launch;
}

std::string ReportDisplayText(const std::string& report) {
    std::string text;
    text.reserve(report.size());
    for (char c : report) {
        if (c != '\r') text.push_back(c);
    }
    return text;
}

std::string RunStudyPreparation(const StudySettings& settings) {
    StudyPreparation preparation(settings);
    preparation.Prepare();
    return preparation.report;
}

}  // namespace ombrel
