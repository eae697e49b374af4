#include "estimator/diagnostics/Autocovariance.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "estimator/diagnostics/SampleMoments.h"

namespace ombrel {
namespace {

// Four partial sums let the additions overlap; the order is fixed, so the result is reproducible.
double Dot(const double* a, const double* b, std::size_t n) {
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        s0 += a[i] * b[i];
        s1 += a[i + 1] * b[i + 1];
        s2 += a[i + 2] * b[i + 2];
        s3 += a[i + 3] * b[i + 3];
    }
    for (; i < n; ++i) s0 += a[i] * b[i];
    return (s0 + s1) + (s2 + s3);
}

// Where the transform of all lags becomes cheaper than more direct sums, per level of the transform
// (measured with convergence_benchmark).
constexpr std::size_t kDirectLagsPerLevel = 5;

std::size_t PowerOfTwoAtLeast(std::size_t n) {
    std::size_t m = 1;
    while (m < n) m *= 2;
    return m;
}

}  // namespace

void MeanAutocovariance::Reset(std::span<const double> values, std::size_t chainCount, std::size_t length) {
    chains_ = chainCount;
    length_ = length;
    centred_.resize(chainCount * length);
    means_.resize(chainCount);
    weights_.resize(chainCount);
    lags_.resize(length);
    const double n = static_cast<double>(length);
    long double lagZero = 0.0L;
    for (std::size_t c = 0; c < chainCount; ++c) {
        const std::span<const double> chain = values.subspan(c * length, length);
        const double mean = ChainMean(chain);
        const double variance = ChainVariance(chain, mean);
        double* centred = centred_.data() + c * length;
        for (std::size_t i = 0; i < length; ++i) centred[i] = chain[i] - mean;
        means_[c] = mean;
        // The chain's lag-k sum over its lag-0 sum times its variance with divisor n: exactly the
        // variance at lag 0, and zero throughout for a constant chain.
        const double scale = variance * (n - 1) / n;
        const double sumOfSquares = Dot(centred, centred, length);
        weights_[c] = variance == 0.0 ? 0.0 : scale / sumOfSquares;
        if (variance != 0.0) lagZero += scale;
    }
    lags_[0] = static_cast<double>(lagZero / static_cast<long double>(chainCount));
    known_ = 1;
    const std::size_t fftSize = PowerOfTwoAtLeast(2 * length);
    directLimit_ = kDirectLagsPerLevel * static_cast<std::size_t>(std::log2(static_cast<double>(fftSize)));
}

double MeanAutocovariance::Lag(std::size_t lag) {
    if (lag >= known_) {
        if (lag < directLimit_) {
            DirectLags(lag);
        } else {
            RemainingLagsByFft();
        }
    }
    return lags_[lag];
}

void MeanAutocovariance::DirectLags(std::size_t last) {
    for (std::size_t k = known_; k <= last; ++k) {
        double sum = 0.0;
        for (std::size_t c = 0; c < chains_; ++c) {
            if (weights_[c] == 0.0) continue;
            const double* x = centred_.data() + c * length_;
            sum += weights_[c] * Dot(x, x + k, length_ - k);
        }
        lags_[k] = sum / static_cast<double>(chains_);
    }
    known_ = last + 1;
}

// Two real chains go into one complex transform as its real and imaginary parts; their power
// spectra separate by symmetry, are weighted and summed over the chains, and one transform of the
// sum gives the weighted lag sums of all chains together.
void MeanAutocovariance::RemainingLagsByFft() {
    PrepareTransform();
    const std::size_t m = fftSize_;
    std::fill(power_.begin(), power_.end(), 0.0);
    for (std::size_t c = 0; c < chains_; c += 2) {
        const bool pair = c + 1 < chains_;
        std::fill(re_.begin(), re_.end(), 0.0);
        std::fill(im_.begin(), im_.end(), 0.0);
        std::copy_n(centred_.data() + c * length_, length_, re_.data());
        if (pair) std::copy_n(centred_.data() + (c + 1) * length_, length_, im_.data());
        Transform(re_.data(), im_.data());
        const double wa = weights_[c];
        const double wb = pair ? weights_[c + 1] : 0.0;
        for (std::size_t k = 0; k < m; ++k) {
            const std::size_t mk = (m - k) & (m - 1);
            const double both = re_[k] * re_[k] + im_[k] * im_[k] + re_[mk] * re_[mk] + im_[mk] * im_[mk];
            const double cross = 2.0 * (re_[k] * re_[mk] - im_[k] * im_[mk]);
            power_[k] += (wa * (both + cross) + wb * (both - cross)) / 4.0;
        }
    }
    // The summed spectrum is real and even, so the forward transform is the inverse up to 1/m.
    std::copy(power_.begin(), power_.end(), re_.begin());
    std::fill(im_.begin(), im_.end(), 0.0);
    Transform(re_.data(), im_.data());
    const double divisor = static_cast<double>(m) * static_cast<double>(chains_);
    for (std::size_t k = known_; k < length_; ++k) lags_[k] = re_[k] / divisor;
    known_ = length_;
}

void MeanAutocovariance::PrepareTransform() {
    const std::size_t m = PowerOfTwoAtLeast(2 * length_);
    re_.resize(m);
    im_.resize(m);
    power_.resize(m);
    if (m == fftSize_) return;
    fftSize_ = m;
    // The factors of each stage side by side, the stage of span s at [s, 2s): the butterflies of a
    // stage then read them in order.
    cos_.resize(m);
    sin_.resize(m);
    for (std::size_t span = 1; span < m; span *= 2) {
        for (std::size_t k = 0; k < span; ++k) {
            const double angle = std::numbers::pi * static_cast<double>(k) / static_cast<double>(span);
            cos_[span + k] = std::cos(angle);
            sin_[span + k] = -std::sin(angle);
        }
    }
    reversed_.resize(m);
    int bits = 0;
    while ((std::size_t{1} << bits) < m) ++bits;
    for (std::size_t i = 0; i < m; ++i) {
        std::uint32_t r = 0;
        for (int b = 0; b < bits; ++b) r |= static_cast<std::uint32_t>((i >> b) & 1) << (bits - 1 - b);
        reversed_[i] = r;
    }
}

// Iterative radix-2 decimation in time, in place.
void MeanAutocovariance::Transform(double* re, double* im) const {
    const std::size_t m = fftSize_;
    for (std::size_t i = 0; i < m; ++i) {
        const std::size_t j = reversed_[i];
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    for (std::size_t span = 1; span < m; span *= 2) {
        const double* wr = cos_.data() + span;
        const double* wi = sin_.data() + span;
        for (std::size_t start = 0; start < m; start += 2 * span) {
            double* ar = re + start;
            double* ai = im + start;
            double* br = ar + span;
            double* bi = ai + span;
            for (std::size_t k = 0; k < span; ++k) {
                const double tr = wr[k] * br[k] - wi[k] * bi[k];
                const double ti = wr[k] * bi[k] + wi[k] * br[k];
                br[k] = ar[k] - tr;
                bi[k] = ai[k] - ti;
                ar[k] += tr;
                ai[k] += ti;
            }
        }
    }
}

}  // namespace ombrel
