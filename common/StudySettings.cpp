// The names file and the settings file.
//
// Names file ("names.pellik"): the data file path as its only line, written without a line
// terminator. The reader takes the first line (to LF, CR LF or the end of the file) and trims it.
//
// Settings file (study name + ".set"): eleven lines, LF-ended when written, LF or CR LF when read,
// each read by the leading-number conversion (missing lines read as 0, 0.0 or false; lines after
// the eleventh are ignored):
//    1 preliminaryIterations   "%d"
//    2 drawsPerRespondent      "%d"
//    3 drawSkip                "%d"
//    4 logSkip                 "%d"
//    5 saveDraws               "%d", 1 or 0
//    6 totalTaskWeight         "%5.2lf"; 1.0 for ".cho" data whatever the field holds
//    7 smartStart              "%d", 1 or 0
//    8 priorDegreesOfFreedom   "%d"
//    9 priorVariance           "%5.2lf"
//   10 effectsCoding           "%d", 1 = effects, 0 = dummy
//   11 randomSeed              "%d"
// The reals are formatted and read by the C library, so every program keeps LC_NUMERIC at "C".

#include "common/StudySettings.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/AtomicFile.h"
#include "common/TextConversion.h"

namespace ombrel {

namespace {

namespace fs = std::filesystem;

constexpr const char* kInvalidFilename = "An invalid data filename was entered.";
constexpr int kSettingsLineCount = 11;
// Longer than any path the system accepts; a longer first line is not a path, and the names file
// counts as unreadable.
constexpr size_t kMaxNamesLine = 64 * 1024;
// A settings line holds one number; the rest of an absurdly long line is skipped rather than kept.
constexpr size_t kMaxSettingsLine = 4096;

enum class FileState { Missing, Regular, Unreadable };

// Only a regular file can be read as one of these files: a folder, a pipe or a device of the same
// name (which could block or never end) counts as a file that cannot be read.
FileState InspectFile(const std::string& path) {
    std::error_code error;
    fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) return FileState::Missing;
    if (error || status.type() != fs::file_type::regular) return FileState::Unreadable;
    return FileState::Regular;
}

// Reads one line without its LF or CR LF, keeping at most maxKept characters; the rest of a longer
// line is read and dropped, and truncated is set. False at the end of the file with nothing read.
bool ReadLimitedLine(std::FILE* file, std::string& line, size_t maxKept, bool& truncated) {
    line.clear();
    truncated = false;
    bool readAny = false;
    int c = 0;
    while ((c = std::getc(file)) != EOF) {
        readAny = true;
        if (c == '\n') break;
        // One character beyond the limit is kept so that a CR before the LF is not taken for excess.
        if (line.size() <= maxKept) {
            line.push_back(static_cast<char>(c));
        } else {
            truncated = true;
        }
    }
    if (!truncated && !line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > maxKept) {
        line.resize(maxKept);
        truncated = true;
    }
    return readAny;
}

// The first line of the names file, untrimmed. False when the file cannot be opened or read.
bool ReadNamesFile(const std::string& path, std::string& line) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    bool truncated = false;
    ReadLimitedLine(file, line, kMaxNamesLine, truncated);
    bool readFailed = std::ferror(file) != 0;
    std::fclose(file);
    return !readFailed && !truncated;
}

// Up to eleven lines of the settings file; missing lines stay empty. False when the file cannot
// be opened or read.
bool ReadSettingsLines(const std::string& path, std::string (&lines)[kSettingsLineCount]) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    bool truncated = false;
    for (std::string& line : lines) {
        if (!ReadLimitedLine(file, line, kMaxSettingsLine, truncated)) break;
    }
    bool readFailed = std::ferror(file) != 0;
    std::fclose(file);
    return !readFailed;
}

// Replaces the file at path by exactly these bytes, through a temporary file renamed into place
// (a full disk or a failed write leaves the previous file whole). False on any failure.
bool ReplaceFileContents(const std::string& path, const std::string& contents) {
    std::string target = path;
    std::error_code error;
    // A names file kept as a symbolic link stays one: the file it points to is replaced.
    if (fs::is_symlink(fs::symlink_status(target, error))) {
        fs::path resolved = fs::weakly_canonical(target, error);
        if (error) return false;
        target = resolved.string();
    }
    return WriteFileAtomically(target, contents);
}

