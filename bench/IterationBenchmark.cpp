// Milliseconds per estimator iteration (Chain::Step: respondent pass, alpha draw, covariance draw) on
// simulated discrete-choice studies, with the prepared data held in memory and streamed from the file. Prints
// the reference case at one thread and at all cores, a scaling table over respondents and parameters, a
// 100,000-respondent case with its peak memory, and the chain fingerprints, each beside its target.
//
//   iteration_benchmark [--quick | --reference [THREADS]]
// --reference runs only the reference case in memory, at one thread or at THREADS, for profiling.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/ByteStream.h"
#include "common/StudyFiles.h"
#include "estimator/chain/Chain.h"
#include "estimator/chain/StartValues.h"
#include "estimator/files/PreparedDataSource.h"
#include "tests/support/SimulatedStudy.h"

namespace {

using namespace ombrel;

struct Case {
    int respondents;
    std::vector<int> levels;
};

// Runs warmup + measured iterations of the chain and returns milliseconds per measured iteration.
double MillisecondsPerIteration(const std::string& folder, int parameterCount, bool inMemory, int iterations,
                                double* fingerprintOut = nullptr, int threads = 1, int warmup = 5) {
    const std::string path = PreparedDataPath(folder);
    std::unique_ptr<PreparedDataSource> data = OpenPreparedData(path, inMemory ? DefaultMemoryBudget() : 0);
    PopulationState startValues;
    startValues.Resize(parameterCount);
    ChainState state;
    InitializeStartValues(true, true, nullptr, *data, startValues, state.store);
    state.alpha = startValues.alpha;
    state.covariance = startValues.covariance;
    SquareMatrix prior(parameterCount);
    prior.SetIdentity();
    for (int k = 0; k < parameterCount; ++k) prior(k, k) = 2.0;
    ChainOptions options;
    options.priorDegreesOfFreedom = 5;
    options.seed = 1;
    options.threads = threads;
    Chain chain(std::move(state), false, prior, options);
    auto iterate = [&] { chain.Step(*data, nullptr); };
    for (int i = 0; i < warmup; ++i) iterate();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < iterations; ++i) iterate();
    const auto stop = std::chrono::steady_clock::now();
    // A fingerprint of the chain's state: an optimisation must leave it unchanged to the last bit.
    const RespondentStore& store = chain.Store();
    double fingerprint = 0.0;
    for (int n = 0; n < store.Count(); ++n)
        for (int k = 0; k < parameterCount; ++k) fingerprint += store.Betas(n)[k] * (k + 1);
    for (int k = 0; k < parameterCount; ++k) fingerprint += chain.Population().covariance(k, k);
    if (fingerprintOut != nullptr) *fingerprintOut = fingerprint;
    return std::chrono::duration<double, std::milli>(stop - start).count() / iterations;
}

std::string MakeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ombrel-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
    return pattern + "/";
}

int AllCores() { return std::max(1u, std::thread::hardware_concurrency()); }

test::SimulationSpec ReferenceSpec() {
    test::SimulationSpec reference;
    reference.respondents = 1000;
    reference.tasks = 12;
    reference.concepts = 4;
    reference.levels = {4, 3, 3, 4, 3};
    reference.seed = 5;
    return reference;
}

// The reference case at one thread and at all cores; the fingerprints must be equal to the last bit.
void ReferenceCase(const std::string& folder, int iterations, bool referenceOnly, int referenceThreads) {
    const test::SimulationSpec reference = ReferenceSpec();
    const test::SimulatedStudy study = test::WriteSimulatedStudy(folder, reference);
    std::printf("Reference case: %d respondents, %d tasks of %d concepts plus None, %d parameters\n",
                reference.respondents, reference.tasks, reference.concepts, study.parameterCount);
    double single = 0.0;
    const int threads = referenceOnly ? referenceThreads : 1;
    const double one =
        MillisecondsPerIteration(folder, study.parameterCount, true, iterations, &single, threads);
    std::printf("  in memory, %d thread%s: %7.3f ms per iteration%s\n", threads, threads == 1 ? " " : "s",
                one, threads == 1 ? " (target: at most 1.2 ms)" : "");
    std::printf("  chain fingerprint after %d iterations: %a\n", iterations + 5, single);
    if (!referenceOnly) {
        const int cores = AllCores();
        double multi = 0.0;
        const double all =
            MillisecondsPerIteration(folder, study.parameterCount, true, iterations, &multi, cores);
        std::printf(
            "  in memory, %d threads: %7.3f ms per iteration, speed-up %.2fx (target: at least 1.8x on "
            "2)\n",
            cores, all, one / all);
        std::printf("  chain fingerprint at %d threads: %a (%s the 1-thread fingerprint)\n", cores, multi,
                    std::memcmp(&single, &multi, sizeof single) == 0 ? "equal to" : "DIFFERS FROM");
    }
    // The streamed pass reads on a thread of its own beside the updating ones.
    const double streamed =
        MillisecondsPerIteration(folder, study.parameterCount, false, iterations / 2, nullptr, threads);
    std::printf("  streamed, %d thread%s:  %7.3f ms per iteration, %.2fx in memory (target: about 1.3x)\n\n",
                threads, threads == 1 ? " " : "s", streamed, streamed / one);
}

