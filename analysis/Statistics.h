#pragma once

#include <vector>

namespace ombrel {

// The arithmetic mean; 0 for no values.
double Mean(const std::vector<double>& values);
// The sample standard deviation (divisor n - 1); 0 for fewer than two values.
double SampleSd(const std::vector<double>& values);
// The p-quantile by linear interpolation between order statistics (type 7: position (n - 1) p);
// values need not be sorted. 0 for no values.
double Quantile(std::vector<double> values, double p);

}  // namespace ombrel
