#pragma once

// The respondents' answers as the analyses need them, from either data file; free-format numbers,
// per respondent: respondent number, variable count V, attribute count A, task count T, None flag
// (0 or 1), V respondent variables, then T tasks.
//   discrete choice (".cho"): concept count n and response count r, n rows of A numbers, 2r integers
//                             of which the first is the choice (0 none, n + 1 the None alternative)
//   allocation (".chs"):      row count n (the None row included), per row A numbers and its points
// Like the preparation, data that end inside a respondent's header end the data.

#include <memory>
#include <string>
#include <vector>

#include "analysis/AnalysisText.h"
#include "common/StudyFiles.h"
#include "common/TextSource.h"

namespace ombrel {

struct ChoiceTask {
    int number = 0;                             // 1-based within the respondent's record
    std::vector<std::vector<double>> concepts;  // the concepts' numbers, the None alternative not included
    // Per alternative (the concepts, then None when the respondent has it), what it received: the
    // points of allocation data; 1 for the chosen alternative and 0 for the others in discrete
    // choice, all 0 when no choice was made.
    std::vector<double> answers;
};

struct ChoiceRespondent {
    int respondent = 0;
    bool hasNone = false;
    std::vector<ChoiceTask> tasks;
};

// One respondent at a time, so that a large data file never sits in memory whole.
class ChoiceDataReader {
public:
    // The source stays owned by the caller; path names the file in messages.
    ChoiceDataReader(TextSource& source, const std::string& path, DataKind kind, int attributeCount);

    // The next respondent; false at the end of the data (also inside a header). Throws OmbrelError
    // naming the file, the line and the respondent for a count out of range, an attribute count
    // other than attributeCount, a record cut short, a number that cannot be read, a choice outside
    // its task and points outside 0 to 100.
    bool Next(ChoiceRespondent& respondent);

private:
    bool ReadHeader(int32_t (&header)[5]);
    void ReadTask(ChoiceTask& task);
    void ReadRows(ChoiceTask& task, int rows);
    std::string What(const char* item) const;
    void Check(bool condition, const std::string& problem) const;

    TokenReader reader_;
    DataKind kind_;
    int attributeCount_;
    int respondent_ = 0;
    int task_ = 0;
    bool hasNone_ = false;
};

// The study's data file opened for reading; throws OmbrelError when it cannot be opened.
std::unique_ptr<TextSource> OpenStudyData(const StudyFiles& study);

// Every respondent at once (small data, tests).
std::vector<ChoiceRespondent> ReadChoiceData(TextSource& source, const std::string& path, DataKind kind,
                                             int attributeCount);

}  // namespace ombrel
