#include "analysis/Statistics.h"

#include <algorithm>
#include <cmath>

namespace ombrel {

double Mean(const std::vector<double>& values) {
    if (values.empty()) return 0.0;
    double sum = 0.0;
    for (double value : values) sum += value;
    return sum / static_cast<double>(values.size());
}

double SampleSd(const std::vector<double>& values) {
    if (values.size() < 2) return 0.0;
    const double mean = Mean(values);
    double squares = 0.0;
    for (double value : values) squares += (value - mean) * (value - mean);
    return std::sqrt(squares / static_cast<double>(values.size() - 1));
}

double Quantile(std::vector<double> values, double p) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const double position = static_cast<double>(values.size() - 1) * p;
    const size_t below = static_cast<size_t>(std::floor(position));
    const size_t above = std::min(below + 1, values.size() - 1);
    const double fraction = position - static_cast<double>(below);
    return values[below] + fraction * (values[above] - values[below]);
}

}  // namespace ombrel
