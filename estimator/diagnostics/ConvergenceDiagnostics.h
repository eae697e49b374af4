#pragma once

// Convergence measures of one monitored quantity over several chains of equal length: the
// rank-normalised split R-hat (the larger of the bulk and the folded value), the bulk effective
// sample size and the tail effective sample size (the smaller of the 5% and 95% quantile ESS), as
// Vehtari, Gelman, Simpson, Carpenter and Buerkner (2021) define them: tied values get their average
// rank, and the autocorrelations are summed with Geyer's initial monotone sequence.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "estimator/diagnostics/Autocovariance.h"
#include "estimator/diagnostics/SortedDraws.h"

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
    // draws: chainCount chains of draws.size() / chainCount values each, chain after chain. Every
    // measure works on the chains cut in halves (the middle draw of an odd chain left out), and
    // agrees with R's posterior 1.4 (rhat, ess_bulk, ess_tail) to rounding; unlike posterior, an
    // infinite draw makes all three NaN. R-hat needs halves of two draws, the ESS of three.
    // Throws std::invalid_argument unless chainCount > 0 and divides draws.size().
    ConvergenceMeasures Measure(std::span<const double> draws, int chainCount);

    // The rank-normalised split R-hat alone, and the bulk ESS alone (cheaper than Measure when the
    // tail ESS is not wanted).
    double Rhat(std::span<const double> draws, int chainCount);
    double BulkEss(std::span<const double> draws, int chainCount);

private:
    bool Prepare(std::span<const double> draws, int chainCount);
    void SetShape(std::size_t drawCount, std::size_t chainCount);
    void ScoreBulk();
    void ScoreFolded();
    void ScoreSorted(const double* keys, const std::uint32_t* draws, std::size_t count);
    double Score(std::size_t twiceRank);
    double SplitRhat();
    double SplitEss();
    double TailEss(std::span<const double> draws, double probability);

    // The halves: splitChains_ chains of splitLength_ draws each, half after half. slot_[i] is the
    // place of draw i there, or -1 for the middle draw of an odd chain, which neither half holds.
    std::size_t shapeDraws_ = 0;
    std::size_t shapeChains_ = 0;
    std::size_t splitChains_ = 0;
    std::size_t splitLength_ = 0;
    std::vector<std::int32_t> slot_;
    SortedDraws sorted_;              // every draw
    std::vector<double> keptValues_;  // the draws the halves hold, ascending
    std::vector<std::uint32_t> keptDraws_;
    std::vector<double> foldedValues_;  // their distances from the median, ascending
    std::vector<std::uint32_t> foldedDraws_;
    std::vector<double> normalScores_;  // by twice the rank; NaN until first needed
    std::vector<double> split_;         // the values measured, in the layout of the halves
    bool splitConstant_ = false;        // all of them equal: no measure is defined
    std::vector<double> chainMeans_;
    std::vector<double> chainVariances_;
    std::vector<double> rho_;
    MeanAutocovariance autocovariance_;
};

}  // namespace ombrel
