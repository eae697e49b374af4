#pragma once

// The two binary files of the build: the scratch file "tempfile", which holds one respondent's coded
// tasks between the builder's two passes, and the prepared data file "qebdat.tmp", the estimator's
// only source of respondent data. Both are little-endian int32 / IEEE float64, no header.
//
// Scratch record, one per kept task of the current respondent:
//   int32 n                concepts, None alternative included (1 .. 1000)
//   int32 K                coded columns, plus 1 when the data has a None alternative (0 .. 1000)
//   n times:  K float64    the concept's row (last column = None column when there is a None)
//             int32        the concept's answer
//
// Prepared data file, one block per written respondent, back to back:
//   int32 respondent number, int32 E (expanded tasks), then E blocks of
//   int32 R, int32 V, R times (V float64, int32 choice flag), float64 weight

#include <cstdint>
#include <string>
#include <vector>

#include "common/ByteStream.h"

namespace ombrel {

inline constexpr int32_t kMaxConceptsPerTask = 1000;
// Coded columns plus the None column.
inline constexpr int32_t kMaxVariablesPerRow = 1000;

// The two files in a study folder, as common/StudyFiles.h names them. studyFolder ends with its
// separator ("/data/study/"), as StudyFolder spells it.
std::string PreparedDataFileName(const std::string& studyFolder);
std::string ScratchFileName(const std::string& studyFolder);

// One kept task of a respondent: every concept's full row and its answer. The builder reuses one
// ScratchTask from task to task; Reset clears every row so no value of an earlier task survives.
class ScratchTask {
public:
    // Sizes the task for conceptCount concepts of codedColumnCount coded columns, plus the None
    // column when hasNone. Design values and answers become 0; the None column is 1.0 in the last
    // concept's row and 0.0 elsewhere. Throws OmbrelError outside the file's limits, or when a None
    // alternative is announced for a task with fewer than two concepts.
    void Reset(int32_t conceptCount, int32_t codedColumnCount, bool hasNone);

    int32_t ConceptCount() const { return conceptCount_; }
    // K: coded columns plus the None column.
    int32_t VariableCount() const { return variableCount_; }
    bool HasNoneColumn() const { return hasNone_; }

    // The K values of a concept (0-based).
    double* Row(int32_t conceptIndex) { return values_.data() + RowOffset(conceptIndex); }
    const double* Row(int32_t conceptIndex) const { return values_.data() + RowOffset(conceptIndex); }
    int32_t& Answer(int32_t conceptIndex) { return answers_[static_cast<size_t>(conceptIndex)]; }
    int32_t Answer(int32_t conceptIndex) const { return answers_[static_cast<size_t>(conceptIndex)]; }

    // Expanded tasks this task yields: one per concept with a nonzero answer. This is the count the
    // builder writes into the respondent header before the blocks.
    int32_t ExpandedTaskCount() const;
    // 1e-10 plus the answers, added concept by concept (the None's included). The weight of the
    // expanded task for concept c is Answer(c) / PointTotal() * totalTaskWeight, in that order.
    double PointTotal() const;

private:
    size_t RowOffset(int32_t conceptIndex) const {
        return static_cast<size_t>(conceptIndex) * static_cast<size_t>(variableCount_);
    }

    int32_t conceptCount_ = 0;
    int32_t variableCount_ = 0;
    bool hasNone_ = false;
    std::vector<double> values_;
    std::vector<int32_t> answers_;
};

// Writes the task's scratch record. Every write is checked; a failed one throws OmbrelError with
// "Couldn't write block size.", "Couldn't write # variables.", "Couldn't write row of data." (coded
// columns and answers) or "Couldn't write response." (the None column).
void WriteScratchTask(ByteSink& sink, const ScratchTask& task);

// Reads one scratch record back into task. hasNone is the respondent's None flag (the record itself
// does not carry it). A short read throws OmbrelError with "Couldn't read tempfile @ 1." (n),
// "Couldn't read tempfile @ 2." (K), "Couldn't read tempfile @ 3" (a column) or
// "Couldn't read tempfile @ 4." (an answer); counts outside the limits throw as well.
void ReadScratchTask(ByteSource& source, bool hasNone, ScratchTask& task);

// Writes respondent blocks into the prepared data file.
class PreparedDataWriter {
public:
    explicit PreparedDataWriter(ByteSink& sink) : sink_(sink) {}

    // Respondent number and expanded-task count; unchecked writes (a failure there shows when the
    // file is closed, see PreparedDataFile::Close).
    void WriteRespondentHeader(int32_t respondentNumber, int32_t expandedTaskCount);

    // Writes one expanded-task block per concept with a nonzero answer, in concept order, each with
    // the task's whole design. The None is dropped (last row and last column left out) when the
    // task has a None column and noneNotEstimated is set; an answer to the dropped None then gives a
    // block with no flagged row and weight 0.0. Checked writes throw OmbrelError with
    // "Couldn't write pellikdat.tmp @ 1." (R), "@ 2." (V), "@ 3." (a value), "@ 4." (a flag).
    void WriteExpandedTasks(const ScratchTask& task, bool noneNotEstimated, double totalTaskWeight);

private:
    ByteSink& sink_;
};

// The prepared data file on disk, created (truncated) on construction. A failed write anywhere,
// unchecked ones included, or a failed flush at the end makes Close throw, so a full disk is never
// reported as a finished build.
class PreparedDataFile : public ByteSink {
public:
    // Throws OmbrelError naming the file when it cannot be created.
    explicit PreparedDataFile(const std::string& studyFolder);
    // Closes without reporting: used only when the build has already failed.
    ~PreparedDataFile() override = default;

    bool Write(const void* data, size_t size) override;
    const std::string& Path() const { return path_; }
    // Flushes and closes; throws OmbrelError naming the file when anything written was lost.
    void Close();

private:
    std::string path_;
    FileByteStream file_;
    bool writeFailed_ = false;
};

// The scratch file, created empty on construction and removed on destruction. One stream serves
// both passes; Rewind switches between writing and reading back.
class ScratchFile {
public:
    // Throws OmbrelError naming the file when it cannot be created.
    explicit ScratchFile(const std::string& studyFolder);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Back to the first byte, before each respondent and before reading its tasks back. Writes
    // still buffered are flushed here; throws OmbrelError when that or the seek fails.
    void Rewind();
    ByteSink& Sink() { return file_; }
    ByteSource& Source() { return file_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    FileByteStream file_;
};

}  // namespace ombrel
