#include "estimator/chain/MatrixAlgebra.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace ombrel {
namespace {

SquareMatrix MakeMatrix(const std::vector<std::vector<double>>& rows) {
    SquareMatrix m(static_cast<int>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        for (size_t j = 0; j < rows.size(); ++j) m(static_cast<int>(i), static_cast<int>(j)) = rows[i][j];
    }
    return m;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// ---- Cholesky ----

TEST(CholeskyFactor, MatchesTheHandComputedFactor) {
    // A = L * L' with L = [[2, 0, 0], [1, 3, 0], [-1, 1, 2]], worked column by column:
    // column 0 = A[.][0] / 2; what is left is [[9, 3], [3, 5]]; column 1 = [9, 3] / 3; then 5 - 1 = 4.
    SquareMatrix a = MakeMatrix({{4, 2, -2}, {2, 10, 2}, {-2, 2, 6}});
    SquareMatrix l(3);
    l.Fill(7.0);  // stale contents must not survive
    CholeskyFactor(a, l);
    const double expected[3][3] = {{2, 0, 0}, {1, 3, 0}, {-1, 1, 2}};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            EXPECT_DOUBLE_EQ(l(i, j), expected[i][j]) << i << "," << j;
            if (j > i) {
                EXPECT_TRUE(SameBits(l(i, j), 0.0)) << "upper triangle must be +0";
            }
        }
    }
}

TEST(CholeskyFactor, NonPositivePivotGivesAZeroColumn) {
    // Rank one: after column 0 the remaining pivot is exactly 0.
    SquareMatrix a = MakeMatrix({{1, 1}, {1, 1}});
    SquareMatrix l(2);
    CholeskyFactor(a, l);
    EXPECT_EQ(l(0, 0), 1.0);
    EXPECT_EQ(l(1, 0), 1.0);
    EXPECT_EQ(l(1, 1), 0.0);

    // A negative pivot is no failure either: its column is zero and the rest goes on.
    SquareMatrix b = MakeMatrix({{-1, 0.5}, {0.5, 4}});
    CholeskyFactor(b, l);
    EXPECT_EQ(l(0, 0), 0.0);
    EXPECT_EQ(l(1, 0), 0.0);
    EXPECT_EQ(l(1, 1), 2.0);
}

// ---- InvertMatrix ----

// Column-major, 1-based work array of an order-n matrix given row by row.
std::vector<double> ToWork(const std::vector<std::vector<double>>& rows) {
    const int n = static_cast<int>(rows.size());
    std::vector<double> work(static_cast<size_t>(n * n + 1), -99.0);
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) work[static_cast<size_t>(i + (j - 1) * n)] = rows[i - 1][j - 1];
    }
    return work;
}

double At(const std::vector<double>& work, int n, int i, int j) {
    return work[static_cast<size_t>(i + (j - 1) * n)];
}

TEST(InvertMatrix, InvertsWithoutPivoting) {
    // [[4, 7], [2, 6]]^-1 = [[0.6, -0.7], [-0.2, 0.4]], determinant 10.
    std::vector<double> work = ToWork({{4, 7}, {2, 6}});
    EXPECT_DOUBLE_EQ(InvertMatrix(2, work.data()), 10.0);
    EXPECT_DOUBLE_EQ(At(work, 2, 1, 1), 0.6);
    EXPECT_DOUBLE_EQ(At(work, 2, 1, 2), -0.7);
    EXPECT_DOUBLE_EQ(At(work, 2, 2, 1), -0.2);
    EXPECT_DOUBLE_EQ(At(work, 2, 2, 2), 0.4);
    EXPECT_EQ(work[0], -99.0) << "position 0 is not part of the matrix";
}

TEST(InvertMatrix, ExchangesRowsWithTheSignRule) {
    // The first pivot is A(2, 1) = 2: a row exchange only. Inverse [[0, 0.5], [1, 0]], determinant -2
    // (the sign change of the exchanged row keeps the product of pivots equal to the determinant).
    std::vector<double> work = ToWork({{0, 1}, {2, 0}});
    EXPECT_EQ(InvertMatrix(2, work.data()), -2.0);
    EXPECT_EQ(At(work, 2, 1, 1), 0.0);
    EXPECT_EQ(At(work, 2, 1, 2), 0.5);
    EXPECT_EQ(At(work, 2, 2, 1), 1.0);
    EXPECT_EQ(At(work, 2, 2, 2), 0.0);
}

TEST(InvertMatrix, PivotsOnRowAndColumnTogether) {
    // The largest element, 10 at (3, 3), is the first pivot: rows and columns 1 and 3 are exchanged.
    // det = 1 * (50 - 48) - 2 * (40 - 42) + 3 * (32 - 35) = -3; inverse by cofactors / -3.
    std::vector<double> work = ToWork({{1, 2, 3}, {4, 5, 6}, {7, 8, 10}});
    EXPECT_NEAR(InvertMatrix(3, work.data()), -3.0, 1e-12);
    const double expected[3][3] = {{-2.0 / 3, -4.0 / 3, 1}, {-2.0 / 3, 11.0 / 3, -2}, {1, -2, 1}};
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 3; ++j)
            EXPECT_NEAR(At(work, 3, i, j), expected[i - 1][j - 1], 1e-12) << i << "," << j;
    }
}

