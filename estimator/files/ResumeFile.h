#pragma once

// The resume file, study name + ".resume", beside the restart file: what a run stopped between two
// iterations needs to go on exactly as if it had never stopped, at full precision. The restart file
// keeps its own format; the resume file is only used when it belongs to that very restart file and
// to the study's settings, so a restart file from elsewhere is read as it always was.
//
// Binary, little-endian (int32 and float64 as in the other binary files; int64 as two int32, low
// half first; uint64 likewise):
//   "OMBRESUM" (8 bytes), int32 version 1, int32 kind (1 checkpoint, 2 stop, 3 finished)
//   uint64 restart check (FNV-1a of the restart file's bytes), uint64 the same of the restart file it
//     replaces, uint64 settings check
//   int32 N, P, levelCount, constrained (0/1), saveDraws (0/1)
//   int32 completed iterations, schedule start, total iterations, using draws (0/1)
//   float64 jump size (adapted), float64 last jump size used
//   P float64 alpha, P x P float64 covariance row by row
//   N x (int32 respondent number, P float64 betas, float64 log-likelihood)
//   624 int32 generator words, int32 index, float64 v, float64 s, float64 cached deviate,
//     int32 cached valid (0/1), int32 cached computed (0/1)
//   float64 sums: P of alpha, P of the constrained betas (when constrained), P(P+1)/2 of the covariance
//   int64 lengths of ".alp", ".bet" (0 when not constrained) and ".cov"
//   int64 draw scratch length (bytes of "betas.tmp" or "betas.upd"), int64 accumulator records
//   without saveDraws: the draw scratch length's bytes of "betas.upd"
//   uint64 FNV-1a of every byte before it

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/AtomicFile.h"
#include "common/ByteStream.h"
#include "estimator/chain/Chain.h"
#include "estimator/files/Summary.h"

namespace ombrel {

// Finished: every iteration has run and the results are being written; a resume writes them.
enum class ResumeKind : int32_t { Checkpoint = 1, Stop = 2, Finished = 3 };

struct ResumeRecord {
    ResumeKind kind = ResumeKind::Stop;
    uint64_t restartCheck = 0;
    uint64_t previousRestartCheck = 0;  // of the restart file on disk when this one was written
    uint64_t settingsCheck = 0;
    // On reading: the restart file on disk is still the previous one (a crash fell between the two
    // renames), and is to be written anew from this record.
    bool restartPending = false;
    int levelCount = 0;
    bool constrained = false;
    bool saveDraws = false;
    // The iteration count the run's schedule started from (its preliminary iterations and draws come
    // after it) and the iteration it ends with, as the interrupted session had them.
    int scheduleStart = 0;
    int totalIterations = 0;
    bool usingDraws = false;
    ChainSnapshot chain;
    SummarySums sums;
    int64_t alphaHistoryLength = 0;
    int64_t betaHistoryLength = 0;
    int64_t covarianceHistoryLength = 0;
    int64_t drawScratchLength = 0;
    int64_t accumulatorRecords = 0;
    std::vector<unsigned char> accumulatorBytes;  // without saveDraws: "betas.upd" as it was
};

// 64-bit FNV-1a, the check values of the resume file.
uint64_t Fnv1a(std::string_view bytes, uint64_t hash = 14695981039346656037ULL);

// The FNV-1a of a file's bytes; nothing when it cannot be read.
std::optional<uint64_t> FileCheck(const std::string& path);

// What the resume file must match besides the restart file: the settings text, the prepared data
// file's size and the model's counts.
uint64_t ResumeSettingsCheck(const std::string& settingsText, uint64_t preparedDataSize);

// The file's bytes; false when a write failed.
bool WriteResumeRecord(const ResumeRecord& record, ByteSink& sink);

// Writes the file in one go (temporary file, flushed to the device, renamed into place). Throws
// OmbrelError naming path when it cannot be written; an earlier file is then left as it was.
void WriteResumeFile(const std::string& path, const ResumeRecord& record);
// The same up to the rename (see PrepareRestartFile).
void PrepareResumeFile(AtomicFile& file, const std::string& path, const ResumeRecord& record);

// What a resume file must agree with to be used.
struct ResumeExpectation {
    uint64_t restartCheck = 0;
    uint64_t settingsCheck = 0;
    int respondentCount = 0;
    int parameterCount = 0;
    int levelCount = 0;
    bool constrained = false;
    bool saveDraws = false;
    int completedIterations = 0;  // the restart file's
};

// The record of bytes when it is whole and agrees with expected; otherwise nothing, with why in
// reason (for the log).
std::optional<ResumeRecord> ReadResumeRecord(const std::vector<unsigned char>& bytes,
                                             const ResumeExpectation& expected, std::string& reason);

// Reads path; nothing (reason empty) when there is no such file.
std::optional<ResumeRecord> LoadResumeFile(const std::string& path, const ResumeExpectation& expected,
                                           std::string& reason);

}  // namespace ombrel
