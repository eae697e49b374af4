#pragma once

#include <string>
#include <vector>

#include "analysis/AnalysisStudy.h"
#include "common/StudyFiles.h"

namespace ombrel {

// The importance of one estimated attribute, in percent, over the respondents.
struct AttributeImportance {
    int attribute = 0;  // 1-based
    std::string label;
    double mean = 0.0;
    double sd = 0.0;  // sample standard deviation (n - 1); 0 for a single respondent
};

struct ImportanceResult {
    std::vector<AttributeImportance> attributes;  // estimated attributes in attribute order
    int respondentCount = 0;                      // respondents the means are taken over
    // Respondents left out because every range of theirs is zero (all part-worths equal).
    int zeroRangeRespondents = 0;
    // The interaction tables of the model ("label x label"), left out of the ranges.
    std::vector<std::string> interactionsLeftOut;
};

// Per respondent, an attribute's range is its highest minus its lowest level value (linear: the
// absolute coefficient times the range of its values); its importance is 100 times its range over
// the sum of the ranges of the estimated attributes. None and interactions are left out.
ImportanceResult ComputeImportances(const AnalysisStudy& study);
ImportanceResult ComputeImportances(const StudyFiles& study);

// The CSV: "attribute,label,mean,sd", then one row per attribute; four decimals, '.' as the point.
std::string ImportancesCsv(const ImportanceResult& result);
// The table the command prints, with notes on what was left out.
std::string ImportancesTable(const ImportanceResult& result);
// Writes the CSV to the study's importances file in one go; throws OmbrelError when it cannot.
void WriteImportances(const StudyFiles& study, const ImportanceResult& result);

// The mean and standard deviation over respondents of one value of the part-worth file.
struct LevelSummary {
    int attribute = 0;  // 1-based; 0 for the None row
    int level = 0;      // 1-based; 1 for a linear attribute and for None
    std::string label;  // the part-worth file's label of the value
    double mean = 0.0;
    double sd = 0.0;  // sample standard deviation (n - 1); 0 for a single respondent
};

// Every level of every estimated attribute (main effects), then None when the study has it.
std::vector<LevelSummary> SummarisePartWorths(const AnalysisStudy& study);

// Each respondent's number and root likelihood, from the part-worth file.
struct RespondentFit {
    int respondent = 0;
    double rlh = 0.0;  // 0 to 1
};
std::vector<RespondentFit> RespondentFits(const AnalysisStudy& study);

}  // namespace ombrel
