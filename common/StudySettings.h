#pragma once

#include <cstdint>
#include <string>

#include "common/Messenger.h"

namespace ombrel {

class TextSource;

// Shown for a data file name that names no study, by the validation and by the command line.
inline constexpr const char* kInvalidDataFileMessage = "An invalid data file was specified.";

// The record through which the front end and the estimator agree on what to estimate: the path of
// the study's data file and the eleven estimation settings. Both programs build it from the names
// file (which names the data file) and the study's settings file (which holds the eleven values);
// only the front end writes them.
class StudySettings {
public:
    // The eleven settings at their defaults (SettingsSchema), no data file.
    StudySettings();
    virtual ~StudySettings() = default;

    // Copies all fields, the names file's location and the settings extension included.
    StudySettings(const StudySettings& other);
    // Copies the data file name and the eleven settings only: the target keeps its own names file
    // and settings extension, so a dialog's working copy can be assigned back without moving them.
    StudySettings& operator=(const StudySettings& other);

    // The data file, then the eleven settings: SettingsSchema gives each one's default, range, file
    // line and option.
    std::string dataFileName;           // ".cho" (discrete choice) or ".chs" (allocation) data
    int32_t preliminaryIterations = 0;  // iterations before results are used
    int32_t drawsPerRespondent = 0;
    int32_t drawSkip = 0;  // every drawSkip-th later iteration is a used draw
    int32_t logSkip = 0;   // every logSkip-th iteration goes to the log
    bool saveDraws = false;
    double totalTaskWeight = 0.0;  // shown, saved and used as 1.0 for ".cho" data
    bool smartStart = false;
    int32_t priorDegreesOfFreedom = 0;  // additional prior degrees of freedom
    double priorVariance = 0.0;
    bool effectsCoding = false;     // false: dummy coding
    int32_t randomSeed = 0;         // 0: seeded from the time of day
    std::string namesFileName;      // kNamesFileName by default
    std::string settingsExtension;  // kSettingsExtension by default

    // Folder of the names file. Empty: the current directory. Our programs set it to the settings
    // folder instead of changing directory. Kept by assignment, like namesFileName.
    std::string namesFolder;

    // The data file name ends in ".cho" / ".chs", compared without regard to case.
    bool IsChoiceData() const;
    bool IsAllocationData() const;

    // The data file path less its ".cho" or ".chs"; empty when it ends in neither.
    std::string StudyName() const;
    // The data file path up to and including its last "/"; empty when it has none or its extension
    // is neither ".cho" nor ".chs".
    std::string StudyFolder() const;

    // The data file name less as many trailing characters as settingsExtension has, plus
    // settingsExtension: the study name plus ".set" for a valid data file name.
    std::string SettingsFileName() const;
    // namesFileName inside namesFolder (or as it is when namesFolder is empty).
    std::string NamesFilePath() const;

    // Reads the data file name from the names file, when it exists, then the study's settings file.
    // A data file name with the wrong extension shows "An invalid data filename was entered." and
    // resets the record; a file that exists but cannot be read resets it silently. A settings file
    // holding a number too large for its field shows that and resets the eleven settings, keeping the
    // data file name. False after either message.
    bool LoadSettings(Messenger& messenger);
    // The same load for the given data file path; the names file is not read.
    bool LoadSettingsForDataFile(const std::string& path, Messenger& messenger);

    // Writes the names file and, for a valid data file name, the study's settings file. Each file is
    // written beside its target and renamed into place, so a failed write leaves the old file whole.
    // Returns true when everything that had to be written was written (an empty data file name needs
    // only the names file); false after the invalid-name message or a failed write (no message).
    bool SaveSettings(Messenger& messenger);

    // Check the ranges; the first failure shows its message (information icon) and returns false.
    bool ValidateMainSettings(Messenger& messenger) const;
    bool ValidateAdvancedSettings(Messenger& messenger) const;

    // The settings file's bytes for the eleven values (layout in StudySettings.cpp).
    std::string SettingsText() const;
    // The eleven values from settings-file text; missing lines read as 0, 0.0 or false. False after a
    // read error, with the values unchanged. Throws NumberTooLargeError, naming fileName, for an
    // integer line beyond int32, with the values unchanged.
    bool ReadSettingsText(TextSource& text, const std::string& fileName);
    // The names file's first line, untrimmed, into dataFilePath. False after a read error or for a
    // line too long to be a path.
    static bool ReadNamesText(TextSource& text, std::string& dataFilePath);

private:
    // True when the data file name can name a study: the right extension and no NUL byte, which
    // would cut the name short when it reaches the file system.
    bool NamesStudyDataFile() const;
    // Steps shared by both loads, after the data file name is known.
    bool LoadForDataFileName(Messenger& messenger);
    // All of fields 1 to 12 back to their defaults; where the names file lies is kept.
    void ResetToDefaults();
};

}  // namespace ombrel
