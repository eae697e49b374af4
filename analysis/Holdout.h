#pragma once

#include <string>
#include <vector>

#include "analysis/AnalysisStudy.h"
#include "common/StudyFiles.h"

namespace ombrel {

// How well the part-worths predict the tasks the task subset left out of the estimation.
struct HoldoutTaskResult {
    int task = 0;         // the task number; 0 for the row of all holdout tasks
    int respondents = 0;  // respondents who made a choice in the task (for "all": task x respondent pairs)
    // Percent of respondents whose highest-utility alternative (None included) is the one chosen (in
    // allocation data, the one given the most points). With k alternatives tied for the highest
    // utility and m for the choice, each alternative in both counts 1/(k m). For "all": over every pair.
    double hitRate = 0.0;
    // Mean absolute difference in percentage points, over the task's alternatives (concept positions
    // and None), between the predicted shares of preference and the observed choice shares (in
    // allocation data, the shares of the points). For "all": the mean over the holdout tasks that
    // someone answered.
    double shareMae = 0.0;
};

struct HoldoutResult {
    // True without a subset file, or when the subset keeps every task of the data: then there is
    // nothing else, and nothingReason says why.
    bool nothingToHoldOut = false;
    std::string nothingReason;
    std::vector<HoldoutTaskResult> tasks;  // holdout task numbers in increasing order
    HoldoutTaskResult all;
    // Respondents of the data file without part-worths (left out by the qualifiers or without any
    // answer in the estimation tasks); they are not scored.
    int respondentsWithoutPartWorths = 0;
    // Answers that went to a None alternative of the data in a study that did not estimate None:
    // there is no None utility to predict them with, so they are not scored.
    int noneAnswersNotScored = 0;
};

// The holdout tasks of a study: every task number of the data that the subset file does not keep.
// Tasks a respondent did not answer (no choice, no points) are skipped. Throws OmbrelError naming the
// file, and the respondent or line, for damaged files, for a part-worth respondent missing from the
// data, and for a linear level code that the design coding would refuse.
HoldoutResult ComputeHoldout(const StudyFiles& study);
// The same over a study already loaded.
HoldoutResult ComputeHoldout(const StudyFiles& study, const AnalysisStudy& loaded);

// The CSV: "task,hit_rate,share_mae,respondents", one row per holdout task, then "all"; four
// decimals, '.' as the point. A task nobody answered shows NA.
std::string HoldoutCsv(const HoldoutResult& result);
// The table the command prints (or the sentence that there is nothing to hold out).
std::string HoldoutTable(const HoldoutResult& result);
// Writes the CSV to the study's holdout file in one go; throws OmbrelError when it cannot.
void WriteHoldout(const StudyFiles& study, const HoldoutResult& result);

}  // namespace ombrel
