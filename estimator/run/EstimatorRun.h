#pragma once

#include <cstdint>
#include <string>

#include "estimator/files/PreparedDataSource.h"
#include "estimator/files/Summary.h"
#include "estimator/run/RunSinks.h"

namespace ombrel {

// How a run ended, for whoever runs several.
enum class RunEnd {
    Failed,     // a fatal message was shown; nothing was written over the results
    Stopped,    // the stop request was honoured: the restart file is written, the results are not
    Completed,  // every iteration ran and the results of the used draws were written
};

// What a run leaves for pooling with other runs of the same study, filled in as the run goes.
struct RunResults {
    RunEnd end = RunEnd::Failed;
    uint32_t seed = 0;  // the seed the chain's generator got
    int respondentCount = 0;
    int parameterCount = 0;
    int levelCount = 0;
    int drawsPerRespondent = 0;  // used draws per respondent of this session
    bool saveDraws = false;
    bool hasNone = false;
    SummarySums sums;             // over the drawsPerRespondent used sampled iterations
    std::string closingSentence;  // "This session did ..."; empty when the run failed before its end
};

// The seconds of the system's steady clock: what a console's Clock::SteadySeconds gives.
double SteadyClockSeconds();

// The threads of a run's respondent pass when nobody says: one per core, at least one.
int DefaultRunThreads();

inline constexpr double kDefaultCheckpointSeconds = 60.0;

// What a caller can choose besides the services.
struct RunOptions {
    std::string namesFolder;  // the names file's folder, "" for the working directory
    uint64_t memoryBudget = DefaultMemoryBudget();
    // A fresh chain starts over-dispersed around its start values (see ChainOptions).
    bool overdispersedStart = false;
    // Threads of the respondent pass, 1 to kMaxPassThreads; the results are the same for any count.
    int threads = DefaultRunThreads();
    // At most this often (0: never), between two iterations, the restart file and its resume file are
    // rewritten, so that a run killed at any moment resumes from the last checkpoint.
    double checkpointSeconds = kDefaultCheckpointSeconds;
    RunResults* results = nullptr;  // filled in when not null
};

// One run of the estimator: loads the settings (through the names file in namesFolder, "" for the
// working directory), the prepared study and the restart file or start values, iterates, and writes
// the restart and result files. Returns the process exit status: 0 after a normal end or a stop,
// 1 after a fatal message. Prepared data up to memoryBudget bytes is held in memory, a larger file is
// streamed from disk every pass; both give the same chain.
int RunEstimator(const RunServices& services, const std::string& namesFolder = "",
                 uint64_t memoryBudget = DefaultMemoryBudget());
int RunEstimator(const RunServices& services, const RunOptions& options);

}  // namespace ombrel
