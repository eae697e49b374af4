#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/TextSource.h"
#include "prepare/DesignCoder.h"
#include "prepare/PreparedDataFile.h"
#include "prepare/QualifierFile.h"
#include "prepare/TaskSubset.h"

namespace ombrel {

// What the build needs of the preparation. References must outlive the build.
struct BuildInputs {
    int attributeCount = 0;  // N of the attribute file; every respondent header must agree
    const DesignCoder* coder = nullptr;
    const RespondentQualifiers* qualifiers = nullptr;
    const TaskSubset* taskSubset = nullptr;
    bool dropNone = false;         // the effects file leaves the None parameter out
    double totalTaskWeight = 1.0;  // 1.0 for discrete-choice data
    bool isChoiceData = false;     // from the study's data file name, not the file read
    std::string dataFileName;      // the study's data file, named in messages
    std::string studyFolder;       // where "qebdat.tmp" and the scratch file go
};

// The counters of a build, kept across all respondents.
struct BuildCounters {
    int64_t respondentsWritten = 0;
    int64_t expandedTasks = 0;
    // Answers summed per concept position 1 .. 1000 (index 0 is position 1), and over all of them.
    std::array<double, kMaxConceptsPerTask> positionSums{};
    double grandSum = 0.0;
};

struct BuildResult {
    int32_t noneFlag = 0;  // of the last complete respondent header read
    BuildCounters counters;
};

// Reads allocation data from data (from its current position to its end) and writes the prepared data file
// and the scratch file into the study folder; appends the data summary, or the note that no respondent was
// selected, to report. Throws OmbrelError with the user's message on bad data or a failed write;
// the prepared data file then stays as far as it was written, the scratch file is removed.
BuildResult BuildPreparedData(const BuildInputs& inputs, TextSource& data, std::string& report);

// The summary the build appends when respondents were written. parameterCount is V of a prepared
// row; includingNone says that it counts an estimated None.
std::string FormatBuildSummary(const BuildCounters& counters, bool isChoiceData, int64_t parameterCount,
                               bool includingNone, double totalTaskWeight);

}  // namespace ombrel
