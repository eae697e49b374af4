#include "estimator/files/PreparedData.h"

#include <cmath>
#include <cstring>

#include "common/OmbrelError.h"
#include "common/StudyFiles.h"
#include "common/TextConversion.h"

namespace ombrel {

std::string VariableCountMessage(int32_t respondentNumber, int32_t parameterCount, int32_t variableCount) {
    return Format(
        "For respondent %d, the restart file has a different number of variables (%d) than you have "
        "specified for this run (%d).  You must either delete the <studyname>.res file, or change the "
        "<studyname>.eff file.",
        respondentNumber, parameterCount, variableCount);
}

namespace {

constexpr uint64_t kExponentBits = 0x7FF0000000000000;
constexpr uint64_t kExponentUnit = uint64_t{1} << 52;

// Branch-free over the bits, so that the check costs little next to the copy of the values in the
// streamed pass: an exponent of all ones (an infinity or a NaN) plus one exponent unit carries into
// the sign bit, which the mask cleared, and no other exponent does. Only additions and ORs of 64-bit
// words, which the baseline x86-64 vector instructions have.
bool AllFinite(const double* values, size_t count) {
    uint64_t carries = 0;
    for (size_t i = 0; i < count; ++i) {
        uint64_t bits = 0;
        std::memcpy(&bits, values + i, sizeof bits);
        carries |= (bits & kExponentBits) + kExponentUnit;
    }
    return (carries >> 63) == 0;
}

[[noreturn]] void ThrowDamaged(int32_t respondentNumber, const std::string& problem) {
    throw OmbrelError(Format("The %s file is damaged: respondent %d %s.", kPreparedDataFileName,
                             respondentNumber, problem.c_str()));
}

}  // namespace

void CheckTaskCount(int32_t respondentNumber, int32_t taskCount) {
    if (taskCount < 0)
        ThrowDamaged(respondentNumber, Format("has a negative expanded-task count (%d)", taskCount));
}

void CheckTaskShape(int32_t respondentNumber, int32_t alternatives, int32_t variables) {
    if (alternatives < 1 || alternatives > kMaxAlternatives) {
        ThrowDamaged(respondentNumber,
                     Format("has an expanded task with %d alternatives (1 to %d are possible)", alternatives,
                            kMaxAlternatives));
    }
    if (variables < 0 || variables > kMaxRowValues) {
        ThrowDamaged(respondentNumber,
                     Format("has an expanded task with %d values per row (0 to %d are possible)", variables,
                            kMaxRowValues));
    }
}

void CheckRowValues(int32_t respondentNumber, const double* values, size_t count) {
    if (!AllFinite(values, count))
        ThrowDamaged(respondentNumber, "has a design value that is not a finite number");
}

void CheckWeight(int32_t respondentNumber, double weight) {
    if (!std::isfinite(weight)) ThrowDamaged(respondentNumber, "has a weight that is not a finite number");
}

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
    CheckTaskCount(number, taskCount);

    // Tasks are added one at a time as they are read, so a huge E in a short file costs nothing.
    for (int32_t t = 0; t < taskCount; ++t) {
        if (respondent.tasks_.size() == static_cast<size_t>(t)) respondent.tasks_.emplace_back();
        ExpandedTask& task = respondent.tasks_[static_cast<size_t>(t)];

        int32_t alternatives = 0;
        int32_t variables = 0;
        if (!ReadInt32(source, alternatives) || !ReadInt32(source, variables))
            return RecordOutcome::PrematureEnd;
        CheckTaskShape(number, alternatives, variables);
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
            CheckRowValues(number, row, rowLength);
        }
        if (!ReadFloat64(source, task.weight)) return RecordOutcome::PrematureEnd;
        CheckWeight(number, task.weight);
        respondent.taskCount_ = static_cast<size_t>(t) + 1;
    }
    return RecordOutcome::Read;
}

void RequireVariableCount(const RespondentData& respondent, int32_t parameterCount) {
    for (const ExpandedTask& task : respondent.Tasks()) {
        if (task.variableCount != parameterCount) {
            throw OmbrelError(
                VariableCountMessage(respondent.RespondentNumber(), parameterCount, task.variableCount));
        }
    }
}

}  // namespace ombrel
