#include "common/StudyFiles.h"

#include <string>

#include "common/TextConversion.h"

namespace ombrel {

std::optional<DataKind> StudyFiles::KindOf(std::string_view dataFilePath) {
    if (dataFilePath.find('\0') != std::string_view::npos) return std::nullopt;
    if (EndsWithNoCase(dataFilePath, kChoiceDataExtension)) return DataKind::Choice;
    if (EndsWithNoCase(dataFilePath, kAllocationDataExtension)) return DataKind::Allocation;
    return std::nullopt;
}

std::optional<StudyFiles> StudyFiles::ForDataFile(const std::string& dataFilePath) {
    const std::optional<DataKind> kind = KindOf(dataFilePath);
    if (!kind) return std::nullopt;
    return StudyFiles(dataFilePath, *kind);
}

StudyFiles::StudyFiles(std::string dataFile, DataKind kind) : dataFile_(std::move(dataFile)), kind_(kind) {
    // Both extensions have four characters.
    name_ = dataFile_.substr(0, dataFile_.size() - 4);
    const size_t separator = dataFile_.rfind('/');
    if (separator != std::string::npos) folder_ = dataFile_.substr(0, separator + 1);
}

std::string StudyFiles::BaseName() const { return name_.substr(folder_.size()); }

std::string StudyFiles::ChainFolder(int chain) const {
    return name_ + "_chain" + std::to_string(chain) + "/";
}

StudyFiles StudyFiles::ForChain(int chain) const {
    return StudyFiles(ChainFolder(chain) + BaseName() + dataFile_.substr(name_.size()), kind_);
}

std::string ResumeFileOf(const std::string& restartFile) {
    const std::string extension = kRestartExtension;
    const bool ends =
        restartFile.size() >= extension.size() &&
        restartFile.compare(restartFile.size() - extension.size(), extension.size(), extension) == 0;
    return (ends ? restartFile.substr(0, restartFile.size() - extension.size()) : restartFile) +
           kResumeExtension;
}

}  // namespace ombrel