bool InRange(int32_t value, int32_t low, int32_t high) { return low <= value && value <= high; }
// Written so that NaN, which a settings file can hold as "nan", fails every range.
bool InRange(double value, double low, double high) { return low <= value && value <= high; }

}  // namespace

StudySettings::StudySettings(const StudySettings& other)
    : dataFileName(other.dataFileName),
      preliminaryIterations(other.preliminaryIterations),
      drawsPerRespondent(other.drawsPerRespondent),
      drawSkip(other.drawSkip),
      logSkip(other.logSkip),
      saveDraws(other.saveDraws),
      totalTaskWeight(other.totalTaskWeight),
      smartStart(other.smartStart),
      priorDegreesOfFreedom(other.priorDegreesOfFreedom),
      priorVariance(other.priorVariance),
      effectsCoding(other.effectsCoding),
      randomSeed(other.randomSeed),
      namesFileName(other.namesFileName),
      settingsExtension(other.settingsExtension),
      namesFolder(other.namesFolder) {}

StudySettings& StudySettings::operator=(const StudySettings& other) {
    if (this == &other) return *this;
    dataFileName = other.dataFileName;
    preliminaryIterations = other.preliminaryIterations;
    drawsPerRespondent = other.drawsPerRespondent;
    drawSkip = other.drawSkip;
    logSkip = other.logSkip;
    saveDraws = other.saveDraws;
    totalTaskWeight = other.totalTaskWeight;
    smartStart = other.smartStart;
    priorDegreesOfFreedom = other.priorDegreesOfFreedom;
    priorVariance = other.priorVariance;
    effectsCoding = other.effectsCoding;
    randomSeed = other.randomSeed;
    return *this;
}

bool StudySettings::IsChoiceData() const { return EndsWithNoCase(dataFileName, ".cho"); }

bool StudySettings::IsAllocationData() const { return EndsWithNoCase(dataFileName, ".chs"); }

bool StudySettings::NamesStudyDataFile() const {
    return (IsChoiceData() || IsAllocationData()) && dataFileName.find('\0') == std::string::npos;
}

std::string StudySettings::StudyName() const {
    if (!NamesStudyDataFile()) return std::string();
    return dataFileName.substr(0, dataFileName.size() - 4);
}

std::string StudySettings::StudyFolder() const {
    if (!NamesStudyDataFile()) return std::string();
    size_t separator = dataFileName.rfind('/');
    if (separator == std::string::npos) return std::string();
    return dataFileName.substr(0, separator + 1);
}

std::string StudySettings::SettingsFileName() const {
    size_t kept =
        dataFileName.size() > settingsExtension.size() ? dataFileName.size() - settingsExtension.size() : 0;
    return dataFileName.substr(0, kept) + settingsExtension;
}

std::string StudySettings::NamesFilePath() const {
    if (namesFolder.empty()) return namesFileName;
    if (namesFolder.back() == '/') return namesFolder + namesFileName;
    return namesFolder + "/" + namesFileName;
}

void StudySettings::ResetToDefaults() {
    // Assignment leaves the names file's location and the settings extension alone.
    *this = StudySettings();
}

void StudySettings::LoadSettings(Messenger& messenger) {
    std::string namesPath = NamesFilePath();
    switch (InspectFile(namesPath)) {
        case FileState::Missing:
            break;  // the data file name keeps its value
        case FileState::Unreadable:
            ResetToDefaults();
            return;
        case FileState::Regular: {
            std::string line;
            if (!ReadNamesFile(namesPath, line)) {
                ResetToDefaults();
                return;
            }
            dataFileName = line;
            break;
        }
    }
    LoadForDataFileName(messenger);
}

void StudySettings::LoadSettingsForDataFile(const std::string& path, Messenger& messenger) {
    dataFileName = path;
    LoadForDataFileName(messenger);
}

