#include "analysis/ChoiceData.h"

#include <memory>

#include "analysis/AnalysisText.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "prepare/InputFile.h"
#include "prepare/TaskSubset.h"

namespace ombrel {

namespace {

constexpr int kMaxConcepts = 1000;

class ChoiceDataReader {
public:
    ChoiceDataReader(TextSource& source, const std::string& path, DataKind kind, int attributeCount)
        : reader_(source, path), kind_(kind), attributeCount_(attributeCount) {}

    // The next respondent; false at the end of the data (also inside a header).
    bool Next(ChoiceRespondent& respondent);

private:
    bool ReadHeader(int32_t (&header)[5]);
    void ReadTask(ChoiceTask& task);
    void ReadRows(ChoiceTask& task, int rows, bool allocation);
    std::string What(const char* item) const {
        return Format("respondent %d, task %d: %s", respondent_, task_, item);
    }
    void Check(bool condition, const std::string& problem) {
        if (!condition) reader_.Fail(Format("respondent %d: %s", respondent_, problem.c_str()));
    }

    TokenReader reader_;
    DataKind kind_;
    int attributeCount_;
    int respondent_ = 0;
    int task_ = 0;
    bool hasNone_ = false;
};

bool ChoiceDataReader::ReadHeader(int32_t (&header)[5]) {
    std::string token;
    for (int32_t& field : header) {
        if (!reader_.Next(token)) return false;
        if (!ParseInt(token, field)) {
            reader_.Fail(
                Format("a respondent's header should hold whole numbers, not \"%s\"", token.c_str()));
        }
    }
    return true;
}

bool ChoiceDataReader::Next(ChoiceRespondent& respondent) {
    int32_t header[5] = {0, 0, 0, 0, 0};
    if (!ReadHeader(header)) return false;
    respondent_ = header[0];
    task_ = 0;
    Check(header[1] >= 0, Format("the variable count is %d", header[1]));
    Check(header[2] == attributeCount_,
          Format("the record has %d attributes, but the attribute file has %d", header[2], attributeCount_));
    Check(header[3] >= 0 && header[3] <= kMaxTasks,
          Format("the task count is %d; it must lie between 0 and %d", header[3], kMaxTasks));
    Check(header[4] == 0 || header[4] == 1, Format("the None flag is %d; it must be 0 or 1", header[4]));
    respondent.respondent = respondent_;
    respondent.hasNone = header[4] == 1;
    hasNone_ = respondent.hasNone;
    respondent.tasks.clear();
    for (int32_t v = 0; v < header[1]; ++v)
        reader_.NextInt(Format("respondent %d: a respondent variable", respondent_));
    for (task_ = 1; task_ <= header[3]; ++task_) {
        ChoiceTask task;
        task.number = task_;
        ReadTask(task);
        respondent.tasks.push_back(std::move(task));
    }
    return true;
}

void ChoiceDataReader::ReadTask(ChoiceTask& task) {
    const int32_t rows = reader_.NextInt(What("the concept count"));
    Check(rows >= 1 && rows <= kMaxConcepts,
          Format("task %d has %d concepts; it must have 1 to %d", task_, rows, kMaxConcepts));
    if (kind_ == DataKind::Allocation) {
        Check(rows >= (hasNone_ ? 2 : 1), Format("task %d has no row besides its None alternative", task_));
        ReadRows(task, rows, true);
        return;
    }
    const int32_t responses = reader_.NextInt(What("the response count"));
    Check(responses >= 1 && responses <= rows,
          Format("task %d has %d responses; it must have 1 to its %d concepts", task_, responses, rows));
    ReadRows(task, rows, false);
    const int32_t choice = reader_.NextInt(What("the choice"));
    const int32_t highest = rows + (hasNone_ ? 1 : 0);
    Check(choice >= 0 && choice <= highest,
          Format("task %d chooses concept %d; it has %d (0: no choice)", task_, choice, highest));
    task.choice = choice;
    for (int32_t k = 1; k < 2 * responses; ++k) reader_.NextInt(What("an answer"));
}

void ChoiceDataReader::ReadRows(ChoiceTask& task, int rows, bool allocation) {
    // An allocation task's last row is its None alternative, which holds no concept.
    const int concepts = allocation && hasNone_ ? rows - 1 : rows;
    for (int row = 0; row < rows; ++row) {
        std::vector<double> numbers(static_cast<size_t>(attributeCount_));
        for (double& number : numbers) number = reader_.NextDouble(What("a concept's number"));
        if (allocation) reader_.NextInt(What("a row's points"));
        if (row < concepts) task.concepts.push_back(std::move(numbers));
    }
}

}  // namespace

std::vector<ChoiceRespondent> ReadChoiceData(TextSource& source, const std::string& path, DataKind kind,
                                             int attributeCount) {
    ChoiceDataReader reader(source, path, kind, attributeCount);
    std::vector<ChoiceRespondent> respondents;
    ChoiceRespondent respondent;
    while (reader.Next(respondent)) respondents.push_back(std::move(respondent));
    return respondents;
}

std::vector<ChoiceRespondent> ReadStudyData(const StudyFiles& study, int attributeCount) {
    std::unique_ptr<TextSource> text = OpenInputText(study.DataFile());
    if (!text) throw OmbrelError(Format("The data file %s could not be opened.", study.DataFile().c_str()));
    return ReadChoiceData(*text, study.DataFile(), study.Kind(), attributeCount);
}

}  // namespace ombrel
