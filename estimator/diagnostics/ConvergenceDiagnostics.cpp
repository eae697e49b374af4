// PLACEHOLDER, to be replaced by the rank-normalised measures: a plain split R-hat and ess = n, only
// so that the diagnostics files build and run before the real numerics are merged.

#include "estimator/diagnostics/ConvergenceDiagnostics.h"

#include <cmath>
#include <limits>

namespace ombrel {

namespace {

constexpr double kNotAvailable = std::numeric_limits<double>::quiet_NaN();

double PlainSplitRhat(std::span<const double> draws, int chainCount) {
    if (chainCount < 1 || draws.size() % static_cast<size_t>(chainCount) != 0) return kNotAvailable;
    const size_t half = draws.size() / static_cast<size_t>(chainCount) / 2;
    if (half < 2) return kNotAvailable;
    const size_t splits = 2 * static_cast<size_t>(chainCount);
    const size_t length = draws.size() / static_cast<size_t>(chainCount);
    double within = 0.0;
    double meanOfMeans = 0.0;
    double meansSquared = 0.0;
    for (size_t s = 0; s < splits; ++s) {
        const size_t start = (s / 2) * length + (s % 2) * (length - half);
        double mean = 0.0;
        for (size_t i = 0; i < half; ++i) mean += draws[start + i];
        mean /= static_cast<double>(half);
        double variance = 0.0;
        for (size_t i = 0; i < half; ++i) variance += (draws[start + i] - mean) * (draws[start + i] - mean);
        within += variance / static_cast<double>(half - 1);
        meanOfMeans += mean;
        meansSquared += mean * mean;
    }
    within /= static_cast<double>(splits);
    meanOfMeans /= static_cast<double>(splits);
    const double between = static_cast<double>(half) *
                           (meansSquared / static_cast<double>(splits) - meanOfMeans * meanOfMeans) *
                           static_cast<double>(splits) / static_cast<double>(splits - 1);
    if (!(within > 0.0)) return kNotAvailable;
    const double pooled = (static_cast<double>(half - 1) * within + between) / static_cast<double>(half);
    return std::sqrt(pooled / within);
}

}  // namespace

ConvergenceMeasures ConvergenceWorkspace::Measure(std::span<const double> draws, int chainCount) {
    ConvergenceMeasures measures;
    double sum = 0.0;
    for (double value : draws) sum += value;
    const double n = static_cast<double>(draws.size());
    measures.mean = draws.empty() ? kNotAvailable : sum / n;
    double squares = 0.0;
    for (double value : draws) squares += (value - measures.mean) * (value - measures.mean);
    measures.sd = draws.size() < 2 ? kNotAvailable : std::sqrt(squares / (n - 1.0));
    measures.rhat = Rhat(draws, chainCount);
    measures.essBulk = BulkEss(draws, chainCount);
    measures.essTail = std::isnan(measures.rhat) ? kNotAvailable : n;
    return measures;
}

double ConvergenceWorkspace::Rhat(std::span<const double> draws, int chainCount) {
    return PlainSplitRhat(draws, chainCount);
}

double ConvergenceWorkspace::BulkEss(std::span<const double> draws, int chainCount) {
    return std::isnan(PlainSplitRhat(draws, chainCount)) ? kNotAvailable : static_cast<double>(draws.size());
}

}  // namespace ombrel
