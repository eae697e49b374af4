#include "analysis/ChoiceData.h"

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "prepare/InputFile.h"
#include "prepare/TaskSubset.h"

namespace ombrel {

namespace {

constexpr int kMaxConcepts = 1000;
constexpr int kMaxPoints = 100;

}  // namespace

ChoiceDataReader::ChoiceDataReader(TextSource& source, const std::string& path, DataKind kind,
                                   int attributeCount)
    : reader_(source, path), kind_(kind), attributeCount_(attributeCount) {}

std::string ChoiceDataReader::What(const char* item) const {
    return Format("respondent %d, task %d: %s", respondent_, task_, item);
}

void ChoiceDataReader::Check(bool condition, const std::string& problem) const {
    if (!condition) reader_.Fail(Format("respondent %d: %s", respondent_, problem.c_str()));
}

bool ChoiceDataReader::ReadHeader(int32_t (&header)[5]) {
    std::string token;
    for (int32_t& field : header) {
        if (!reader_.Next(token)) return false;
        if (!reader_.ParseFileInt(token, field)) {
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
        ReadRows(task, rows);
        return;
    }
    const int32_t responses = reader_.NextInt(What("the response count"));
    Check(responses >= 1 && responses <= rows,
          Format("task %d has %d responses; it must have 1 to its %d concepts", task_, responses, rows));
    ReadRows(task, rows);
    const int32_t choice = reader_.NextInt(What("the choice"));
    const int32_t highest = rows + (hasNone_ ? 1 : 0);
    Check(choice >= 0 && choice <= highest,
          Format("task %d chooses concept %d; it has %d (0: no choice)", task_, choice, highest));
    task.answers.assign(static_cast<size_t>(highest), 0.0);
    if (choice > 0) task.answers[static_cast<size_t>(choice - 1)] = 1.0;
    for (int32_t k = 1; k < 2 * responses; ++k) reader_.NextInt(What("an answer"));
}

// Discrete choice: the concepts. Allocation: every row with its points, the last row being the None
// alternative when the respondent has one (its numbers hold no concept).
void ChoiceDataReader::ReadRows(ChoiceTask& task, int rows) {
    const bool allocation = kind_ == DataKind::Allocation;
    const int concepts = allocation && hasNone_ ? rows - 1 : rows;
    for (int row = 0; row < rows; ++row) {
        std::vector<double> numbers(static_cast<size_t>(attributeCount_));
        for (double& number : numbers) number = reader_.NextDouble(What("a concept's number"));
        if (allocation) {
            const int32_t points = reader_.NextInt(What("a row's points"));
            Check(points >= 0 && points <= kMaxPoints,
                  Format("task %d gives %d points to a row; the points must lie between 0 and %d", task_,
                         points, kMaxPoints));
            task.answers.push_back(points);
        }
        if (row < concepts) task.concepts.push_back(std::move(numbers));
    }
}

std::unique_ptr<TextSource> OpenStudyData(const StudyFiles& study) {
    std::unique_ptr<TextSource> text = OpenInputText(study.DataFile());
    if (!text) throw OmbrelError(Format("The data file %s could not be opened.", study.DataFile().c_str()));
    return text;
}

std::vector<ChoiceRespondent> ReadChoiceData(TextSource& source, const std::string& path, DataKind kind,
                                             int attributeCount) {
    ChoiceDataReader reader(source, path, kind, attributeCount);
    std::vector<ChoiceRespondent> respondents;
    ChoiceRespondent respondent;
    while (reader.Next(respondent)) respondents.push_back(std::move(respondent));
    return respondents;
}

}  // namespace ombrel
