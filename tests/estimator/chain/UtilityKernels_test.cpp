#include "estimator/chain/UtilityKernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "estimator/chain/MatrixAlgebra.h"

namespace ombrel {
namespace {

// Values over many magnitudes and both signs, with exact zeros and signed zeros, so that any change in
// the order of the adds shows in the last bits.
std::vector<double> RandomValues(std::mt19937_64& engine, size_t count) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-30, 30);
    std::vector<double> values(count);
    for (size_t i = 0; i < count; ++i) {
        values[i] = std::ldexp(unit(engine), exponent(engine));
        if (i % 17 == 3) values[i] = 0.0;
        if (i % 23 == 5) values[i] = -0.0;
    }
    return values;
}

// The same doubles to the bit; memcmp is not to be given the null data of an empty vector.
bool SameBits(const std::vector<double>& expected, const double* actual) {
    return expected.empty() || std::memcmp(expected.data(), actual, expected.size() * sizeof(double)) == 0;
}

TEST(ComputeUtilities, GivesThePlainLoopsBitsForEveryRowCountAndLength) {
    std::mt19937_64 engine(11);
    for (int p = 1; p <= 70; ++p) {
        for (int rowCount : {0, 1, 2, 3, 5, 7, 8, 9, 13, 16, 17, 60, 61}) {
            const std::vector<double> rows = RandomValues(engine, static_cast<size_t>(rowCount * p));
            const std::vector<double> betas = RandomValues(engine, static_cast<size_t>(p));
            std::vector<double> expected(static_cast<size_t>(rowCount));
            for (int r = 0; r < rowCount; ++r) {
                double sum = 0.0;
                for (int k = 0; k < p; ++k)
                    sum += rows[static_cast<size_t>(r * p + k)] * betas[static_cast<size_t>(k)];
                expected[static_cast<size_t>(r)] = sum;
            }
            std::vector<double> actual(static_cast<size_t>(rowCount) + 1, 7.0);
            ComputeUtilities(rows.data(), rowCount, p, betas.data(), actual.data());
            ASSERT_TRUE(SameBits(expected, actual.data())) << "p = " << p << ", rows = " << rowCount;
            EXPECT_EQ(actual.back(), 7.0) << "wrote past the last row";
        }
    }
}

TEST(AccumulateDotProducts, ContinuesEachSumFromItsStartingValueOverRaggedRows) {
    std::mt19937_64 engine(12);
    for (int count = 0; count <= 19; ++count) {
        for (int n : {0, 1, 2, 3, 4, 31, 70}) {
            // Rows at different places in one buffer with odd offsets, so loads are not all aligned.
            const std::vector<double> buffer =
                RandomValues(engine, static_cast<size_t>((count + 1) * (n + 3)));
            std::vector<const double*> rows;
            for (int r = 0; r < count; ++r) rows.push_back(buffer.data() + r * (n + 3) + (r % 3));
            const std::vector<double> x = RandomValues(engine, static_cast<size_t>(n));
            std::vector<double> sums = RandomValues(engine, static_cast<size_t>(count));
            std::vector<double> expected = sums;
            for (int r = 0; r < count; ++r)
                for (int k = 0; k < n; ++k)
                    expected[static_cast<size_t>(r)] +=
                        rows[static_cast<size_t>(r)][k] * x[static_cast<size_t>(k)];
            AccumulateDotProducts(rows.data(), count, x.data(), n, sums.data());
            ASSERT_TRUE(SameBits(expected, sums.data())) << "count = " << count << ", n = " << n;
        }
    }
}

TEST(DrawCorrelatedNormal, GivesThePlainTriangularProductsBits) {
    std::mt19937_64 engine(13);
    for (int p = 1; p <= 70; ++p) {
        SquareMatrix factor(p);
        const std::vector<double> values = RandomValues(engine, static_cast<size_t>(p * p));
        for (int i = 0; i < p; ++i)
            for (int j = 0; j <= i; ++j) factor(i, j) = values[static_cast<size_t>(i * p + j)];
        RandomGenerator first;
        RandomGenerator second;
        first.SeedGenerator(static_cast<uint32_t>(p));
        second.SeedGenerator(static_cast<uint32_t>(p));
        std::vector<double> scratch(static_cast<size_t>(p));
        std::vector<double> actual(static_cast<size_t>(p));
        DrawCorrelatedNormal(factor, first, scratch.data(), actual.data());
        std::vector<double> z(static_cast<size_t>(p));
        for (int j = 0; j < p; ++j) z[static_cast<size_t>(j)] = second.DrawNormal();
        std::vector<double> expected(static_cast<size_t>(p));
        for (int i = 0; i < p; ++i) {
            double sum = 0.0;
            for (int j = 0; j <= i; ++j) sum += z[static_cast<size_t>(j)] * factor(i, j);
            expected[static_cast<size_t>(i)] = sum;
        }
        ASSERT_TRUE(SameBits(expected, actual.data())) << "p = " << p;
    }
}

}  // namespace
}  // namespace ombrel
