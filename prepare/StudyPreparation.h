#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "common/StudySettings.h"
#include "prepare/AttributeFile.h"
#include "prepare/EffectsMatrix.h"
#include "prepare/QualifierFile.h"
#include "prepare/TaskSubset.h"
#include "prepare/ValuesFile.h"

namespace ombrel {

// The local date and time, for the log header. Tests pass a fixed one.
using LocalTimeSource = std::function<std::tm()>;
std::tm CurrentLocalTime();

// The first line of every preparation report; the study report finds the preparation in the log by it.
inline constexpr const char* kPreparationHeading = "Preparing Files For HB Analysis";

// The dated header that goes into the study's log ahead of the report:
// "\n\n%I:%M:%S%p   %A, %B %d, %Y\n" and a rule of 53 "=", formatted in the "C" locale.
std::string FormatLogHeader(const std::tm& time);

// One preparation of a study: reads the study's input files, writes the prepared data file
// "qebdat.tmp" and the attribute label file "qebatt.tmp" into the study folder, and appends a dated
// copy of the report to the study's log. Created from the current settings for one run of Prepare,
// then read (report, NoneEstimated) and discarded.
class StudyPreparation {
public:
    explicit StudyPreparation(const StudySettings& studySettings, LocalTimeSource clock = CurrentLocalTime);

    // Runs every step in order. A failure throws OmbrelError with the user's message; what was
    // written before it stays (the prepared data file possibly in part, the label file and the log
    // possibly from an earlier run). The temporary allocation file of discrete-choice data is
    // removed in either case.
    void Prepare();

    // The None parameter is estimated: the data has a None alternative and the effects keep it.
    bool NoneEstimated() const { return !dropNone && noneFlag != 0; }

    StudySettings settings;  // a copy; for ".cho" data totalTaskWeight becomes 1.0 during Prepare
    std::string report;      // what the preparation found, shown to the user and logged
    LevelTexts levelTexts;   // per attribute its level texts
    std::vector<int32_t> levelCounts;
    LevelValues levelValues;  // per attribute one zero-centred value per level
    std::vector<std::string> valueTexts;
    EffectsMatrix effects;
    bool dropNone = false;
    int32_t noneFlag = 0;  // of the last respondent header of the data
    RespondentQualifiers qualifiers;
    TaskSubset taskSubset;

private:
    // Appends the dated report to the log file at path.
    void AppendToLog(const std::string& path);

    LocalTimeSource clock_;
};

}  // namespace ombrel
