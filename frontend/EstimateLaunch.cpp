#include "frontend/EstimateLaunch.h"

#include <exception>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "common/StudyFiles.h"
#include "common/TextConversion.h"

namespace ombrel {

namespace {

namespace fs = std::filesystem;

// Settles the restart files: nothing when there is none, the choice otherwise. Nothing, with the
// outcome set, when the launch must stop here.
std::optional<RestartChoice> SettleRestartFiles(const std::vector<std::string>& restartFiles,
                                                const EstimateLaunchSteps& steps, LaunchOutcome& stopped) {
    Messenger& messenger = steps.messenger;
    std::vector<std::string> present;
    for (const std::string& restartFile : restartFiles) {
        std::error_code error;
        const bool restartExists = fs::exists(restartFile, error);
        if (error) {
            // Not knowing whether earlier work is there must not lead to preparing over it.
            messenger.Show(Format("The restart file %s could not be checked (%s).", restartFile.c_str(),
                                  error.message().c_str()),
                           MessageIcon::Exclamation);
            stopped = LaunchOutcome::RestartFileKept;
            return std::nullopt;
        }
        if (restartExists) present.push_back(restartFile);
    }
    if (present.empty()) {
        if (steps.noRestartFile) steps.noRestartFile(restartFiles.front());
        return RestartChoice::StartOver;
    }
    const RestartChoice choice = steps.askAboutRestart(present.front());
    if (choice == RestartChoice::Cancel) {
        stopped = LaunchOutcome::Cancelled;
        return std::nullopt;
    }
    // A restart file left behind would be resumed against freshly prepared files.
    for (const std::string& restartFile : present) {
        std::error_code error;
        if (choice == RestartChoice::StartOver && (!fs::remove(restartFile, error) || error)) {
            messenger.Show(Format("The restart file %s could not be deleted (%s).", restartFile.c_str(),
                                  error ? error.message().c_str() : "it is no longer there"),
                           MessageIcon::Exclamation);
            stopped = LaunchOutcome::RestartFileKept;
            return std::nullopt;
        }
        // Its resume file goes with it: it belongs to no other restart file.
        if (choice == RestartChoice::StartOver) fs::remove(ResumeFileOf(restartFile), error);
    }
    return choice;
}

// Prepares the study and shows the report; the outcome that stops the launch, or nothing.
std::optional<LaunchOutcome> PrepareAndReport(const StudySettings& settings,
                                              const EstimateLaunchSteps& steps) {
    std::string report;
    try {
        report = steps.prepare(settings);
    } catch (const std::exception& failure) {
        steps.messenger.Show(failure.what(), MessageIcon::Exclamation);
        return LaunchOutcome::PreparationFailed;
    }
    if (!steps.showReport(report)) return LaunchOutcome::NotContinued;
    return std::nullopt;
}

}  // namespace

bool ValidateAndSaveSettings(StudySettings& settings, Messenger& messenger) {
    if (!settings.ValidateMainSettings(messenger)) return false;
    if (!settings.ValidateAdvancedSettings(messenger)) return false;
    // The names file carries the path as one line: the estimator would read only its first part.
    if (settings.dataFileName.find_first_of("\r\n") != std::string::npos) {
        messenger.Show("The data file path holds a line break, which the names file cannot carry.",
                       MessageIcon::Exclamation);
        return false;
    }
    // A save that could not be written must not pass for one: the estimator would read the old files.
    if (!settings.SaveSettings(messenger)) {
        messenger.Show(Format("The settings could not be saved to %s and %s.",
                              settings.NamesFilePath().c_str(), settings.SettingsFileName().c_str()),
                       MessageIcon::Exclamation);
        return false;
    }
    return true;
}

LaunchResult LaunchEstimation(StudySettings& settings, const EstimateLaunchSteps& steps) {
    LaunchResult result;
    if (!ValidateAndSaveSettings(settings, steps.messenger)) return result;
    if (steps.saved) steps.saved();

    // Valid after the validation.
    std::vector<std::string> restartFiles = steps.restartFiles;
    if (restartFiles.empty())
        restartFiles.push_back(StudyFiles::ForDataFile(settings.dataFileName)->Restart());
    const std::optional<RestartChoice> choice = SettleRestartFiles(restartFiles, steps, result.outcome);
    if (!choice) return result;
    if (*choice != RestartChoice::Resume) {
        if (const std::optional<LaunchOutcome> stopped = PrepareAndReport(settings, steps)) {
            result.outcome = *stopped;
            return result;
        }
    }

    try {
        result.estimatorStatus = steps.startEstimator();
    } catch (const std::exception& failure) {
        steps.messenger.Show(failure.what(), MessageIcon::Exclamation);
        result.outcome = LaunchOutcome::EstimatorNotStarted;
        return result;
    }
    result.outcome = LaunchOutcome::EstimatorRan;
    return result;
}

}  // namespace ombrel
