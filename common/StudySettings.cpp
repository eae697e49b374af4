// The names file and the settings file.
//
// Names file (kNamesFileName, "names.pellik"): the data file path as its only line, written without a line
// terminator. The reader takes the first line (to LF, CR LF or the end of the file) and trims it.
//
// Settings file (study name + kSettingsExtension, ".set"): eleven lines, LF-ended when written, LF
// or CR LF when read, each read by the leading-number conversion (missing lines read as 0, 0.0 or
// false; lines after the eleventh are ignored). The lines follow SettingsSchema's rows:
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
#include <optional>
#include <string_view>
#include <system_error>

#include "common/AtomicFile.h"
#include "common/SettingsSchema.h"
#include "common/StudyFiles.h"
#include "common/TextConversion.h"
#include "common/TextNumberScanner.h"
#include "common/TextSource.h"

namespace ombrel {

namespace {

namespace fs = std::filesystem;

constexpr const char* kInvalidFilename = "An invalid data filename was entered.";
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
// line is read and dropped, and truncated is set. False at the end of the text with nothing read.
bool ReadLimitedLine(TextSource& text, std::string& line, size_t maxKept, bool& truncated) {
    line.clear();
    truncated = false;
    bool readAny = false;
    int c = 0;
    while ((c = text.Get()) != TextSource::kEnd) {
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

// The text of a regular file, for the readers above; an unopenable file counts as a read error.
class SettingsFileSource {
public:
    explicit SettingsFileSource(const std::string& path) {
        FileHandle file;
        opened_ = file.Open(path, "rb");
        source_.emplace(std::move(file));
    }
    bool Opened() const { return opened_; }
    TextSource& Text() { return *source_; }

private:
    bool opened_ = false;
    std::optional<FileTextSource> source_;
};

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

// The first range failure among the page's settings, in row order; empty when all pass.
std::string FirstRangeFailure(const StudySettings& settings, SettingsPage page) {
    for (const SettingDescriptor& setting : SettingsSchema()) {
        if (setting.page == page && !SettingInRange(setting, settings)) return RangeMessage(setting);
    }
    return std::string();
}

bool ShowFailure(const std::string& failure, Messenger& messenger) {
    if (failure.empty()) return true;
    messenger.Show(failure, MessageIcon::Information);
    return false;
}

}  // namespace

StudySettings::StudySettings() : namesFileName(kNamesFileName), settingsExtension(kSettingsExtension) {
    for (const SettingDescriptor& setting : SettingsSchema()) ResetSetting(setting, *this);
}

StudySettings::StudySettings(const StudySettings& other) = default;

StudySettings& StudySettings::operator=(const StudySettings& other) {
    if (this == &other) return *this;
    dataFileName = other.dataFileName;
    for (const SettingDescriptor& setting : SettingsSchema()) CopySetting(setting, other, *this);
    return *this;
}

namespace {

// The kind by extension alone: a name holding a NUL byte still has the kind its last characters
// give (the part after the last NUL holds them), though it names no study.
std::optional<DataKind> KindByExtension(const std::string& dataFileName) {
    const size_t nul = dataFileName.rfind('\0');
    const std::string_view tail = nul == std::string::npos ? std::string_view(dataFileName)
                                                           : std::string_view(dataFileName).substr(nul + 1);
    return StudyFiles::KindOf(tail);
}

}  // namespace

bool StudySettings::IsChoiceData() const { return KindByExtension(dataFileName) == DataKind::Choice; }

bool StudySettings::IsAllocationData() const { return KindByExtension(dataFileName) == DataKind::Allocation; }

bool StudySettings::NamesStudyDataFile() const { return StudyFiles::KindOf(dataFileName).has_value(); }

std::string StudySettings::StudyName() const {
    const std::optional<StudyFiles> files = StudyFiles::ForDataFile(dataFileName);
    return files ? files->Name() : std::string();
}

std::string StudySettings::StudyFolder() const {
    const std::optional<StudyFiles> files = StudyFiles::ForDataFile(dataFileName);
    return files ? files->Folder() : std::string();
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

bool StudySettings::LoadSettings(Messenger& messenger) {
    std::string namesPath = NamesFilePath();
    switch (InspectFile(namesPath)) {
        case FileState::Missing:
            break;  // the data file name keeps its value
        case FileState::Unreadable:
            ResetToDefaults();
            return true;
        case FileState::Regular: {
            SettingsFileSource file(namesPath);
            std::string line;
            if (!file.Opened() || !ReadNamesText(file.Text(), line)) {
                ResetToDefaults();
                return true;
            }
            dataFileName = line;
            break;
        }
    }
    return LoadForDataFileName(messenger);
}

bool StudySettings::LoadSettingsForDataFile(const std::string& path, Messenger& messenger) {
    dataFileName = path;
    return LoadForDataFileName(messenger);
}

bool StudySettings::LoadForDataFileName(Messenger& messenger) {
    dataFileName = Trim(dataFileName);
    if (dataFileName.empty()) return true;
    if (!NamesStudyDataFile()) {
        messenger.Show(kInvalidFilename, MessageIcon::Exclamation);
        ResetToDefaults();
        return false;
    }

    std::string settingsPath = SettingsFileName();
    FileState state = InspectFile(settingsPath);
    if (state == FileState::Missing) return true;  // a new study: the current values stay
    if (state == FileState::Unreadable) {
        ResetToDefaults();
        return true;
    }
    SettingsFileSource file(settingsPath);
    try {
        if (!file.Opened() || !ReadSettingsText(file.Text(), settingsPath)) ResetToDefaults();
    } catch (const NumberTooLargeError& error) {
        messenger.Show(error.what(), MessageIcon::Exclamation);
        for (const SettingDescriptor& setting : SettingsSchema()) ResetSetting(setting, *this);
        return false;
    }
    return true;
}

bool StudySettings::ReadNamesText(TextSource& text, std::string& dataFilePath) {
    bool truncated = false;
    ReadLimitedLine(text, dataFilePath, kMaxNamesLine, truncated);
    return !text.Failed() && !truncated;
}

bool StudySettings::ReadSettingsText(TextSource& text, const std::string& fileName) {
    std::string lines[kSettingCount];
    bool truncated = false;
    for (std::string& line : lines) {
        if (!ReadLimitedLine(text, line, kMaxSettingsLine, truncated)) break;
    }
    if (text.Failed()) return false;
    for (const SettingDescriptor& setting : SettingsSchema()) {
        if (setting.type == SettingType::Real) continue;
        const std::string_view beyond = LeadingIntBeyondRange(lines[static_cast<size_t>(setting.id)]);
        if (!beyond.empty()) throw NumberTooLargeError(fileName, beyond);
    }
    for (const SettingDescriptor& setting : SettingsSchema()) {
        ReadSetting(setting, lines[static_cast<size_t>(setting.id)], *this);
    }
    return true;
}

std::string StudySettings::SettingsText() const {
    StudySettings written(*this);
    for (const SettingDescriptor& setting : SettingsSchema()) {
        if (setting.oneForChoiceData && IsChoiceData()) written.*setting.realField = 1.0;
    }
    std::string text;
    for (const SettingDescriptor& setting : SettingsSchema()) text += FormatSetting(setting, written) + '\n';
    return text;
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
    return ReplaceFileContents(SettingsFileName(), SettingsText());
}

bool StudySettings::ValidateMainSettings(Messenger& messenger) const {
    if (!NamesStudyDataFile()) return ShowFailure(kInvalidDataFileMessage, messenger);
    return ShowFailure(FirstRangeFailure(*this, SettingsPage::Main), messenger);
}

bool StudySettings::ValidateAdvancedSettings(Messenger& messenger) const {
    std::string failure = FirstRangeFailure(*this, SettingsPage::Advanced);
    if (failure.empty() && smartStart && !effectsCoding) {
        failure = Format("'%s' cannot be used with '%s'.", Setting(SettingId::SmartStart).label,
                         Setting(SettingId::EffectsCoding).offHelp);
    }
    return ShowFailure(failure, messenger);
}

}  // namespace ombrel
