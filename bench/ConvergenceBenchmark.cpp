// Microseconds per monitored quantity for the convergence measures (Measure, Rhat alone, BulkEss
// alone) over 1000 quantities of 3 chains x 1000 draws each: well mixed, slowly mixing (AR(1) with
// rho 0.9) and unconverged (one chain shifted by two standard deviations, so Geyer's sum runs to the
// last lag), with one workspace for all, as a run measures every respondent value.
//
//   convergence_benchmark [QUANTITIES]

#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "estimator/diagnostics/ConvergenceDiagnostics.h"

namespace {

using namespace ombrel;

constexpr int kChains = 3;
constexpr int kDraws = 1000;

std::vector<double> Quantities(int count, double rho, double shift, unsigned seed) {
    std::mt19937_64 generator(seed);
    std::normal_distribution<double> normal;
    std::vector<double> values(static_cast<std::size_t>(count) * kChains * kDraws);
    for (std::size_t chain = 0; chain < values.size() / kDraws; ++chain) {
        double x = normal(generator) / std::sqrt(1 - rho * rho);
        for (int i = 0; i < kDraws; ++i) {
            x = rho * x + normal(generator);
            values[chain * kDraws + i] = x + (chain % kChains == 0 ? shift : 0.0);
        }
    }
    return values;
}

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

template <typename Measure>
double MicrosecondsPerQuantity(const std::vector<double>& values, int count, Measure measure) {
    const std::size_t size = kChains * kDraws;
    double checksum = 0.0;
    // Processor time of this thread: other work on a shared machine does not count.
    const auto start = ThreadSeconds();
    for (int q = 0; q < count; ++q) {
        checksum += measure(std::span<const double>(values).subspan(q * size, size));
    }
    const auto stop = ThreadSeconds();
    if (std::isnan(checksum)) std::printf("(some measure undefined)\n");
    return (stop - start) * 1e6 / count;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (count <= 0) return 1;
    struct Kind {
        const char* name;
        double rho;
        double shift;
    };
    ConvergenceWorkspace workspace;
    std::printf("%d quantities of %d chains x %d draws, processor microseconds per quantity\n", count,
                kChains, kDraws);
    std::printf("%-14s %10s %10s %10s\n", "draws", "Measure", "Rhat", "BulkEss");
    for (const Kind& kind :
         {Kind{"well mixed", 0.0, 0.0}, Kind{"AR(1) 0.9", 0.9, 0.0}, Kind{"unconverged", 0.0, 2.0}}) {
        const std::vector<double> values = Quantities(count, kind.rho, kind.shift, 1);
        const double all = MicrosecondsPerQuantity(values, count, [&](std::span<const double> draws) {
            const ConvergenceMeasures m = workspace.Measure(draws, kChains);
            return m.rhat + m.essBulk + m.essTail;
        });
        const double rhat = MicrosecondsPerQuantity(
            values, count, [&](std::span<const double> draws) { return workspace.Rhat(draws, kChains); });
        const double bulk = MicrosecondsPerQuantity(
            values, count, [&](std::span<const double> draws) { return workspace.BulkEss(draws, kChains); });
        std::printf("%-14s %10.1f %10.1f %10.1f\n", kind.name, all, rhat, bulk);
    }
    return 0;
}
