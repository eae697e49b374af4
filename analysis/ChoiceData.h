#pragma once

// The respondents' answers as the analyses need them, from either data file; free-format numbers,
// per respondent: respondent number, variable count V, attribute count A, task count T, None flag
// (0 or 1), V respondent variables, then T tasks.
//   discrete choice (".cho"): concept count n and response count r, n rows of A numbers, 2r integers
//                             of which the first is the choice (0 none, n + 1 the None alternative)
//   allocation (".chs"):      row count n (the None row included), per row A numbers and its points
// Like the preparation, data that end inside a respondent's header end the data.

#include <string>
#include <vector>

#include "common/StudyFiles.h"
#include "common/TextSource.h"

namespace ombrel {

struct ChoiceTask {
    int number = 0;                             // 1-based within the respondent's record
    std::vector<std::vector<double>> concepts;  // the concepts' numbers, the None alternative not included
    // Discrete choice: 0 no choice, 1 .. concepts the chosen concept, concepts + 1 the None
    // alternative. Allocation data: 0.
    int choice = 0;
};

struct ChoiceRespondent {
    int respondent = 0;
    bool hasNone = false;
    std::vector<ChoiceTask> tasks;
};

// Reads every respondent. Throws OmbrelError naming path, the line and the respondent for a count
// out of range, an attribute count other than attributeCount, a record cut short, a number that
// cannot be read and a choice outside its task.
std::vector<ChoiceRespondent> ReadChoiceData(TextSource& source, const std::string& path, DataKind kind,
                                             int attributeCount);
// The study's data file; throws OmbrelError when it cannot be opened.
std::vector<ChoiceRespondent> ReadStudyData(const StudyFiles& study, int attributeCount);

}  // namespace ombrel
