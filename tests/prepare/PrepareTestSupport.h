#pragma once

#include <string>

#include "common/StudyFiles.h"

namespace ombrel::test {

// The files of the allocation study whose data file is studyName + ".chs", for the readers that
// take a study: its input files are studyName + ".att", ".eff" and so on.
inline StudyFiles StudyOf(const std::string& studyName) {
    return StudyFiles::ForDataFile(studyName + kAllocationDataExtension).value();
}

}  // namespace ombrel::test
