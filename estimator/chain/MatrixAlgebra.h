#pragma once

#include "estimator/chain/Matrix.h"
#include "estimator/chain/RandomGenerator.h"

namespace ombrel {

// Lower-triangular L with L * L^T = input, by the outer-product form; only the lower triangle of the
// input is read, and the input is destroyed. A non-positive pivot yields a zero column instead of a
// failure. The upper triangle of output is +0.0. output should have input's size (it is resized if not).
void CholeskyFactor(SquareMatrix& input, SquareMatrix& output);

// Gauss-Jordan inversion in place with complete pivoting (the classic sign-alternating scheme).
// work is 1-based: work[0] is unused and A(i, j) of the order-n matrix is work[i + (j - 1) * n].
// Returns the determinant; a zero pivot stops early, returns 0 and leaves the array partly transformed.
// n is at most 1000.
double InvertMatrix(int n, double* work);

// output = factor * z for p values z. factor must be lower-triangular (its upper triangle is not read).
void CorrelateNormals(const SquareMatrix& factor, const double* z, double* output);

// output = factor * z with z = p standard normal deviates drawn in index order into scratch.
// factor must be lower-triangular (its upper triangle is not read); scratch and output hold p values.
void DrawCorrelatedNormal(const SquareMatrix& factor, RandomGenerator& random, double* scratch,
                          double* output);

}  // namespace ombrel
