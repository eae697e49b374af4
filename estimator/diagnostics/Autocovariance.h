#pragma once

// Autocovariances of several chains of equal length, averaged over the chains lag by lag, as the
// effective sample size reads them: the lags are computed on demand, because Geyer's sum usually
// stops after a handful of lags; the first few by direct sums, and once a sum runs long (slowly
// mixing or unconverged chains) all remaining lags at once by a fast Fourier transform.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace ombrel {

class MeanAutocovariance {
public:
    // values: chainCount chains of length values each, chain after chain. Each chain's
    // autocovariance at lag k is sum_i (x_i - mean)(x_{i+k} - mean) / length, and zero at every lag
    // for a constant chain. Allocates only when the size grows.
    void Reset(std::span<const double> values, std::size_t chainCount, std::size_t length);

    // The mean over the chains of the autocovariance at lag < length.
    double Lag(std::size_t lag);

    // The chain means, in chain order.
    std::span<const double> ChainMeans() const { return means_; }

private:
    void DirectLags(std::size_t last);
    void RemainingLagsByFft();
    void PrepareTransform();
    void Transform(double* re, double* im) const;

    std::size_t chains_ = 0;
    std::size_t length_ = 0;
    std::size_t known_ = 0;        // lags_[0, known_) are computed
    std::size_t directLimit_ = 0;  // lags below it are summed directly
    std::vector<double> centred_;  // chain after chain
    std::vector<double> means_;
    std::vector<double> weights_;  // scales a chain's raw lag sums to its autocovariances
    std::vector<double> lags_;
    // The transform of size fftSize_ (a power of two at least twice the length, so that the circular
    // correlation it gives is the linear one): twiddle factors and the bit-reversal permutation.
    std::size_t fftSize_ = 0;
    std::vector<double> cos_, sin_;
    std::vector<std::uint32_t> reversed_;
    std::vector<double> re_, im_, power_;
};

}  // namespace ombrel
