#pragma once

// The restart file, study name + ".res", text; every real rounded to three decimals, fields of fixed
// width with no separators apart from line breaks (N respondents, P parameters):
//
//   "%d %d %d %6.3f\n"          N, P, completed iterations, jump size
//   P x "%8.3lf"                alpha
//   "\n\n"                      ends the alpha line, then an empty line
//   N x ("%8d", P x "%8.3lf", "%10.3lf\n")   respondent number, current betas, their log-likelihood,
//                                            in the order of the prepared data file
//   "\n"                        an empty line
//   P x (P x "%8.3lf", "\n")    covariance, row by row
//
// Read back number by number with "%d" / "%lf" semantics: only the order of the numbers matters.

#include <optional>
#include <string>

#include "common/AtomicFile.h"
#include "common/ByteStream.h"
#include "common/TextSource.h"
#include "estimator/chain/ChainState.h"

namespace ombrel {

// The largest parameter count a restart file may announce (the estimator's capacity).
inline constexpr int kMaxRestartParameters = 1000;
// The largest completed-iteration count accepted: a session adds at most 2 000 000 iterations
// (1 000 000 preliminary plus 10 000 draws x skip 100), so the run's counters stay within int.
inline constexpr int kMaxRestartIterations = 2'000'000'000;

// The restart text of state, handed to sink a respondent at a time. False when a write failed;
// throws OmbrelError when alpha or the covariance does not fit the store's parameter count.
bool WriteRestartText(const ChainState& state, ByteSink& sink);

// Writes the restart file at path (the study's StudyFiles::Restart()), beside the old file first and
// renamed into place when complete, so a failed write keeps the previous restart file. Throws
// ConsoleError with "\nCan't open studyname.res file." when it cannot be created, and OmbrelError with
// a write-failure message naming the file when it cannot be written completely. Returns the FNV-1a of
// the bytes written, which ties a resume file to this restart file.
uint64_t WriteRestartFile(const std::string& path, const ChainState& state);
// The same up to the rename: file holds the complete temporary file, for a Commit together with the
// files that belong with it.
uint64_t PrepareRestartFile(AtomicFile& file, const std::string& path, const ChainState& state);

// Parses a restart text; path names the file in the messages. Throws OmbrelError naming it when the
// text is unusable: a first line that cannot be read, counts that are negative or beyond the
// capacities (more than kMaxRestartParameters parameters, more than kMaxRestartIterations iterations),
// or fewer numbers than the first line announces.
ChainState ReadRestartState(TextSource& source, const std::string& path);

// Reads the restart file at path. Returns nothing when the file cannot be opened (the run starts
// afresh); otherwise as ReadRestartState. The caller still compares RespondentCount() with the prepared
// data file (RestartRespondentMismatchMessage).
std::optional<ChainState> LoadRestartFile(const std::string& path);

// The message for a restart file whose respondent count differs from the prepared data file's.
std::string RestartRespondentMismatchMessage(const std::string& path, int restartRespondents,
                                             int dataRespondents);

}  // namespace ombrel
