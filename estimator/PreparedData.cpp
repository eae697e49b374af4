#include "estimator/PreparedData.h"

#include <cmath>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel {

std::string VariableCountMessage(int32_t respondentNumber, int32_t parameterCount, int32_t variableCount) {
    return Format("For respondent %d, the restart file has a different number of variables (%d) than you have "
                  "specified for this run (%d).  You must either delete the <studyname>.res file, or change the "
                  "<studyname>.eff file.",
                  respondentNumber, parameterCount, variableCount);
}

namespace {

bool AllFinite(const double* values, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (!std::isfinite(values[i])) return false;
    }
    return true;
}

[[noreturn]] void ThrowDamaged(int32_t respondentNumber, const std::string& problem) {
    throw OmbrelError(Format("The %s file is damaged: respondent %d %s.", kPreparedDataFileName, respondentNumber,
                             problem.c_str()));
}

}  // namespace

RecordOutcome ReadRespondentRecord(ByteSource& source, RespondentData& respondent) {
    respondent.taskCount_ = 0;

    // Nothing at all where a block would begin is the normal end; a partial number is a cut block.
    unsigned char numberBytes[4];
    const size_t got = source.Read(numberBytes, sizeof numberBytes);
    if (got == 0) return RecordOutcome::EndOfData;
    if (got != sizeof numberBytes) return RecordOutcome::PrematureEnd;
    const int32_t number = DecodeInt32(numberBytes);
    respondent.respondentNumber_ = number;

    int32_t taskCount = 0;
    if (!ReadInt32(source, taskCount)) return RecordOutcome::PrematureEnd;
    if (taskCount < 0) ThrowDamaged(number, Format("has a negative expanded-task count (%d)", taskCount));

    // Tasks are added one at a time as they are read, so a huge E in a short file costs nothing.
    for (int32_t t = 0; t < taskCount; ++t) {
        if (respondent.tasks_.size() == static_cast<size_t>(t)) respondent.tasks_.emplace_back();
        ExpandedTask& task = respondent.tasks_[static_cast<size_t>(t)];

        int32_t alternatives = 0;
        int32_t variables = 0;
        if (!ReadInt32(source, alternatives) || !ReadInt32(source, variables)) return RecordOutcome::PrematureEnd;
        if (alternatives < 1 || alternatives > kMaxAlternatives) {
            ThrowDamaged(number, Format("has an expanded task with %d alternatives (1 to %d are possible)",
                                        alternatives, kMaxAlternatives));
        }
        if (variables < 0 || variables > kMaxRowValues) {
            ThrowDamaged(number, Format("has an expanded task with %d values per row (0 to %d are possible)",
                                        variables, kMaxRowValues));
        }
        task.alternativeCount = alternatives;
        task.variableCount = variables;
        // resize keeps the capacity reached by earlier blocks.
        const size_t rowLength = static_cast<size_t>(variables);
        task.rows.resize(static_cast<size_t>(alternatives) * rowLength);
        task.chosen.resize(static_cast<size_t>(alternatives));

        for (int32_t r = 0; r < alternatives; ++r) {
            double* row = task.rows.data() + static_cast<size_t>(r) * rowLength;
            if (!ReadFloat64Run(source, row, rowLength)) return RecordOutcome::PrematureEnd;
            if (!ReadInt32(source, task.chosen[static_cast<size_t>(r)])) return RecordOutcome::PrematureEnd;
            if (!AllFinite(row, rowLength)) ThrowDamaged(number, "has a design value that is not a finite number");
        }
        if (!ReadFloat64(source, task.weight)) return RecordOutcome::PrematureEnd;
        if (!std::isfinite(task.weight)) ThrowDamaged(number, "has a weight that is not a finite number");
        respondent.taskCount_ = static_cast<size_t>(t) + 1;
    }
    return RecordOutcome::Read;
}

void RequireVariableCount(const RespondentData& respondent, int32_t parameterCount) {
    for (const ExpandedTask& task : respondent.Tasks()) {
        if (task.variableCount != parameterCount) {
            throw OmbrelError(VariableCountMessage(respondent.RespondentNumber(), parameterCount, task.variableCount));
        }
    }
}

}  // namespace ombrel
