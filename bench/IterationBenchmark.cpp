// Milliseconds per estimator iteration (Chain::Step: respondent pass, alpha draw, covariance draw) on
// simulated discrete-choice studies, with the prepared data held in memory and streamed from the file. Prints
// the reference case and a scaling table over respondents and parameters.
//
//   iteration_benchmark [--quick | --reference]
// --reference runs only the reference case in memory, for profiling.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
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
                                double* fingerprintOut = nullptr) {
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
    Chain chain(std::move(state), false, prior, options);
    auto iterate = [&] { chain.Step(*data, nullptr); };
    for (int i = 0; i < 5; ++i) iterate();
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

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const bool referenceOnly = argc > 1 && std::strcmp(argv[1], "--reference") == 0;
    const int iterations = quick ? 20 : 200;
    const std::string folder = MakeFolder();

    test::SimulationSpec reference;
    reference.respondents = 1000;
    reference.tasks = 12;
    reference.concepts = 4;
    reference.levels = {4, 3, 3, 4, 3};
    reference.seed = 5;
    const test::SimulatedStudy study = test::WriteSimulatedStudy(folder, reference);
    std::printf("Reference case: %d respondents, %d tasks of %d concepts plus None, %d parameters\n",
                reference.respondents, reference.tasks, reference.concepts, study.parameterCount);
    double fingerprint = 0.0;
    const double inMemory =
        MillisecondsPerIteration(folder, study.parameterCount, true, iterations, &fingerprint);
    std::printf("  in memory: %8.3f ms per iteration (target: at most 1.5 ms)\n", inMemory);
    std::printf("  chain fingerprint after %d iterations: %a\n", iterations + 5, fingerprint);
    if (referenceOnly) {
        std::filesystem::remove_all(folder);
        return 0;
    }
    std::printf("  streamed:  %8.3f ms per iteration\n\n",
                MillisecondsPerIteration(folder, study.parameterCount, false, iterations / 2));

    const std::vector<int> respondentCounts{250, 1000, 4000};
    const std::vector<std::vector<int>> designs{
        {3, 3, 4}, {4, 4, 3, 3, 5}, {5, 5, 5, 5, 5, 4, 4, 4, 4}, {9, 9, 9, 9, 9, 9, 9, 8}};
    std::printf("Scaling, in-memory data, 12 tasks of 4 concepts plus None (ms per iteration)\n");
    std::printf("%12s", "respondents");
    for (const auto& levels : designs)
        std::printf("%10s%-3d", "p=", test::EffectsParameterCount(levels, true));
    std::printf("\n");
    for (int respondents : respondentCounts) {
        std::printf("%12d", respondents);
        for (const auto& levels : designs) {
            test::SimulationSpec spec = reference;
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
    std::filesystem::remove_all(folder);
    return 0;
}