void StudySettings::LoadForDataFileName(Messenger& messenger) {
    dataFileName = Trim(dataFileName);
    if (dataFileName.empty()) return;
    if (!NamesStudyDataFile()) {
        messenger.Show(kInvalidFilename, MessageIcon::Exclamation);
        ResetToDefaults();
        return;
    }

    std::string settingsPath = SettingsFileName();
    FileState state = InspectFile(settingsPath);
    if (state == FileState::Missing) return;  // a new study: the current values stay
    std::string lines[kSettingsLineCount];
    if (state == FileState::Unreadable || !ReadSettingsLines(settingsPath, lines)) {
        ResetToDefaults();
        return;
    }
    preliminaryIterations = LeadingInt(lines[0]);
    drawsPerRespondent = LeadingInt(lines[1]);
    drawSkip = LeadingInt(lines[2]);
    logSkip = LeadingInt(lines[3]);
    saveDraws = LeadingInt(lines[4]) != 0;
    totalTaskWeight = LeadingDouble(lines[5]);
    smartStart = LeadingInt(lines[6]) != 0;
    priorDegreesOfFreedom = LeadingInt(lines[7]);
    priorVariance = LeadingDouble(lines[8]);
    effectsCoding = LeadingInt(lines[9]) != 0;
    randomSeed = LeadingInt(lines[10]);
}

bool StudySettings::SaveSettings(Messenger& messenger) {
    dataFileName = Trim(dataFileName);
    // The names file is written even for an empty or invalid name, so that it never names a study
    // other than the one in the window.
    if (!ReplaceFileContents(NamesFilePath(), dataFileName)) return false;
    if (dataFileName.empty()) return true;
    if (!NamesStudyDataFile()) {
        messenger.Show(kInvalidFilename, MessageIcon::Exclamation);
        return false;
    }
    std::string contents = Format(
        "%d\n%d\n%d\n%d\n%d\n%5.2lf\n%d\n%d\n%5.2lf\n%d\n%d\n", preliminaryIterations, drawsPerRespondent,
        drawSkip, logSkip, saveDraws ? 1 : 0, IsChoiceData() ? 1.0 : totalTaskWeight, smartStart ? 1 : 0,
        priorDegreesOfFreedom, priorVariance, effectsCoding ? 1 : 0, randomSeed);
    return ReplaceFileContents(SettingsFileName(), contents);
}

bool StudySettings::ValidateMainSettings(Messenger& messenger) const {
    const char* failure = nullptr;
    if (!NamesStudyDataFile()) {
        failure = "An invalid data file was specified.";
    } else if (!InRange(preliminaryIterations, 0, 1000000)) {
        failure = "'Number of iterations before using results' must be an integer between 0 and 1000000.";
    } else if (!InRange(drawsPerRespondent, 1, 10000)) {
        failure = "'Number of draws to be used for each respondent' must be an integer between 1 and 10000.";
    } else if (!InRange(drawSkip, 1, 100)) {
        failure = "'Skip factor for using draws' must be an integer between 1 and 100.";
    } else if (!InRange(logSkip, 1, 100000)) {
        failure = "'Skip factor for printing in log file' must be an integer between 1 and 100000.";
    } else if (!InRange(totalTaskWeight, 1.0, 10.0)) {
        failure = "'Total task weight' must be a number between 1.0 and 10.0.";
    }
    if (failure == nullptr) return true;
    messenger.Show(failure, MessageIcon::Information);
    return false;
}

bool StudySettings::ValidateAdvancedSettings(Messenger& messenger) const {
    const char* failure = nullptr;
    if (!InRange(priorDegreesOfFreedom, 2, 100000)) {
        failure = "'Prior degrees of freedom' must be an integer between 2 and 100000.";
    } else if (!InRange(priorVariance, 0.1, 100.0)) {
        failure = "'Prior variance' must be a number between 0.1 and 100.0.";
    } else if (!InRange(randomSeed, 0, 32000)) {
        failure = "'Random starting seed' must be an integer between 0 and 32000.";
    } else if (smartStart && !effectsCoding) {
        failure = "'Use smart starting betas' cannot be used with 'Use dummy coding'.";
    }
    if (failure == nullptr) return true;
    messenger.Show(failure, MessageIcon::Information);
    return false;
}

}  // namespace ombrel
