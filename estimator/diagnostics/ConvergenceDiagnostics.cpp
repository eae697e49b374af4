#include "estimator/diagnostics/ConvergenceDiagnostics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "estimator/diagnostics/NormalQuantile.h"
#include "estimator/diagnostics/SampleMoments.h"

namespace ombrel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The offset of the rank-normalising transform, (rank - 3/8) / (S + 1/4), Blom's choice.
constexpr double kRankOffset = 3.0 / 8.0;

double LargerUnlessUndefined(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return kNaN;
    return std::max(a, b);
}

double SmallerUnlessUndefined(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return kNaN;
    return std::min(a, b);
}

}  // namespace

ConvergenceMeasures ConvergenceWorkspace::Measure(std::span<const double> draws, int chainCount) {
    const bool defined = Prepare(draws, chainCount);
    ConvergenceMeasures m;
    m.mean = SampleMean(draws);
    m.sd = std::sqrt(SampleVariance(draws, m.mean));
    if (!defined) {
        m.rhat = m.essBulk = m.essTail = kNaN;
        return m;
    }
    ScoreBulk();
    const double bulkRhat = SplitRhat();
    m.essBulk = SplitEss();
    ScoreFolded();
    m.rhat = LargerUnlessUndefined(bulkRhat, SplitRhat());
    m.essTail = SmallerUnlessUndefined(TailEss(draws, 0.05), TailEss(draws, 0.95));
    return m;
}

double ConvergenceWorkspace::Rhat(std::span<const double> draws, int chainCount) {
    if (!Prepare(draws, chainCount)) return kNaN;
    ScoreBulk();
    const double bulkRhat = SplitRhat();
    ScoreFolded();
    return LargerUnlessUndefined(bulkRhat, SplitRhat());
}

double ConvergenceWorkspace::BulkEss(std::span<const double> draws, int chainCount) {
    if (!Prepare(draws, chainCount)) return kNaN;
    ScoreBulk();
    return SplitEss();
}

// Sorts the draws once; every measure reads this order. False when no measure is defined.
bool ConvergenceWorkspace::Prepare(std::span<const double> draws, int chainCount) {
    if (chainCount <= 0 || draws.size() % static_cast<std::size_t>(chainCount) != 0) {
        throw std::invalid_argument("convergence measures: the draws do not divide into the chains");
    }
    if (draws.size() > std::numeric_limits<std::int32_t>::max()) {
        throw std::invalid_argument("convergence measures: too many draws");
    }
    if (draws.empty()) return false;
    for (double x : draws) {
        if (!std::isfinite(x)) return false;
    }
    SetShape(draws.size(), static_cast<std::size_t>(chainCount));
    sorted_.Sort(draws);
    const std::span<const double> values = sorted_.Values();
    const std::span<const std::uint32_t> positions = sorted_.Positions();
    std::size_t kept = 0;
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (slot_[positions[k]] < 0) continue;
        keptValues_[kept] = values[k];
        keptDraws_[kept] = positions[k];
        ++kept;
    }
    return true;
}

void ConvergenceWorkspace::SetShape(std::size_t drawCount, std::size_t chainCount) {
    if (drawCount == shapeDraws_ && chainCount == shapeChains_) return;
    shapeDraws_ = drawCount;
    shapeChains_ = chainCount;
    const std::size_t length = drawCount / chainCount;
    // A chain of one draw is not split (as posterior does it).
    const std::size_t half = length == 1 ? 1 : length / 2;
    splitChains_ = length == 1 ? chainCount : 2 * chainCount;
    splitLength_ = half;
    slot_.resize(drawCount);
    for (std::size_t c = 0; c < chainCount; ++c) {
        for (std::size_t i = 0; i < length; ++i) {
            std::int32_t slot = -1;
            if (length == 1) {
                slot = static_cast<std::int32_t>(c);
            } else if (i < half) {
                slot = static_cast<std::int32_t>(2 * c * half + i);
            } else if (i >= length - half) {
                slot = static_cast<std::int32_t>((2 * c + 1) * half + i - (length - half));
            }
            slot_[c * length + i] = slot;
        }
    }
    const std::size_t kept = splitChains_ * splitLength_;
    keptValues_.resize(kept);
    keptDraws_.resize(kept);
    foldedValues_.resize(kept);
    foldedDraws_.resize(kept);
    split_.resize(kept);
    normalScores_.assign(2 * kept + 1, kNaN);
    chainMeans_.resize(splitChains_);
    chainVariances_.resize(splitChains_);
    rho_.resize(splitLength_);
}

void ConvergenceWorkspace::ScoreBulk() {
    ScoreSorted(keptValues_.data(), keptDraws_.data(), keptValues_.size());
}

// |x - median| in ascending order by merging outward from the median: the draws below it in
// descending order with those at or above it in ascending order.
void ConvergenceWorkspace::ScoreFolded() {
    const std::span<const double> sorted = sorted_.Values();
    const std::size_t n = sorted.size();
    const double median =
        n % 2 == 1 ? sorted[n / 2] : SampleMean(std::array{sorted[n / 2 - 1], sorted[n / 2]});
    const std::size_t kept = keptValues_.size();
    std::size_t below = static_cast<std::size_t>(
        std::lower_bound(keptValues_.begin(), keptValues_.end(), median) - keptValues_.begin());
    std::size_t above = below;
    for (std::size_t k = 0; k < kept; ++k) {
        const double down = below > 0 ? std::fabs(keptValues_[below - 1] - median) : 0.0;
        const double up = above < kept ? std::fabs(keptValues_[above] - median) : 0.0;
        std::size_t from;
        if (above == kept || (below > 0 && down < up)) {
            from = --below;
            foldedValues_[k] = down;
        } else {
            from = above++;
            foldedValues_[k] = up;
        }
        foldedDraws_[k] = keptDraws_[from];
    }
    ScoreSorted(foldedValues_.data(), foldedDraws_.data(), kept);
}

