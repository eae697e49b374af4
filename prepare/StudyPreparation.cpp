#include "prepare/StudyPreparation.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <locale>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "common/FileHandle.h"
#include "common/LogDate.h"
#include "common/OmbrelError.h"
#include "common/StudyFiles.h"
#include "common/TextConversion.h"
#include "prepare/AttributeLabelFile.h"
#include "prepare/Cho2ChsConverter.h"
#include "prepare/DesignCoder.h"
#include "prepare/EffectsFile.h"
#include "prepare/InputFile.h"
#include "prepare/PreparedDataBuilder.h"

namespace ombrel {
namespace {

constexpr const char* kNoDataFile = "No data file is available.";

// The allocation copy of discrete-choice data: "qeb" and six unique characters in the study folder,
// created empty, removed when the preparation ends, however it ends.
class TemporaryAllocationFile {
public:
    explicit TemporaryAllocationFile(const std::string& studyFolder) {
        std::string pattern = studyFolder + "qebXXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        const int descriptor = mkstemp(name.data());
        if (descriptor < 0) {
            throw OmbrelError(Format("Couldn't create a temporary file in the folder %s.",
                                     studyFolder.empty() ? "." : studyFolder.c_str()));
        }
        close(descriptor);
        path_ = name.data();
    }
    ~TemporaryAllocationFile() { std::remove(path_.c_str()); }
    TemporaryAllocationFile(const TemporaryAllocationFile&) = delete;
    TemporaryAllocationFile& operator=(const TemporaryAllocationFile&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

std::tm CurrentLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::string FormatLogHeader(const std::tm& time) {
    return "\n\n" + FormatLogDate(time) + "\n" + std::string(53, '=') + "\n";
}

StudyPreparation::StudyPreparation(const StudySettings& studySettings, LocalTimeSource clock)
    : settings(studySettings), clock_(std::move(clock)) {}

void StudyPreparation::Prepare() {
    report.clear();
    const std::string& dataFileName = settings.dataFileName;
    const std::optional<StudyFiles> files = StudyFiles::ForDataFile(dataFileName);
    if (!files) throw OmbrelError("An invalid data file was specified.");
    const bool isChoiceData = files->IsChoiceData();
    const std::string& studyFolder = files->Folder();
    report += std::string(kPreparationHeading) + "\nData file: " + dataFileName;

    ReadAttributeFile(*files, levelTexts);
    if (levelTexts.empty()) throw OmbrelError("No <studyname>.att file is available.");
    levelCounts.clear();
    for (const std::vector<std::string>& levels : levelTexts)
        levelCounts.push_back(static_cast<int32_t>(levels.size()));

    const ValuesFileResult values = ReadValuesFile(*files, levelCounts, levelValues, valueTexts);
    qualifiers = ReadQualifierFile(*files, report);
    taskSubset = ReadTaskSubsetFile(*files, report);
    ReadEffectsFile(*files, static_cast<int>(levelTexts.size()), values, report, effects, dropNone);

    // The builder reads allocation data only; discrete-choice data goes through a converted copy.
    std::unique_ptr<TemporaryAllocationFile> converted;
    std::string allocationPath = dataFileName;
    if (isChoiceData) {
        if (!OpenInputFile(dataFileName)) throw OmbrelError(kNoDataFile);
        converted = std::make_unique<TemporaryAllocationFile>(studyFolder);
        Cho2ChsConvert(dataFileName, converted->Path());
        allocationPath = converted->Path();
        settings.totalTaskWeight = 1.0;
    }
    {
        std::unique_ptr<TextSource> data = OpenInputText(allocationPath);
        if (!data) throw OmbrelError(kNoDataFile);

        noneFlag = 0;
        const DesignCoder coder(effects, levelCounts, levelValues, settings.effectsCoding);
        BuildInputs inputs;
        inputs.attributeCount = static_cast<int>(levelTexts.size());
        inputs.coder = &coder;
        inputs.qualifiers = &qualifiers;
        inputs.taskSubset = &taskSubset;
        inputs.dropNone = dropNone;
        inputs.totalTaskWeight = settings.totalTaskWeight;
        inputs.isChoiceData = isChoiceData;
        inputs.dataFileName = dataFileName;
        inputs.studyFolder = studyFolder;
        noneFlag = BuildPreparedData(inputs, *data, report).noneFlag;
    }

    WriteAttributeLabelFile(studyFolder, levelTexts, valueTexts, effects, NoneEstimated());
    AppendToLog(files->Log());
}

void StudyPreparation::AppendToLog(const std::string& path) {
    std::error_code error;
    // Appending to a FIFO would wait for a reader; a folder cannot be appended to.
    const bool usable =
        !std::filesystem::exists(path, error) || std::filesystem::is_regular_file(path, error);
    FileHandle log;
    if (!usable || !log.Open(path, "ab")) {
        throw OmbrelError(
            "The <studyname>.log file could not be opened.  Please check the file for read-only attributes "
            "and "
            "access restrictions.");
    }
    const std::string text = FormatLogHeader(clock_()) + report;
    const bool written = std::fwrite(text.data(), 1, text.size(), log.Get()) == text.size();
    const bool closed = log.Close();
    if (!written || !closed) {
        throw OmbrelError(
            Format("Couldn't finish writing the log file %s.  The disk may be full.", path.c_str()));
    }
}

}  // namespace ombrel
