#pragma once

// Means and variances summed in extended precision, as R sums them, so that the measures of
// nearly equal draws (a quantity that hardly moves) agree with R's.

#include <span>

namespace ombrel {

// The mean with one correction pass over the residuals; NaN for no values.
double SampleMean(std::span<const double> values);

// The variance with divisor n - 1 around the given mean; NaN for fewer than two values.
double SampleVariance(std::span<const double> values, double mean);

}  // namespace ombrel