// The rank-normalised scores of sorted values into split_; ties share their average rank.
void ConvergenceWorkspace::ScoreSorted(const double* keys, const std::uint32_t* draws, std::size_t count) {
    // Distinct ranks give scores far more than machine epsilon apart.
    splitConstant_ = keys[0] == keys[count - 1];
    for (std::size_t first = 0; first < count;) {
        std::size_t last = first;
        while (last + 1 < count && keys[last + 1] == keys[first]) ++last;
        const double score = Score(first + last + 2);
        for (std::size_t k = first; k <= last; ++k) split_[static_cast<std::size_t>(slot_[draws[k]])] = score;
        first = last + 1;
    }
}

double ConvergenceWorkspace::Score(std::size_t twiceRank) {
    double& score = normalScores_[twiceRank];
    if (std::isnan(score)) {
        const double rank = static_cast<double>(twiceRank) / 2.0;
        const double count = static_cast<double>(split_.size());
        score = NormalQuantile((rank - kRankOffset) / (count - 2.0 * kRankOffset + 1.0));
    }
    return score;
}

double ConvergenceWorkspace::SplitRhat() {
    if (splitConstant_ || splitLength_ < 2 || splitChains_ < 2) return kNaN;
    const std::span<const double> values(split_);
    for (std::size_t c = 0; c < splitChains_; ++c) {
        const std::span<const double> chain = values.subspan(c * splitLength_, splitLength_);
        chainMeans_[c] = ChainMean(chain);
        chainVariances_[c] = ChainVariance(chain, chainMeans_[c]);
    }
    const double n = static_cast<double>(splitLength_);
    const double between = n * SampleVariance(chainMeans_, SampleMean(chainMeans_));
    const double within = SampleMean(chainVariances_);
    return std::sqrt((between / within + n - 1) / n);
}

// Geyer's initial positive sequence, made monotone, with posterior's bound on the
// autocorrelation time.
double ConvergenceWorkspace::SplitEss() {
    const std::size_t length = splitLength_;
    if (length < 3 || splitConstant_) return kNaN;
    MeanAutocovariance& acov = autocovariance_;
    acov.Reset(split_, splitChains_, length);
    const double n = static_cast<double>(length);
    const double meanVar = acov.Lag(0) * n / (n - 1);
    double varPlus = meanVar * (n - 1) / n;
    if (splitChains_ > 1) varPlus += SampleVariance(acov.ChainMeans(), SampleMean(acov.ChainMeans()));
    const auto rho = [&](std::size_t lag) { return 1 - (meanVar - acov.Lag(lag)) / varPlus; };
    std::vector<double>& r = rho_;
    std::size_t t = 0;
    double even = 1.0;
    double odd = rho(1);
    r[0] = even;
    r[1] = odd;
    while (t + 5 < length && !std::isnan(even + odd) && even + odd > 0) {
        t += 2;
        even = rho(t);
        odd = rho(t + 1);
        const bool positive = even + odd >= 0;
        r[t] = positive ? even : 0.0;
        r[t + 1] = positive ? odd : 0.0;
    }
    const std::size_t maxT = t;
    if (even > 0) r[maxT] = even;
    for (t = 2; t + 2 <= maxT; t += 2) {
        if (r[t] + r[t + 1] > r[t - 2] + r[t - 1]) {
            r[t] = (r[t - 2] + r[t - 1]) / 2;
            r[t + 1] = r[t];
        }
    }
    // posterior sums r[0, maxT) with R's 1:maxT, which for maxT = 0 still takes r[0].
    long double sum = maxT == 0 ? r[0] : 0.0L;
    for (std::size_t k = 0; k < maxT; ++k) sum += r[k];
    double tau = -1 + 2 * static_cast<double>(sum) + r[maxT];
    const double draws = static_cast<double>(splitChains_ * length);
    tau = std::max(tau, 1 / std::log10(draws));
    return draws / tau;
}

// The ESS of the indicator of the draws at or below the quantile (R's type 7) of all draws.
double ConvergenceWorkspace::TailEss(std::span<const double> draws, double probability) {
    const std::span<const double> sorted = sorted_.Values();
    const std::size_t n = sorted.size();
    if (std::fabs(sorted.back() - sorted.front()) < std::numeric_limits<double>::epsilon()) {
        return kNaN;
    }
    const double index = 1 + static_cast<double>(n - 1) * probability;
    const double low = std::floor(index);
    const double high = std::ceil(index);
    const double atLow = sorted[static_cast<std::size_t>(low) - 1];
    const double atHigh = sorted[static_cast<std::size_t>(high) - 1];
    double quantile = atLow;
    if (index > low && atHigh != atLow) {
        const double h = index - low;
        quantile = (1 - h) * atLow + h * atHigh;
    }
    std::size_t below = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (slot_[i] < 0) continue;
        const bool at = draws[i] <= quantile;
        split_[static_cast<std::size_t>(slot_[i])] = at ? 1.0 : 0.0;
        below += at ? 1 : 0;
    }
    splitConstant_ = below == 0 || below == split_.size();
    return SplitEss();
}

}  // namespace ombrel
