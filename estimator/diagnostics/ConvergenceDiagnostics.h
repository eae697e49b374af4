#pragma once

// Convergence measures of one monitored quantity over several chains of equal length: the
// rank-normalised split R-hat (the larger of the bulk and the folded value), the bulk effective
// sample size and the tail effective sample size (the smaller of the 5% and 95% quantile ESS), as
// Vehtari, Gelman, Simpson, Carpenter and Buerkner (2021) define them: tied values get their average
// rank, and the autocorrelations are summed with Geyer's initial monotone sequence.

#include <span>
#include <vector>

namespace ombrel {

struct ConvergenceMeasures {
    double mean = 0.0;  // over all draws
    double sd = 0.0;    // over all draws, with n - 1
    // NaN (written NA) when the measure is not defined: a quantity constant over all draws, a
    // value that is not finite, or too few draws.
    double rhat = 0.0;
    double essBulk = 0.0;
    double essTail = 0.0;
};

// Scratch space for Measure, grown to the largest quantity seen, so that measuring many quantities
// of the same size (every respondent value of a run) allocates nothing after the first.
class ConvergenceWorkspace {
public:
    // draws: chainCount chains of draws.size() / chainCount values each, chain after chain. A single
    // chain is split in halves for R-hat. draws.size() must be a multiple of chainCount.
    ConvergenceMeasures Measure(std::span<const double> draws, int chainCount);

    // The rank-normalised split R-hat alone, and the bulk ESS alone (cheaper than Measure when the
    // tail ESS is not wanted).
    double Rhat(std::span<const double> draws, int chainCount);
    double BulkEss(std::span<const double> draws, int chainCount);

private:
    std::vector<double> values_;
    std::vector<double> ranks_;
    std::vector<double> scratch_;
    std::vector<size_t> order_;
};

}  // namespace ombrel
