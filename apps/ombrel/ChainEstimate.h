#pragma once

// `ombrel estimate --chains K`: K chains of one study run side by side in this process, each a whole
// estimator run on a copy of the study in its own chain folder, then their used draws pooled into
// the study's own result files.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/Messenger.h"
#include "common/StudyFiles.h"
#include "common/StudySettings.h"
#include "estimator/run/EstimatorRun.h"

namespace ombrel {

inline constexpr int kMaxChains = 64;
inline constexpr int kMaxJobs = 1024;

// What an estimate did, for whatever looks at a completed estimate afterwards.
struct ChainRunReport {
    int chainCount = 1;
    // Chain k's seed at k - 1. A single chain run by kivotra reports the study's seed setting, where 0
    // means kivotra took one from the clock.
    std::vector<int32_t> seeds;
    // Every chain ran to its end and the results were written (one chain: kivotra ended with 0 and
    // wrote the results).
    bool completed = false;
};

// The threads a run of chains uses by default: one per core, at least one.
int DefaultJobs();

// The seed of every chain: chain k gets seed + k - 1; with seed 0, chain 1 gets one from clockSeconds
// in 1 .. 32001 - chainCount and the others follow it. The seed must fit (see ChainSeedFailure).
std::vector<int32_t> ChainSeeds(int32_t seed, int chainCount, long long clockSeconds);
// The message that refuses a seed whose last chain would get a seed above the largest; empty when
// the seed fits, and for a seed outside the setting's own range, which the settings' validation reports.
std::string ChainSeedFailure(int32_t seed, int chainCount);

// Every chain's restart file, chain 1 first.
std::vector<std::string> ChainRestartFiles(const StudyFiles& study, int chainCount);

struct ChainRunRequest {
    int chainCount = 2;
    int jobs = 1;     // threads, at most chainCount of them used
    int threads = 1;  // respondent-pass threads in all; each chain gets threads / jobs, at least 1
    double checkpointSeconds = kDefaultCheckpointSeconds;  // of every chain
    std::string temporaryFolder;   // parent of each chain's private folder for its names file
    bool watchStopSignals = true;  // SIGTERM, SIGINT and SIGHUP stop every chain
    std::FILE* out = stdout;       // one line per chain as it starts and ends
    std::FILE* err = stderr;       // the chains' progress lines
    // Called once a chain's folder holds its files, just before it runs (tests damage a chain here).
    std::function<void(int chain, const StudyFiles& chainFiles)> chainReady;
};

// Runs the chains of the study of settings (saved and prepared) on up to request.jobs threads. Chain k
// runs in study.ForChain(k) with the prepared files linked (or copied) from the study folder, the
// study's settings with its own seed and, from chain 2 on, an over-dispersed start. A chain that fails
// stops the others after their current iteration, and the run ends with "Chain k of K failed: ..."
// through messenger and status 1, nothing pooled. After every chain completed, the pooled results are
// written and report filled in. Returns the exit status: 0 after pooling or a stop, 1 after a failure.
int RunChains(const StudySettings& settings, const ChainRunRequest& request, Messenger& messenger,
              ChainRunReport& report);

}  // namespace ombrel
