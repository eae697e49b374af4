#pragma once

// The estimator's side of the prepared data file "qebdat.tmp": one respondent block at a time.
//
// Bytes of one respondent block (little-endian, no padding; blocks follow each other to the end):
//   int32 respondent number
//   int32 E                       expanded tasks that follow
//   E times:
//     int32 R                     alternatives (1 .. 1000)
//     int32 V                     values per row (0 .. 1000; must equal parameterCount)
//     R times: V float64, int32 chosen flag
//     float64 weight

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/ByteStream.h"
#include "common/StudyFiles.h"

namespace ombrel {

inline constexpr int32_t kMaxAlternatives = 1000;
inline constexpr int32_t kMaxRowValues = 1000;

// Shown when the file ends inside a respondent block.
inline constexpr const char* kPrematureEndMessage = "The end of the qebdat.tmp file was reached prematurely.";

// The respondent pass's message for an expanded task whose V differs from parameterCount.
std::string VariableCountMessage(int32_t respondentNumber, int32_t parameterCount, int32_t variableCount);

enum class RecordOutcome {
    Read,          // a whole block was read
    EndOfData,     // the file ended where the next block would begin
    PrematureEnd,  // the file ended inside a block (kPrematureEndMessage)
};

// One task paired with the concept it stands for. rows holds R rows of V values, row after row.
struct ExpandedTask {
    int32_t alternativeCount = 0;
    int32_t variableCount = 0;
    std::vector<double> rows;
    std::vector<int32_t> chosen;
    double weight = 0.0;

    const double* Row(int32_t alternative) const {
        return rows.data() + static_cast<size_t>(alternative) * static_cast<size_t>(variableCount);
    }
};

// One respondent block. Kept by the caller from one read to the next: the storage of its tasks is
// reused, so reading the file block after block allocates only while capacities still grow.
class RespondentData {
public:
    int32_t RespondentNumber() const { return respondentNumber_; }
    std::span<const ExpandedTask> Tasks() const { return {tasks_.data(), taskCount_}; }

private:
    friend RecordOutcome ReadRespondentRecord(ByteSource&, RespondentData&);

    int32_t respondentNumber_ = 0;
    // tasks_ never shrinks; only the first taskCount_ entries belong to the current block.
    std::vector<ExpandedTask> tasks_;
    size_t taskCount_ = 0;
};

// Reads the next respondent block, field by field in file order, each row's values in one read.
// A block whose counts are outside the estimator's capacities (R outside 1 .. 1000, V outside
// 0 .. 1000, E negative) or that holds a value or weight that is not a finite number throws
// OmbrelError naming qebdat.tmp and the respondent.
RecordOutcome ReadRespondentRecord(ByteSource& source, RespondentData& respondent);

// The capacity and value checks of ReadRespondentRecord, shared by every reader of respondent blocks
// so that a damaged file gets the same message whichever way it is read. Each throws OmbrelError
// naming qebdat.tmp and the respondent.
void CheckTaskCount(int32_t respondentNumber, int32_t taskCount);
void CheckTaskShape(int32_t respondentNumber, int32_t alternatives, int32_t variables);
void CheckRowValues(int32_t respondentNumber, const double* values, size_t count);
void CheckWeight(int32_t respondentNumber, double weight);

// Throws OmbrelError with VariableCountMessage when an expanded task of the block has V other than
// parameterCount.
void RequireVariableCount(const RespondentData& respondent, int32_t parameterCount);

}  // namespace ombrel
