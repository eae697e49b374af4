// Allocation data (".chs"), free-format numbers separated by any white space; line breaks carry no
// meaning. Respondent after respondent until the end of the file:
//
//   1001 2 3 2 1           respondent number, variable count (0 .. 100), attribute count (= N of the
//                          attribute file), task count (0 .. 1000), None flag (1: the last concept of
//                          every task is a None alternative)
//   4 7                    the respondent variables
//   3                      per task: the concept count n (1 .. 1000, the None included), then per
//   1 2 1 40               concept N numbers (level codes, or values of "#" attributes; reals) and
//   2 1 3 60               the concept's answer (0 .. 100 points)
//   0 0 0 0                (the None alternative's level codes are 0)
//
// Discrete-choice data is converted into this form before the build.

#include "prepare/PreparedDataBuilder.h"

#include <cmath>
#include <vector>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "common/TextNumberScanner.h"
#include "prepare/InputFile.h"

namespace ombrel {
namespace {

constexpr int32_t kMaxPoints = 100;
constexpr const char* kNoRespondents = "\n\nNo respondents were selected.  Review your selection criteria.";

struct RespondentHeader {
    int32_t respondentNumber = 0;
    int32_t variableCount = 0;
    int32_t attributeCount = 0;
    int32_t taskCount = 0;
    int32_t noneFlag = 0;
};

// All five items, or false; fields read before a failure keep their new values.
bool ReadRespondentHeader(TextNumberScanner& scanner, RespondentHeader& header) {
    return scanner.ReadInt(header.respondentNumber) && scanner.ReadInt(header.variableCount) &&
           scanner.ReadInt(header.attributeCount) && scanner.ReadInt(header.taskCount) &&
           scanner.ReadInt(header.noneFlag);
}

OmbrelError RespondentReadError(int32_t respondentNumber) {
    return OmbrelError(
        Format("An error was encountered while reading respondent #%d.  There may be an "
               "incomplete/corrupt data record in your data file or the number of attributes in "
               "your attribute file and data file may be inconsistent.",
               respondentNumber));
}

// The reading of one respondent record, its two passes over the scratch file included.
class RespondentPass {
public:
    RespondentPass(const BuildInputs& inputs, TextNumberScanner& scanner, ScratchFile& scratch,
                   PreparedDataWriter& writer, BuildCounters& counters)
        : inputs_(inputs), scanner_(scanner), scratch_(scratch), writer_(writer), counters_(counters) {
        const int64_t columns = inputs.coder->ColumnCount();
        // A model beyond the limit is refused by the coder when the first concept is coded.
        codedColumns_ = static_cast<int32_t>(columns < kMaxCodedColumns ? columns : kMaxCodedColumns);
    }

    void Run(const RespondentHeader& header);

private:
    // Reads the respondent variables; true when the respondent qualifies.
    bool ReadVariablesAndQualify(const RespondentHeader& header);
    // Reads one task into levels_ and answers_; returns its concept count.
    int32_t ReadTask(int32_t respondentNumber);
    // The nonzero answers of the task read; throws on an answer outside 0 .. 100 points.
    int32_t CountAnswers(int32_t respondentNumber, int32_t taskNumber);
    // Codes the task read into task_, answers included.
    void CodeTask(const RespondentHeader& header, int32_t taskNumber, int32_t conceptCount);
    // The second pass: the respondent's kept tasks from the scratch file into the prepared file.
    void WriteRespondent(const RespondentHeader& header, int32_t expandedTasks, int32_t keptTasks);

