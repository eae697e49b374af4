#pragma once

#include <optional>
#include <string>

#include "common/StudyFiles.h"

namespace ombrel {

// The study whose files start with studyName: a data file path less its extension, as
// StudySettings::StudyName() gives it. Lets the readers that are handed the name alone find their
// files through StudyFiles. Nothing only for a name holding a NUL byte, which StudyName() never gives.
inline std::optional<StudyFiles> StudyOfName(const std::string& studyName) {
    // Either data file extension names the same study files.
    return StudyFiles::ForDataFile(studyName + kChoiceDataExtension);
}

}  // namespace ombrel
