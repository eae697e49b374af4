#pragma once

// The estimator's draw scratch files, all binary, little-endian, no header, in the study folder:
//
//   "betas.tmp"  one record per respondent per used sampled iteration, iteration-major, as drawn:
//                  int32 respondent number | float64 respondent RLH | p x float64 unconstrained betas
//                (8p + 12 bytes)
//   "betas.srt"  the same records respondent-major: respondent n (from 0, data order), draw m (from 0)
//                at byte offset (m + n * D) * (8p + 12)
//   "betas.upd"  one accumulator record per respondent in data order, rewritten in place:
//                  int32 respondent number | float64 sum of RLH | levelCount x float64 sums of the
//                  expanded constrained betas | levelCount x float64 sums of their squares
//                (16 * levelCount + 12 bytes)

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/ByteStream.h"
#include "common/FileHandle.h"
#include "common/StudyFiles.h"
#include "estimator/chain/LevelExpansion.h"
#include "estimator/chain/RespondentUpdate.h"
#include "estimator/files/OutputProgress.h"

namespace ombrel {

// A binary scratch file opened for update, with 64-bit positions (the draw files pass 2 GB easily).
class DrawScratchFile : public ByteSink, public ByteSource {
public:
    DrawScratchFile() = default;
    DrawScratchFile(const DrawScratchFile&) = delete;
    DrawScratchFile& operator=(const DrawScratchFile&) = delete;

    // Creates or truncates path for reading and writing. False when it cannot be opened.
    bool Create(const std::string& path);
    bool IsOpen() const { return static_cast<bool>(file_); }
    const std::string& Path() const { return path_; }

    // Opens path for reading and writing, cut to its first length bytes and positioned after them
    // (a resumed run goes on appending where its checkpoint was). False when it cannot be opened or
    // holds fewer bytes.
    bool Reopen(const std::string& path, uint64_t length);

    bool Write(const void* data, size_t size) override;
    size_t Read(void* data, size_t size) override;
    bool Rewind() override;
    bool Seek(uint64_t offset);
    // Everything written so far reaches the file; false when that failed.
    bool Flush();
    // The file's length in bytes, after a Flush.
    uint64_t Size() const;
    // Flushes and closes; false when the flush failed.
    bool Close();
    // Closes and deletes the file.
    void CloseAndRemove();

private:
    std::string path_;
    FileHandle file_;
    // stdio needs a positioning call between a write and a read on an update stream.
    enum class LastOperation { None, Read, Write } last_ = LastOperation::None;
};

// Record sizes in bytes, in 64 bits.
uint64_t DrawRecordSize(int parameterCount);
uint64_t AccumulatorRecordSize(int levelCount);

// Opens the study folder's saved-draw scratch file "betas.tmp" (saveDraws) or accumulator file
// "betas.upd", truncated. Throws OmbrelError with the
// run's message ("The betas.tmp file could not be opened.  Please check ...") when it cannot.
void CreateDrawScratchFile(const std::string& studyFolder, bool saveDraws, DrawScratchFile& file);
// The same for a run that resumes from a checkpoint: "betas.tmp" cut back to length, or "betas.upd"
// written anew with accumulatorBytes. Throws the same message when it cannot.
void ReopenDrawScratchFile(const std::string& studyFolder, bool saveDraws, uint64_t length,
                           const std::vector<unsigned char>& accumulatorBytes, DrawScratchFile& file);

// With saveDraws: appends every used draw to "betas.tmp" as it comes. A failed write throws
// OmbrelError naming the file: a draw lost to a full disk would make every average wrong.
class SavedDrawWriter : public DrawSink {
public:
    SavedDrawWriter(DrawScratchFile& file, int parameterCount);
    void RecordDraw(int respondentIndex, int32_t respondentNumber, double respondentRlh, const double* betas,
                    const double* constrainedBetas) override;

private:
    DrawScratchFile& file_;
    int parameterCount_;
    std::vector<unsigned char> record_;
};

// Without saveDraws: adds every used draw to the respondent's record of "betas.upd" in place. The
// expanded constrained betas (tied again, as the draws file is) are summed with their squares. The
// first used pass of the run finds no records and starts every sum from zero without reading; every
// later pass reads the record first and stops with "The respondent read (%ld) doesn't match the
// expected respondent (%ld)." when it belongs to someone else.
class DrawAccumulator : public DrawSink {
public:
    DrawAccumulator(DrawScratchFile& file, const LevelExpansion& expansion, const ConstraintTies* ties);
    void RecordDraw(int respondentIndex, int32_t respondentNumber, double respondentRlh, const double* betas,
                    const double* constrainedBetas) override;
    // True until the first used pass has written its records.
    bool AccumulatorsEmpty() const { return recordsWritten_ == 0; }
    // The records that exist in the file, and the same after a resume from a checkpoint.
    int64_t RecordsWritten() const { return recordsWritten_; }
    // The file holds recordsWritten records already (a run resumed from its checkpoint); the window
    // is read from it anew.
    void ResumeWith(int64_t recordsWritten);
    // Writes the records still held in the window back into the file.
    void Flush() override;

private:
    // The pass updates records in file order, so they are read and written back a window of many
    // records at a time instead of one seek, read and write per respondent.
    unsigned char* WindowRecord(int respondentIndex);

    DrawScratchFile& file_;
    const LevelExpansion& expansion_;
    const ConstraintTies* ties_;
    int64_t recordsWritten_ = 0;  // records exist for respondents 0 .. recordsWritten_ - 1
    std::vector<double> tied_;
    std::vector<double> expanded_;
    std::vector<double> sums_;
    std::vector<double> squares_;
    size_t recordSize_ = 0;
    std::vector<unsigned char> window_;  // whole records, from windowFirst_ on
    int64_t windowFirst_ = 0;
    int64_t windowDirtyEnd_ = 0;  // one past the last record changed since the last flush
};

// What SortDraws and the point estimates need to know about the run.
struct DrawLayout {
    int respondentCount = 0;     // N
    int parameterCount = 0;      // p
    int drawsPerRespondent = 0;  // D
    bool hasNone = false;
};

// Reorders "betas.tmp" (betasTmp, still open from the run) into the study folder's "betas.srt" by seeks,
// then expands every draw (ties applied) into the study's draws file (".dra"). Reports SortingDraws before
// each draw is sorted and ExpandingDraws after each is expanded through progress. Deletes both scratch files
// when the draws file is complete; on any failure throws OmbrelError with its console message and leaves the
// scratch files that still exist on disk, and any previous draws file unchanged.
void SortDraws(DrawScratchFile& betasTmp, const StudyFiles& files, const DrawLayout& layout,
               const LevelExpansion& expansion, const ConstraintTies* ties, const OutputProgress& progress);

// One draws-file record: the header line, then the levelCount values.
void FormatDrawRecord(std::string& out, int32_t respondentNumber, double respondentRlh,
                      const double* expanded, int levelCount, bool hasNone);

}  // namespace ombrel
