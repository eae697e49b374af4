#include "estimator/chain/MatrixAlgebra.h"

#include <cmath>
#include <cstddef>
#include <vector>

#include "estimator/chain/UtilityKernels.h"

namespace ombrel {

// Outer-product Cholesky. Column k of L comes from column k of what is left of A; then A loses the
// outer product of that column. Only the lower triangle of A below row and right of column k is ever
// read again, so only that part is updated: each entry that is read later receives exactly the same
// subtractions, in the same order, as a full update would give it. The rest of A is left as scratch.
void CholeskyFactor(SquareMatrix& input, SquareMatrix& output) {
    const int p = input.Size();
    if (output.Size() != p) output.Resize(p);
    output.Fill(0.0);
    for (int k = 0; k < p; ++k) {
        const double pivot = input(k, k);
        const double f = pivot > 0.0 ? 1.0 / std::sqrt(pivot) : 0.0;
        for (int i = k; i < p; ++i) output(i, k) = f * input(i, k);
        for (int i = k + 1; i < p; ++i) {
            double* row = input.Row(i);
            const double lik = output(i, k);
            for (int j = k + 1; j <= i; ++j) row[j] -= output(j, k) * lik;
        }
    }
}

void DrawCorrelatedNormal(const SquareMatrix& factor, RandomGenerator& random, double* scratch,
                          double* output) {
    const int p = factor.Size();
    for (int j = 0; j < p; ++j) scratch[j] = random.DrawNormal();
    CorrelateNormals(factor, scratch, output);
}

void CorrelateNormals(const SquareMatrix& factor, const double* z, double* output) {
    const int p = factor.Size();
    // The upper triangle of the factor is zero. Those terms add +-0 to a sum that started at +0.0 and
    // so can never be -0.0, which leaves the sum bit for bit as it was: they are skipped.
    // Up to eight rows at once: their common terms j <= i first, then each row's own tail, so that
    // every sum still adds its terms in j order.
    const double* rows[8];
    for (int i = 0; i < p; i += 8) {
        const int count = p - i < 8 ? p - i : 8;
        for (int r = 0; r < count; ++r) {
            rows[r] = factor.Row(i + r);
            output[i + r] = 0.0;
        }
        AccumulateDotProducts(rows, count, z, i + 1, output + i);
        for (int r = 1; r < count; ++r) {
            double sum = output[i + r];
            for (int j = i + 1; j <= i + r; ++j) sum += z[j] * rows[r][j];
            output[i + r] = sum;
        }
    }
}

namespace {

constexpr int kPivotTableOrder = 1000;

// The elimination proper. a is the 1-based column-major array: A(i, j) is a[i + (j - 1) * n].
// pivotRow and pivotColumn are 1-based tables of at least n + 1 entries.
double InvertInPlace(int n, double* a, int* pivotRow, int* pivotColumn) {
    auto at = [a, n](int i, int j) -> double& {
        return a[static_cast<std::ptrdiff_t>(i) + static_cast<std::ptrdiff_t>(j - 1) * n];
    };
    double determinant = 1.0;
    for (int k = 1; k <= n; ++k) {
        double big = at(k, k);
        pivotRow[k] = k;
        pivotColumn[k] = k;
        for (int j = k; j <= n; ++j) {
            for (int i = k; i <= n; ++i) {
                if (std::fabs(big) < std::fabs(at(i, j))) {
                    big = at(i, j);
                    pivotRow[k] = i;
                    pivotColumn[k] = j;
                }
            }
        }
        const int l = pivotRow[k];
        if (l > k) {
            for (int j = 1; j <= n; ++j) {
                const double hold = -at(k, j);
                at(k, j) = at(l, j);
                at(l, j) = hold;
            }
        }
        const int m = pivotColumn[k];
        if (m > k) {
            for (int i = 1; i <= n; ++i) {
                const double hold = -at(i, k);
                at(i, k) = at(i, m);
                at(i, m) = hold;
            }
        }
        if (big == 0.0) return 0.0;  // singular: the array stays partly transformed
        for (int i = 1; i <= n; ++i) {
            if (i != k) at(i, k) = at(i, k) / (-big);
        }
        // Every updated entry lies outside row and column k, which this step does not change, so the
        // entries are independent and are visited in storage order.
        for (int j = 1; j <= n; ++j) {
            if (j == k) continue;
            const double akj = at(k, j);
            double* column = &at(1, j);
            const double* columnK = &at(1, k);
            for (int i = 0; i < n; ++i) {
                if (i + 1 != k) column[i] += columnK[i] * akj;
            }
        }
        for (int j = 1; j <= n; ++j) {
            if (j != k) at(k, j) = at(k, j) / big;
        }
        determinant = determinant * big;
        at(k, k) = 1.0 / big;
    }
    for (int k = n - 1; k >= 1; --k) {
        const int l = pivotRow[k];
        if (l > k) {
            for (int i = 1; i <= n; ++i) {
                const double hold = at(i, k);
                at(i, k) = -at(i, l);
                at(i, l) = hold;
            }
        }
        const int m = pivotColumn[k];
        if (m > k) {
            for (int j = 1; j <= n; ++j) {
                const double hold = at(k, j);
                at(k, j) = -at(m, j);
                at(m, j) = hold;
            }
        }
    }
    return determinant;
}

}  // namespace

double InvertMatrix(int n, double* work) {
    if (n <= 0) return 1.0;
    if (n <= kPivotTableOrder) {
        // Fixed tables on the stack: no allocation during the iterations.
        int pivotRow[kPivotTableOrder + 1];
        int pivotColumn[kPivotTableOrder + 1];
        return InvertInPlace(n, work, pivotRow, pivotColumn);
    }
    // Beyond the usual capacity the tables come from the heap rather than overrunning fixed ones.
    std::vector<int> pivotRow(static_cast<size_t>(n) + 1);
    std::vector<int> pivotColumn(static_cast<size_t>(n) + 1);
    return InvertInPlace(n, work, pivotRow.data(), pivotColumn.data());
}

}  // namespace ombrel
