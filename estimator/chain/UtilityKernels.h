#pragma once

namespace ombrel {

// sums[r] += rows[r][k] * x[k] for k = 0 .. n-1, for each r < count. Each sum adds its terms one by one
// in k order, exactly as the plain loop does; several sums run at once only so that their add chains
// overlap. count may be any non-negative number.
void AccumulateDotProducts(const double* const* rows, int count, const double* x, int n, double* sums);

// utilities[r] = sum over k < p of rows[r * p + k] * betas[k], k ascending from +0.0, for r < rowCount
// (rows of p values one after another): the same bits as the plain loop.
void ComputeUtilities(const double* rows, int rowCount, int p, const double* betas, double* utilities);

// row[j] += a * x[j] for j < n, and with y also row[j] = (row[j] + a * x[j]) + b * y[j]: the same two
// adds in the same order as two plain passes, with row[j] kept in a register between them.
void AddScaled(double* row, int n, double a, const double* x);
void AddScaledPair(double* row, int n, double a, const double* x, double b, const double* y);

}  // namespace ombrel
