#include "estimator/diagnostics/SampleMoments.h"

#include <cmath>
#include <cstddef>
#include <limits>

namespace ombrel {
namespace {

template <typename Term>
double SumOf(std::span<const double> values, Term term) {
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    std::size_t i = 0;
    const std::size_t n = values.size();
    for (; i + 4 <= n; i += 4) {
        s0 += term(values[i]);
        s1 += term(values[i + 1]);
        s2 += term(values[i + 2]);
        s3 += term(values[i + 3]);
    }
    for (; i < n; ++i) s0 += term(values[i]);
    return (s0 + s1) + (s2 + s3);
}

}  // namespace

double SampleMean(std::span<const double> values) {
    if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
    const auto n = static_cast<long double>(values.size());
    long double sum = 0.0L;
    for (double x : values) sum += x;
    long double mean = sum / n;
    if (std::isfinite(static_cast<double>(mean))) {
        long double residual = 0.0L;
        for (double x : values) residual += x - mean;
        mean += residual / n;
    }
    return static_cast<double>(mean);
}

double SampleVariance(std::span<const double> values, double mean) {
    if (values.size() < 2) return std::numeric_limits<double>::quiet_NaN();
    long double sum = 0.0L;
    for (double x : values) {
        const long double d = x - static_cast<long double>(mean);
        sum += d * d;
    }
    return static_cast<double>(sum / static_cast<long double>(values.size() - 1));
}

double ChainMean(std::span<const double> values) {
    if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
    return SumOf(values, [](double x) { return x; }) / static_cast<double>(values.size());
}

double ChainVariance(std::span<const double> values, double mean) {
    if (values.size() < 2) return std::numeric_limits<double>::quiet_NaN();
    const double sum = SumOf(values, [mean](double x) { return (x - mean) * (x - mean); });
    return sum / static_cast<double>(values.size() - 1);
}

}  // namespace ombrel