void ScalingTable(const std::string& folder, int iterations) {
    const std::vector<int> respondentCounts{250, 1000, 4000};
    const std::vector<std::vector<int>> designs{
        {3, 3, 4}, {4, 4, 3, 3, 5}, {5, 5, 5, 5, 5, 4, 4, 4, 4}, {9, 9, 9, 9, 9, 9, 9, 8}};
    std::printf(
        "Scaling, in-memory data, 1 thread, 12 tasks of 4 concepts plus None (ms per iteration;\n"
        "target: p=64 x 1000 at most 8 ms)\n");
    std::printf("%12s", "respondents");
    for (const auto& levels : designs)
        std::printf("%10s%-3d", "p=", test::EffectsParameterCount(levels, true));
    std::printf("\n");
    for (int respondents : respondentCounts) {
        std::printf("%12d", respondents);
        for (const auto& levels : designs) {
            test::SimulationSpec spec = ReferenceSpec();
            spec.respondents = respondents;
            spec.levels = levels;
            const test::SimulatedStudy scaled = test::WriteSimulatedStudy(folder, spec);
            const int count =
                std::max(3, iterations * 1000 / respondents / std::max(1, scaled.parameterCount / 13) / 4);
            std::printf("%13.3f", MillisecondsPerIteration(folder, scaled.parameterCount, true, count));
            std::fflush(stdout);
        }
        std::printf("\n");
    }
    std::printf("\n");
}

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// One mode of the large case in a child process of its own, so that its peak memory is its own.
void LargeCaseMode(const std::string& folder, int parameterCount, bool inMemory, int respondents,
                   double dataMegabytes) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        const double before = PeakMegabytes();
        const double ms = MillisecondsPerIteration(folder, parameterCount, inMemory, 5, nullptr, 1, 5);
        const double peak = PeakMegabytes();
        const double perRespondent =
            (peak - (inMemory ? dataMegabytes : 0.0)) * 1024.0 * 1024.0 / respondents;
        std::printf(
            "  %-9s %8.1f ms per iteration (target: at most 130 ms); peak %.0f MB (%.0f MB at start),"
            " %.0f bytes per respondent beyond the %s\n",
            inMemory ? "in memory" : "streamed", ms, peak, before, perRespondent,
            inMemory ? "data (target: at most ~2 KB)" : "program");
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
}

void LargeCase(const std::string& folder) {
    test::SimulationSpec spec = ReferenceSpec();
    spec.respondents = 100000;
    const test::SimulatedStudy study = test::WriteSimulatedStudy(folder, spec);
    const double dataMegabytes =
        static_cast<double>(std::filesystem::file_size(PreparedDataPath(folder))) / (1024.0 * 1024.0);
    std::printf("Large case: %d respondents, %d parameters, prepared data %.0f MB, 1 thread\n",
                spec.respondents, study.parameterCount, dataMegabytes);
    LargeCaseMode(folder, study.parameterCount, true, spec.respondents, dataMegabytes);
    LargeCaseMode(folder, study.parameterCount, false, spec.respondents, dataMegabytes);
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const bool referenceOnly = argc > 1 && std::strcmp(argv[1], "--reference") == 0;
    const int referenceThreads = referenceOnly && argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    const int iterations = quick ? 20 : 200;
    const std::string folder = MakeFolder();
    ReferenceCase(folder, iterations, referenceOnly, referenceThreads);
    if (!referenceOnly) {
        ScalingTable(folder, iterations);
        if (!quick) LargeCase(folder);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