    const BuildInputs& inputs_;
    TextNumberScanner& scanner_;
    ScratchFile& scratch_;
    PreparedDataWriter& writer_;
    BuildCounters& counters_;
    int32_t codedColumns_ = 0;
    // Reused from task to task: the numbers and answers as read, and the coded task.
    std::vector<double> levels_;
    std::vector<int32_t> answers_;
    ScratchTask task_;
};

void RespondentPass::Run(const RespondentHeader& header) {
    const int32_t number = header.respondentNumber;
    const bool qualifies = ReadVariablesAndQualify(header);
    scratch_.Rewind();
    int32_t expandedTasks = 0;
    int32_t keptTasks = 0;
    for (int32_t t = 1; t <= header.taskCount; ++t) {
        const int32_t conceptCount = ReadTask(number);
        if (!qualifies || !inputs_.taskSubset->IsKept(t)) continue;

        if (conceptCount < header.noneFlag + 1) throw RespondentReadError(number);
        expandedTasks += CountAnswers(number, t);
        CodeTask(header, t, conceptCount);
        WriteScratchTask(scratch_.Sink(), task_);
        ++keptTasks;
    }
    if (!qualifies || expandedTasks == 0) return;
    WriteRespondent(header, expandedTasks, keptTasks);
}

bool RespondentPass::ReadVariablesAndQualify(const RespondentHeader& header) {
    RespondentVariables variables{};
    // A variable that cannot be read stays 0; a record cut short there fails at its first task's
    // concept count, and one without tasks ends the data at the next header.
    for (int32_t v = 0; v < header.variableCount; ++v) {
        if (!scanner_.ReadInt(variables[static_cast<size_t>(v)])) break;
    }
    return inputs_.qualifiers->count == 0 || header.variableCount == 0 ||
           Qualifies(*inputs_.qualifiers, variables);
}

int32_t RespondentPass::ReadTask(int32_t respondentNumber) {
    int32_t conceptCount = 0;
    if (!scanner_.ReadInt(conceptCount) || conceptCount < 1 || conceptCount > kMaxConceptsPerTask) {
        throw RespondentReadError(respondentNumber);
    }
    const size_t n = static_cast<size_t>(inputs_.attributeCount);
    const size_t concepts = static_cast<size_t>(conceptCount);
    levels_.assign(concepts * n, 0.0);
    answers_.assign(concepts, 0);
    for (size_t c = 0; c < concepts; ++c) {
        for (size_t a = 0; a < n; ++a) scanner_.ReadDouble(levels_[c * n + a]);
        if (!scanner_.ReadInt(answers_[c])) throw RespondentReadError(respondentNumber);
    }
    return conceptCount;
}

int32_t RespondentPass::CountAnswers(int32_t respondentNumber, int32_t taskNumber) {
    int32_t nonzero = 0;
    for (const int32_t answer : answers_) {
        if (answer > kMaxPoints) {
            throw OmbrelError(
                Format("An answer (%d) for respondent %d exceeds the maximum allowed points (%d).", answer,
                       respondentNumber, kMaxPoints));
        }
        if (answer < 0) {
            throw OmbrelError(
                Format("The data file %s holds a negative answer (%d) for respondent %d in task "
                       "%d.  Answers must lie between 0 and %d points.",
                       inputs_.dataFileName.c_str(), answer, respondentNumber, taskNumber, kMaxPoints));
        }
        if (answer != 0) ++nonzero;
    }
    counters_.expandedTasks += nonzero;
    return nonzero;
}

void RespondentPass::CodeTask(const RespondentHeader& header, int32_t taskNumber, int32_t conceptCount) {
    const size_t n = static_cast<size_t>(inputs_.attributeCount);
    const int32_t coded = conceptCount - header.noneFlag;
    task_.Reset(conceptCount, codedColumns_, header.noneFlag == 1);
    for (int32_t c = 0; c < coded; ++c) {
        const double* x = levels_.data() + static_cast<size_t>(c) * n;
        for (size_t a = 0; a < n; ++a) {
            if (!std::isfinite(x[a])) {
                throw OmbrelError(
                    Format("The data file %s holds a number that is not finite for "
                           "respondent %d in task %d.",
                           inputs_.dataFileName.c_str(), header.respondentNumber, taskNumber));
            }
        }
        inputs_.coder->CodeConcept(x, task_.Row(c));
    }
    for (int32_t c = 0; c < conceptCount; ++c) task_.Answer(c) = answers_[static_cast<size_t>(c)];
}

void RespondentPass::WriteRespondent(const RespondentHeader& header, int32_t expandedTasks,
                                     int32_t keptTasks) {
    ++counters_.respondentsWritten;
    writer_.WriteRespondentHeader(header.respondentNumber, expandedTasks);
    scratch_.Rewind();
    for (int32_t k = 0; k < keptTasks; ++k) {
        ReadScratchTask(scratch_.Source(), header.noneFlag == 1, task_);
        for (int32_t c = 0; c < task_.ConceptCount(); ++c) {
            counters_.positionSums[static_cast<size_t>(c)] += task_.Answer(c);
            counters_.grandSum += task_.Answer(c);
        }
        writer_.WriteExpandedTasks(task_, inputs_.dropNone, inputs_.totalTaskWeight);
    }
}

// Checks beyond the attribute count that a header must pass before its record is read. The record
// has room for 100 variables and 1000 tasks, and all respondents must agree on the None.
void CheckRespondentHeader(const BuildInputs& inputs, const RespondentHeader& header, int32_t firstNoneFlag,
                           bool isFirst) {
    const int32_t number = header.respondentNumber;
    const char* file = inputs.dataFileName.c_str();
    if (header.attributeCount != inputs.attributeCount) throw RespondentReadError(number);
    if (header.variableCount < 0 || header.variableCount > kMaxRespondentVariables) {
        throw OmbrelError(
            Format("Respondent %d in the data file %s has %d respondent variables; a respondent "
                   "can have from 0 to %d.",
                   number, file, header.variableCount, kMaxRespondentVariables));
    }
    if (header.taskCount < 0 || header.taskCount > kMaxTasks) {
        throw OmbrelError(
            Format("Respondent %d in the data file %s has %d tasks; a respondent can have from 0 "
                   "to %d.",
                   number, file, header.taskCount, kMaxTasks));
    }
    if (header.noneFlag != 0 && header.noneFlag != 1) {
        throw OmbrelError(
            Format("Respondent %d in the data file %s has a None flag of %d; it must be 0 (no None "
                   "alternative) or 1.",
                   number, file, header.noneFlag));
    }
    if (!isFirst && header.noneFlag != firstNoneFlag) {
        throw OmbrelError(
            Format("Respondent %d in the data file %s has a None flag of %d, but the respondents "
                   "before it have %d.  All respondents must agree on whether their tasks end with "
                   "a None alternative.",
                   number, file, header.noneFlag, firstNoneFlag));
    }
}

}  // namespace

BuildResult BuildPreparedData(const BuildInputs& inputs, TextSource& data, std::string& report) {
    PreparedDataFile prepared(inputs.studyFolder);
    ScratchFile scratch(inputs.studyFolder);
    PreparedDataWriter writer(prepared);
    TextNumberScanner scanner(data, inputs.dataFileName);
    BuildResult result;

    RespondentHeader header;
    if (ReadRespondentHeader(scanner, header)) {
        const int32_t firstNoneFlag = header.noneFlag;
        RespondentPass pass(inputs, scanner, scratch, writer, result.counters);
        bool isFirst = true;
        int32_t previousNumber = 0;
        for (;;) {
            CheckRespondentHeader(inputs, header, firstNoneFlag, isFirst);
            result.noneFlag = header.noneFlag;
            pass.Run(header);
            previousNumber = header.respondentNumber;
            isFirst = false;
            if (ReadRespondentHeader(scanner, header)) continue;
            // A header cut short by the end of the file ends the data; one cut short by text that is
            // no number would silently drop every respondent after it.
            if (!scanner.AtEnd()) {
                throw OmbrelError(
                    Format("The data file %s holds something that is not a respondent header after "
                           "respondent %d.",
                           inputs.dataFileName.c_str(), previousNumber));
            }
            break;
        }
    } else if (!scanner.AtEnd()) {
        throw OmbrelError(
            Format("The data file %s does not begin with a respondent header.", inputs.dataFileName.c_str()));
    }
    CheckReadError(data, inputs.dataFileName);
    prepared.Close();

    const BuildCounters& counters = result.counters;
    if (counters.respondentsWritten == 0) {
        report += kNoRespondents;
        return result;
    }
    const bool noneDropped = inputs.dropNone && result.noneFlag == 1;
    const int64_t parameterCount = inputs.coder->ColumnCount() + result.noneFlag - (noneDropped ? 1 : 0);
    const bool includingNone = result.noneFlag == 1 && !inputs.dropNone;
    report += FormatBuildSummary(counters, inputs.isChoiceData, parameterCount, includingNone,
                                 inputs.totalTaskWeight);
    return result;
}

std::string FormatBuildSummary(const BuildCounters& counters, bool isChoiceData, int64_t parameterCount,
                               bool includingNone, double totalTaskWeight) {
    std::string summary =
        Format("\n\nFiles built for %lld respondents.", static_cast<long long>(counters.respondentsWritten));
    summary += Format("\n\nTotal number of %s each response category:",
                      isChoiceData ? "choices in" : "points given");
    for (size_t p = 0; p < counters.positionSums.size(); ++p) {
        const double sum = counters.positionSums[p];
        if (sum == 0.0) continue;
        summary +=
            Format("\n\t%2d %6.0lf%8.2lf%%", static_cast<int>(p + 1), sum, sum / counters.grandSum * 100.0);
    }
    const double average =
        counters.respondentsWritten == 0
            ? 0.0
            : static_cast<double>(counters.expandedTasks) / static_cast<double>(counters.respondentsWritten);
    if (isChoiceData) {
        summary +=
            Format("\n\nThere are %lld choice tasks in total, or an average of %.1f tasks per respondent.",
                   static_cast<long long>(counters.expandedTasks), average);
    } else {
        summary += Format(
            "\n\nThere are %lld expanded choice tasks in total, or an average of %.1f expanded tasks "
            "per respondent.",
            static_cast<long long>(counters.expandedTasks), average);
    }
    summary += Format("\n\nThe number of parameters to be estimated is %lld, ",
                      static_cast<long long>(parameterCount));
    summary += includingNone ? "including 'none'." : "with no 'none'.";
    if (!isChoiceData) summary += Format("\n\nThe total weight per task is %.2lf.", totalTaskWeight);
    return summary;
}

}  // namespace ombrel
