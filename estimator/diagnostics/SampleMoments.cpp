#include "estimator/diagnostics/SampleMoments.h"

#include <cmath>
#include <limits>

namespace ombrel {

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

}  // namespace ombrel
