#include "prepare/PreparedDataFile.h"

#include <algorithm>
#include <cstdio>

#include "common/OmbrelError.h"
#include "common/StudyFiles.h"
#include "common/TextConversion.h"

namespace ombrel {

namespace {

void Require(bool written, const char* message) {
    if (!written) throw OmbrelError(message);
}

}  // namespace

std::string PreparedDataFileName(const std::string& studyFolder) { return PreparedDataPath(studyFolder); }

std::string ScratchFileName(const std::string& studyFolder) {
    return studyFolder + kPreparationScratchFileName;
}

void ScratchTask::Reset(int32_t conceptCount, int32_t codedColumnCount, bool hasNone) {
    const int32_t variableCount = codedColumnCount + (hasNone ? 1 : 0);
    if (conceptCount < 1 || conceptCount > kMaxConceptsPerTask) {
        throw OmbrelError(Format("A task with %d concepts is outside the 1 to %d concepts a task can have.",
                                 conceptCount, kMaxConceptsPerTask));
    }
    if (codedColumnCount < 0 || variableCount > kMaxVariablesPerRow) {
        throw OmbrelError(Format("A task with %d variables is outside the 0 to %d variables a row can have.",
                                 variableCount, kMaxVariablesPerRow));
    }
    if (hasNone && conceptCount < 2) {
        throw OmbrelError("A task with a None alternative needs at least one other concept.");
    }
    conceptCount_ = conceptCount;
    variableCount_ = variableCount;
    hasNone_ = hasNone;
    // assign keeps the capacity, so a respondent's tasks allocate only when a task grows.
    values_.assign(static_cast<size_t>(conceptCount) * static_cast<size_t>(variableCount), 0.0);
    answers_.assign(static_cast<size_t>(conceptCount), 0);
    if (hasNone) Row(conceptCount - 1)[variableCount - 1] = 1.0;
}

double ScratchTask::PointTotal() const {
    double total = 1e-10;
    for (int32_t answer : answers_) total += answer;
    return total;
}

int32_t ScratchTask::ExpandedTaskCount() const {
    return static_cast<int32_t>(
        std::count_if(answers_.begin(), answers_.end(), [](int32_t a) { return a != 0; }));
}

void WriteScratchTask(ByteSink& sink, const ScratchTask& task) {
    const int32_t n = task.ConceptCount();
    const int32_t k = task.VariableCount();
    const int32_t codedColumns = task.HasNoneColumn() ? k - 1 : k;
    Require(WriteInt32(sink, n), "Couldn't write block size.");
    Require(WriteInt32(sink, k), "Couldn't write # variables.");
    for (int32_t c = 0; c < n; ++c) {
        const double* row = task.Row(c);
        for (int32_t j = 0; j < codedColumns; ++j)
            Require(WriteFloat64(sink, row[j]), "Couldn't write row of data.");
        if (task.HasNoneColumn()) Require(WriteFloat64(sink, row[k - 1]), "Couldn't write response.");
        Require(WriteInt32(sink, task.Answer(c)), "Couldn't write row of data.");
    }
}

void ReadScratchTask(ByteSource& source, bool hasNone, ScratchTask& task) {
    int32_t n = 0;
    int32_t k = 0;
    Require(ReadInt32(source, n), "Couldn't read tempfile @ 1.");
    Require(ReadInt32(source, k), "Couldn't read tempfile @ 2.");
    // The record is our own, but a damaged file must not size the buffers.
    if (n < 1 || n > kMaxConceptsPerTask || k < (hasNone ? 1 : 0) || k > kMaxVariablesPerRow ||
        (hasNone && n < 2)) {
        throw OmbrelError(
            Format("The scratch file tempfile is damaged: a task record announces %d concepts "
                   "of %d variables.",
                   n, k));
    }
    task.Reset(n, hasNone ? k - 1 : k, hasNone);
    for (int32_t c = 0; c < n; ++c) {
        Require(ReadFloat64Run(source, task.Row(c), static_cast<size_t>(k)), "Couldn't read tempfile @ 3");
        Require(ReadInt32(source, task.Answer(c)), "Couldn't read tempfile @ 4.");
    }
}

void PreparedDataWriter::WriteRespondentHeader(int32_t respondentNumber, int32_t expandedTaskCount) {
    WriteInt32(sink_, respondentNumber);
    WriteInt32(sink_, expandedTaskCount);
}

void PreparedDataWriter::WriteExpandedTasks(const ScratchTask& task, bool noneNotEstimated,
                                            double totalTaskWeight) {
    const bool dropNone = task.HasNoneColumn() && noneNotEstimated;
    const int32_t n = task.ConceptCount();
    const int32_t rows = dropNone ? n - 1 : n;
    const int32_t columns = dropNone ? task.VariableCount() - 1 : task.VariableCount();

    const double total = task.PointTotal();
    for (int32_t chosen = 0; chosen < n; ++chosen) {
        if (task.Answer(chosen) == 0) continue;
        Require(WriteInt32(sink_, rows), "Couldn't write pellikdat.tmp @ 1.");
        Require(WriteInt32(sink_, columns), "Couldn't write pellikdat.tmp @ 2.");
        for (int32_t r = 0; r < rows; ++r) {
            const double* row = task.Row(r);
            for (int32_t j = 0; j < columns; ++j)
                Require(WriteFloat64(sink_, row[j]), "Couldn't write pellikdat.tmp @ 3.");
            Require(WriteInt32(sink_, r == chosen ? 1 : 0), "Couldn't write pellikdat.tmp @ 4.");
        }
        // A point given to the dropped None still yields its block, but it carries no weight.
        const bool droppedNoneAnswer = dropNone && chosen == n - 1;
        WriteFloat64(sink_, droppedNoneAnswer ? 0.0 : task.Answer(chosen) / total * totalTaskWeight);
    }
}

PreparedDataFile::PreparedDataFile(const std::string& studyFolder)
    : path_(PreparedDataFileName(studyFolder)) {
    if (!file_.Open(path_, "wb")) {
        throw OmbrelError(Format("Couldn't create the prepared data file %s.", path_.c_str()));
    }
}

bool PreparedDataFile::Write(const void* data, size_t size) {
    const bool written = file_.Write(data, size);
    if (!written) writeFailed_ = true;
    return written;
}

void PreparedDataFile::Close() {
    const bool wasOpen = file_.IsOpen();
    const bool closed = file_.Close();
    if (!wasOpen) return;
    if (writeFailed_ || !closed) {
        throw OmbrelError(Format("Couldn't finish writing the prepared data file %s.  The disk may be full.",
                                 path_.c_str()));
    }
}

ScratchFile::ScratchFile(const std::string& studyFolder) : path_(ScratchFileName(studyFolder)) {
    if (!file_.Open(path_, "w+b")) {
        throw OmbrelError(Format("Couldn't create the scratch file %s.", path_.c_str()));
    }
}

ScratchFile::~ScratchFile() {
    file_.Close();
    std::remove(path_.c_str());
}

void ScratchFile::Rewind() {
    if (!file_.Rewind()) {
        throw OmbrelError(
            Format("Couldn't rewind the scratch file %s.  The disk may be full.", path_.c_str()));
    }
}

}  // namespace ombrel