TEST(InvertMatrix, SingularMatrixReturnsZeroWithoutSignalling) {
    std::vector<double> work = ToWork({{1, 2}, {2, 4}});
    EXPECT_EQ(InvertMatrix(2, work.data()), 0.0);
    std::vector<double> zeros = ToWork({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    EXPECT_EQ(InvertMatrix(3, zeros.data()), 0.0);
}

TEST(InvertMatrix, OrderOneAndEmpty) {
    std::vector<double> work = {0.0, 4.0};
    EXPECT_EQ(InvertMatrix(1, work.data()), 4.0);
    EXPECT_EQ(work[1], 0.25);
    EXPECT_EQ(InvertMatrix(0, work.data()), 1.0);
}

// The elimination written out plainly, every loop in its textbook order (the reduction row
// by row, i outer), for a bitwise comparison on random matrices.
double LiteralInvert(int n, double* a) {
    auto at = [a, n](int i, int j) -> double& { return a[i + (j - 1) * n]; };
    std::vector<int> l(static_cast<size_t>(n) + 1);
    std::vector<int> m(static_cast<size_t>(n) + 1);
    double d = 1.0;
    for (int k = 1; k <= n; ++k) {
        double big = at(k, k);
        l[k] = k;
        m[k] = k;
        for (int j = k; j <= n; ++j) {
            for (int i = k; i <= n; ++i) {
                if (std::fabs(big) < std::fabs(at(i, j))) {
                    big = at(i, j);
                    l[k] = i;
                    m[k] = j;
                }
            }
        }
        if (l[k] > k) {
            for (int j = 1; j <= n; ++j) {
                const double hold = -at(k, j);
                at(k, j) = at(l[k], j);
                at(l[k], j) = hold;
            }
        }
        if (m[k] > k) {
            for (int i = 1; i <= n; ++i) {
                const double hold = -at(i, k);
                at(i, k) = at(i, m[k]);
                at(i, m[k]) = hold;
            }
        }
        if (big == 0.0) return 0.0;
        for (int i = 1; i <= n; ++i) {
            if (i != k) at(i, k) = at(i, k) / (-big);
        }
        for (int i = 1; i <= n; ++i) {
            for (int j = 1; j <= n; ++j) {
                if (i != k && j != k) at(i, j) = at(i, k) * at(k, j) + at(i, j);
            }
        }
        for (int j = 1; j <= n; ++j) {
            if (j != k) at(k, j) = at(k, j) / big;
        }
        d = d * big;
        at(k, k) = 1.0 / big;
    }
    for (int k = n - 1; k >= 1; --k) {
        if (l[k] > k) {
            for (int j = 1; j <= n; ++j) {
                const double hold = at(j, k);
                at(j, k) = -at(j, l[k]);
                at(j, l[k]) = hold;
            }
        }
        if (m[k] > k) {
            for (int i = 1; i <= n; ++i) {
                const double hold = at(k, i);
                at(k, i) = -at(m[k], i);
                at(m[k], i) = hold;
            }
        }
    }
    return d;
}

TEST(InvertMatrix, BitIdenticalToTheLiteralSchemeOnRandomMatrices) {
    RandomGenerator random;
    random.SeedGenerator(31u);
    for (int trial = 0; trial < 200; ++trial) {
        const int n = 1 + trial % 17;
        std::vector<double> work(static_cast<size_t>(n * n + 1));
        for (double& x : work) x = random.DrawNormal();
        if (trial % 5 == 0) work[static_cast<size_t>(n)] = 0.0;  // some exact zeros: A(n, 1)
        std::vector<double> literal = work;
        const double d = InvertMatrix(n, work.data());
        const double dLiteral = LiteralInvert(n, literal.data());
        ASSERT_TRUE(SameBits(d, dLiteral)) << "trial " << trial;
        ASSERT_EQ(std::memcmp(work.data(), literal.data(), work.size() * sizeof(double)), 0)
            << "trial " << trial;
    }
}

// ---- Correlated normal ----

TEST(DrawCorrelatedNormal, IsTheFactorTimesNormalsDrawnInIndexOrder) {
    SquareMatrix factor = MakeMatrix({{2, 0, 0}, {1, 3, 0}, {-1, 1, 2}});
    RandomGenerator random;
    RandomGenerator twin;
    random.SeedGenerator(4u);
    twin.SeedGenerator(4u);
    double scratch[3];
    double output[3];
    DrawCorrelatedNormal(factor, random, scratch, output);
    const double z0 = twin.DrawNormal();
    const double z1 = twin.DrawNormal();
    const double z2 = twin.DrawNormal();
    EXPECT_EQ(output[0], 0.0 + z0 * 2.0);
    EXPECT_EQ(output[1], 0.0 + z0 * 1.0 + z1 * 3.0);
    EXPECT_EQ(output[2], 0.0 + z0 * -1.0 + z1 * 1.0 + z2 * 2.0);
    // Three normals were used, so the next one is the cached partner of the third.
    EXPECT_EQ(random.DrawNormal(), twin.DrawNormal());
}

}  // namespace
}  // namespace ombrel
