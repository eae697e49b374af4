#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/Messenger.h"
#include "common/StudySettings.h"

namespace ombrel {

// How a launch ended.
enum class LaunchOutcome {
    NotSaved,             // validation failed (its message shown) or the settings could not be written
    Cancelled,            // the restart question was answered with Cancel
    RestartFileKept,      // the restart file could not be checked or deleted
    PreparationFailed,    // the preparation's message shown
    NotContinued,         // the report was shown and the user chose not to estimate now
    EstimatorNotStarted,  // the estimator could not be started (its message shown)
    EstimatorRan,
};

// What to do with the restart file an earlier estimation left behind.
enum class RestartChoice {
    Resume,     // keep it: the estimator resumes from it, nothing is prepared
    StartOver,  // delete it and prepare the study again
    Cancel,     // launch nothing
};

// What each front end does at the steps of a launch; the use case decides the order and reports
// failures through the messenger (exclamation icon), except the validation messages (their own).
struct EstimateLaunchSteps {
    Messenger& messenger;
    // The settings have just been written.
    std::function<void()> saved;
    // Asked when the study has a restart file (its path given).
    std::function<RestartChoice(const std::string& restartFile)> askAboutRestart;
    // Told when it has none; may be empty.
    std::function<void(const std::string& restartFile)> noRestartFile;
    // The preparation on the saved settings: returns its report, throws with the user's message.
    std::function<std::string(const StudySettings& settings)> prepare;
    // The report; false: do not estimate now.
    std::function<bool(const std::string& report)> showReport;
    // Starts the estimator and returns its exit status; throws, naming the program, when it cannot.
    std::function<int()> startEstimator;
    // The restart files to settle, in order; empty: the study's own. The question names the first one
    // there; starting over deletes every one there; resuming resumes each from its own.
    std::vector<std::string> restartFiles = {};
};

struct LaunchResult {
    LaunchOutcome outcome = LaunchOutcome::NotSaved;
    int estimatorStatus = 0;  // the estimator's exit status, for EstimatorRan
};

// Validates both pages of the settings and writes them, as File > Save does. False after the
// message that says why.
bool ValidateAndSaveSettings(StudySettings& settings, Messenger& messenger);

// "Estimate Parameters": validate and save the settings, settle the restart file, prepare the study
// and show its report (unless resuming), then start the estimator.
LaunchResult LaunchEstimation(StudySettings& settings, const EstimateLaunchSteps& steps);

}  // namespace ombrel
