#pragma once

// Means and variances: in extended precision with R's correction pass for the reported mean and
// standard deviation of the draws (a quantity far from zero that hardly moves keeps its digits),
// and in double precision for the scores of the halves, values of order one.

#include <span>

namespace ombrel {

// The mean with one correction pass over the residuals; NaN for no values.
double SampleMean(std::span<const double> values);

// The variance with divisor n - 1 around the given mean; NaN for fewer than two values.
double SampleVariance(std::span<const double> values, double mean);

// The mean and the variance (divisor n - 1, NaN for fewer than two values) in double precision,
// four partial sums in a fixed order.
double ChainMean(std::span<const double> values);
double ChainVariance(std::span<const double> values, double mean);

}  // namespace ombrel
