// Milliseconds one checkpoint takes (the restart file and its resume file, each written beside its
// target, flushed to the device and renamed into place), and that as a share of the default interval,
// for a study of N respondents and P parameters, with the accumulators of draws that are not saved
// (levelCount L) and without (saved draws).
//
//   checkpoint_benchmark [N [P [L]]]     (default: 100000 13 18)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "common/AtomicFile.h"
#include "estimator/files/DrawFiles.h"
#include "estimator/files/RestartFile.h"
#include "estimator/files/ResumeFile.h"
#include "estimator/run/EstimatorRun.h"

namespace {

using namespace ombrel;

ResumeRecord Record(int n, int p, int levels, bool saveDraws) {
    std::mt19937_64 generator(7);
    std::normal_distribution<double> normal;
    ResumeRecord record;
    ChainState& state = record.chain.state;
    state.completedIterations = 5000;
    state.alpha.resize(static_cast<size_t>(p));
    for (double& value : state.alpha) value = normal(generator);
    state.covariance.Resize(p);
    for (int j = 0; j < p; ++j) state.covariance(j, j) = 1.0;
    state.store.Reset(p);
    std::vector<double> betas(static_cast<size_t>(p));
    for (int i = 0; i < n; ++i) {
        for (double& beta : betas) beta = normal(generator);
        state.store.Append(1000 + i, betas.data(), -10.0 * std::abs(normal(generator)));
    }
    record.levelCount = levels;
    record.saveDraws = saveDraws;
    record.sums.alphaSum.assign(static_cast<size_t>(p), 0.0);
    record.sums.covarianceSum.assign(static_cast<size_t>(p) * (p + 1) / 2, 0.0);
    if (!saveDraws) {
        record.accumulatorBytes.assign(static_cast<size_t>(n) * AccumulatorRecordSize(levels), 1);
        record.drawScratchLength = static_cast<int64_t>(record.accumulatorBytes.size());
        record.accumulatorRecords = n;
    }
    return record;
}

double CheckpointMilliseconds(const std::string& folder, ResumeRecord& record) {
    const auto start = std::chrono::steady_clock::now();
    AtomicFile restart;
    AtomicFile resume;
    record.restartCheck = PrepareRestartFile(restart, folder + "/study.res", record.chain.state);
    PrepareResumeFile(resume, folder + "/study.resume", record);
    if (!resume.Commit() || !restart.Commit()) std::printf("(a commit failed)\n");
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int p = argc > 2 ? std::atoi(argv[2]) : 13;
    const int levels = argc > 3 ? std::atoi(argv[3]) : 18;
    const std::string folder = std::filesystem::temp_directory_path().string() + "/ombrel-checkpoint-bench";
    std::filesystem::create_directories(folder);
    std::printf("Checkpoint of %d respondents, %d parameters, %d levels (best of 5):\n", n, p, levels);
    for (bool saveDraws : {false, true}) {
        ResumeRecord record = Record(n, p, levels, saveDraws);
        double best = 1e300;
        for (int run = 0; run < 5; ++run) best = std::min(best, CheckpointMilliseconds(folder, record));
        std::printf("  %-22s %8.1f ms  = %5.2f%% of the default %g s interval\n",
                    saveDraws ? "saved draws" : "accumulated draws", best,
                    100.0 * best / (1000.0 * kDefaultCheckpointSeconds), kDefaultCheckpointSeconds);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
