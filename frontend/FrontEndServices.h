#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/StudySettings.h"

namespace ombrel {

class AdvancedSettingsLogic;

// The seams through which the window logic reaches the desktop. The Qt widgets implement them;
// tests script them. None of them may be called before the window logic has started.

// The common open-file dialog; one entry of its file type list.
struct FileFilter {
    std::string description;            // "Ombrel Data Files (*.cho; *.chs)"
    std::vector<std::string> patterns;  // "*.cho", "*.chs"
};

class FilePicker {
public:
    virtual ~FilePicker() = default;
    // Asks for an existing file, without changing the current directory; filters in the order of
    // the dialog's file type list, the first one selected. Returns the chosen path, or nothing when
    // the user cancelled.
    virtual std::optional<std::string> PickExistingFile(const std::vector<FileFilter>& filters,
                                                        const std::string& defaultExtension) = 0;
    // Asks where to save a file, suggesting suggestedPath; the dialog asks before replacing an existing
    // file. Returns the chosen path, or nothing when the user cancelled (which the default always does).
    virtual std::optional<std::string> PickSaveFile(const std::vector<FileFilter>& filters,
                                                    const std::string& defaultExtension,
                                                    const std::string& suggestedPath) {
        (void)filters;
        (void)defaultExtension;
        (void)suggestedPath;
        return std::nullopt;
    }
};

// The main window's rectangle in screen coordinates, in pixels.
struct WindowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// How the estimator is started: the program in the program folder, the four numbers of the window
// rectangle as its arguments, the settings folder (which holds the names file) as its working
// directory, and its console opened over the main window.
struct EstimatorLaunch {
    std::string programPath;
    std::vector<std::string> arguments;  // top, left, bottom, right
    std::string commandLine;             // "kivotra top left bottom right", as logged or shown
    std::string workingFolder;
    int consoleLeft = 0;
    int consoleTop = 0;
};

// The heavy half of "Estimate Parameters": preparation, the report dialog and the estimator process.
class EstimatorLauncher {
public:
    virtual ~EstimatorLauncher() = default;
    // Prepares the study (under a wait cursor) and returns the report. Throws OmbrelError with the
    // user's message when the preparation fails. RunStudyPreparation does the work.
    virtual std::string PrepareStudy(const StudySettings& settings) = 0;
    // The "Preparing Data Files" dialog, modal, with the report ready for display. True for
    // "Continue with estimation"; false for "Do not estimate now", Esc or the close box.
    virtual bool ShowReport(const std::string& reportText) = 0;
    virtual WindowRect MainWindowRect() = 0;
    // Starts the estimator and returns when it has ended; its exit status is not looked at. Throws
    // OmbrelError, naming the program, when it cannot be started.
    virtual void RunEstimator(const EstimatorLaunch& launch) = 0;
};

// Runs the "Advanced Settings" dialog modally over the given logic, which the caller has built on its
// copy of the settings. True when the dialog ended with OK (the logic accepted its values).
class AdvancedSettingsDialog {
public:
    virtual ~AdvancedSettingsDialog() = default;
    virtual bool Run(AdvancedSettingsLogic& logic) = 0;
};

// Told when the program itself has changed the main window's fields or title, so that the widgets
// copy them again. Edits the user makes are reported the other way, into the logic.
class MainWindowView {
public:
    virtual ~MainWindowView() = default;
    virtual void FieldsChanged() = 0;
    virtual void TitleChanged(const std::string& title) = 0;
    // An estimation started from the window ended normally and wrote the results of dataFile's study.
    virtual void EstimationCompleted(const std::string& dataFile) { (void)dataFile; }
};

}  // namespace ombrel
