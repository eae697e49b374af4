#include "estimator/chain/PopulationDraws.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "common/OmbrelError.h"
#include "estimator/chain/MatrixAlgebra.h"
#include "estimator/files/AttributeModel.h"

namespace ombrel {
namespace {

using Rows = std::vector<std::vector<double>>;

bool SameBits(const SquareMatrix& a, const Rows& b) {
    for (int i = 0; i < a.Size(); ++i) {
        if (std::memcmp(a.Row(i), b[static_cast<size_t>(i)].data(),
                        sizeof(double) * static_cast<size_t>(a.Size())) != 0) {
            return false;
        }
    }
    return true;
}

// ---- The literal algorithms, for bitwise comparison with the tuned ones ----------------------------
// Full loops everywhere: no skipped zeros, no symmetric shortcuts.

void LiteralCholesky(Rows& a, Rows& l) {
    const size_t p = a.size();
    l.assign(p, std::vector<double>(p, 0.0));
    for (size_t k = 0; k < p; ++k) {
        const double pivot = a[k][k];
        const double f = pivot > 0.0 ? 1.0 / std::sqrt(pivot) : 0.0;
        for (size_t i = k; i < p; ++i) l[i][k] = f * a[i][k];
        for (size_t i = 0; i < p; ++i) {
            for (size_t j = 0; j < p; ++j) a[i][j] -= l[j][k] * l[i][k];
        }
    }
}

std::vector<double> LiteralCorrelatedNormal(const Rows& l, RandomGenerator& random) {
    const size_t p = l.size();
    std::vector<double> z(p);
    for (size_t j = 0; j < p; ++j) z[j] = random.DrawNormal();
    std::vector<double> out(p, 0.0);
    for (size_t i = 0; i < p; ++i) {
        for (size_t j = 0; j < p; ++j) out[i] += z[j] * l[i][j];
    }
    return out;
}

void LiteralInvertRows(Rows& m) {
    const int p = static_cast<int>(m.size());
    std::vector<double> work(static_cast<size_t>(p * p + 1));
    for (int r = 0; r < p; ++r) {
        for (int s = 0; s < p; ++s) work[static_cast<size_t>(1 + r * p + s)] = m[r][s];
    }
    InvertMatrix(p, work.data());  // checked bitwise against the literal scheme in its own tests
    for (int r = 0; r < p; ++r) {
        for (int s = 0; s < p; ++s) m[r][s] = work[static_cast<size_t>(1 + r * p + s)];
    }
}

struct LiteralPopulation {
    std::vector<double> alpha;
    Rows covariance;
    Rows covarianceInverse;
    Rows prior;
};

void LiteralDrawAlpha(LiteralPopulation& state, const std::vector<double>& meanBetas, int n,
                      RandomGenerator& random) {
    const size_t p = state.alpha.size();
    Rows input(p, std::vector<double>(p));
    for (size_t i = 0; i < p; ++i) {
        for (size_t j = 0; j < p; ++j) input[i][j] = state.covariance[i][j] / n;
    }
    Rows l;
    LiteralCholesky(input, l);
    std::vector<double> z(p);
    for (size_t j = 0; j < p; ++j) z[j] = random.DrawNormal();
    for (size_t i = 0; i < p; ++i) {
        double sum = 0.0;
        for (size_t j = 0; j < p; ++j) sum += l[i][j] * z[j];
        state.alpha[i] = meanBetas[i] + sum;
    }
}

void LiteralDrawCovariance(LiteralPopulation& state, const RespondentStore& store, int d,
                           RandomGenerator& random) {
    const int p = static_cast<int>(state.alpha.size());
    Rows s(static_cast<size_t>(p), std::vector<double>(static_cast<size_t>(p)));
    for (int i = 0; i < p; ++i) {
        for (int j = 0; j < p; ++j) s[i][j] = (p + d) * state.prior[i][j];
    }
    for (int r = 0; r < store.Count(); ++r) {
        std::vector<double> e(static_cast<size_t>(p));
        for (int i = 0; i < p; ++i) e[i] = store.Betas(r)[i] - state.alpha[i];
        for (int i = 0; i < p; ++i) {
            for (int j = 0; j < p; ++j) s[i][j] += e[i] * e[j];
        }
    }
    const int nu = store.Count() + d + p;
    for (auto& row : s) {
        for (double& x : row) x = x * (1.0 / nu);
    }
    LiteralInvertRows(s);
    for (auto& row : s) {
        for (double& x : row) x = x / nu;
    }
    Rows l;
    LiteralCholesky(s, l);
    Rows accumulator(static_cast<size_t>(p), std::vector<double>(static_cast<size_t>(p), 0.0));
    for (int draw = 0; draw < nu; ++draw) {
        const std::vector<double> v = LiteralCorrelatedNormal(l, random);
        for (int i = 0; i < p; ++i) {
            for (int j = 0; j < p; ++j) accumulator[i][j] += v[i] * v[j];
        }
    }
    state.covarianceInverse = accumulator;
    LiteralInvertRows(accumulator);
    state.covariance = accumulator;
}

// A random symmetric positive definite matrix B * B' / p + diagonal.
Rows RandomCovariance(int p, RandomGenerator& random) {
    Rows b(static_cast<size_t>(p), std::vector<double>(static_cast<size_t>(p)));
    for (auto& row : b) {
        for (double& x : row) x = random.DrawNormal();
    }
    Rows c(static_cast<size_t>(p), std::vector<double>(static_cast<size_t>(p), 0.0));
    for (int i = 0; i < p; ++i) {
        for (int j = 0; j < p; ++j) {
            for (int k = 0; k < p; ++k) c[i][j] += b[i][k] * b[j][k];
            c[i][j] /= p;
        }
        c[i][i] += 0.5;
    }
    // Mirror, so that the matrix is symmetric bit for bit.
    for (int i = 0; i < p; ++i) {
        for (int j = 0; j < i; ++j) c[j][i] = c[i][j];
    }
    return c;
}

void Load(SquareMatrix& m, const Rows& rows) {
    for (int i = 0; i < m.Size(); ++i) {
        for (int j = 0; j < m.Size(); ++j) m(i, j) = rows[i][j];
    }
}

TEST(CholeskyFactor, BitIdenticalToTheFullOuterProductForm) {
    RandomGenerator random;
    random.SeedGenerator(11u);
    for (int p = 1; p <= 15; ++p) {
        Rows a = RandomCovariance(p, random);
        if (p > 3) {
            a[2].assign(static_cast<size_t>(p), 0.0);  // a zero row and column: a zero pivot
            for (auto& row : a) row[2] = 0.0;
            a[1][1] = -a[1][1];  // a negative pivot
        }
        SquareMatrix input(p);
        Load(input, a);
        SquareMatrix output(p);
        CholeskyFactor(input, output);
        Rows l;
        LiteralCholesky(a, l);
        ASSERT_TRUE(SameBits(output, l)) << "p = " << p;
    }
}

TEST(DrawCorrelatedNormal, BitIdenticalToTheFullRowSum) {
    RandomGenerator random;
    random.SeedGenerator(12u);
    for (int p = 1; p <= 15; ++p) {
        Rows a = RandomCovariance(p, random);
        SquareMatrix input(p);
        Load(input, a);
        SquareMatrix factor(p);
        CholeskyFactor(input, factor);
        Rows l(static_cast<size_t>(p), std::vector<double>(static_cast<size_t>(p)));
        for (int i = 0; i < p; ++i) {
            for (int j = 0; j < p; ++j) l[i][j] = factor(i, j);
        }
        RandomGenerator mine;
        RandomGenerator twin;
        mine.SeedGenerator(static_cast<uint32_t>(p));
        twin.SeedGenerator(static_cast<uint32_t>(p));
        std::vector<double> scratch(static_cast<size_t>(p));
        std::vector<double> output(static_cast<size_t>(p));
        for (int draw = 0; draw < 50; ++draw) {
            DrawCorrelatedNormal(factor, mine, scratch.data(), output.data());
            const std::vector<double> expected = LiteralCorrelatedNormal(l, twin);
            ASSERT_EQ(std::memcmp(output.data(), expected.data(), sizeof(double) * static_cast<size_t>(p)),
                      0);
        }
    }
}

// A run's population step, several iterations in a row, against the literal algorithms: every draw in
// the same order, every sum over the same terms in the same order.
// With drawAhead the deviates come as the chain takes them, drawn ahead in one run of parts, and the
// sums are shared among a pool of threads (none for 1).
void CompareIterations(int p, int respondents, int d, const Rows& prior, uint32_t seed,
                       bool drawAhead = false, int threads = 1) {
    RandomGenerator setup;
    setup.SeedGenerator(seed + 1000u);
    PopulationState state;
    state.Resize(p);
    LiteralPopulation literal;
    literal.alpha.assign(static_cast<size_t>(p), 0.0);
    literal.covariance = RandomCovariance(p, setup);
    literal.prior = prior;
    Load(state.covariance, literal.covariance);
    Load(state.priorCovariance, prior);

    RespondentStore store(p);
    std::vector<double> betas(static_cast<size_t>(p));
    for (int r = 0; r < respondents; ++r) {
        for (double& b : betas) b = 1.5 * setup.DrawNormal() + 0.25;
        store.Append(r + 1, betas.data(), -1.0);
    }
    std::vector<double> meanBetas(static_cast<size_t>(p), 0.0);
    for (int r = 0; r < respondents; ++r) {
        for (int k = 0; k < p; ++k) meanBetas[k] += store.Betas(r)[k];
    }
    for (double& m : meanBetas) m /= respondents;

    RandomGenerator mine;
    RandomGenerator twin;
    mine.SeedGenerator(seed);
    twin.SeedGenerator(seed);
    std::unique_ptr<WorkerPool> pool = threads > 1 ? std::make_unique<WorkerPool>(threads) : nullptr;
    const int nu = WishartDegrees(respondents, d, p);
    std::vector<NormalParts> ahead(static_cast<size_t>(p + WishartNormalsDrawnAhead(nu, p)));
    for (int iteration = 0; iteration < 4; ++iteration) {
        if (drawAhead) {
            mine.DrawNormalParts(ahead.data(), static_cast<int64_t>(ahead.size()));
            DrawAlpha(state, meanBetas.data(), respondents, mine, ahead.data());
        } else {
            DrawAlpha(state, meanBetas.data(), respondents, mine);
        }
        LiteralDrawAlpha(literal, meanBetas, respondents, twin);
        ASSERT_EQ(
            std::memcmp(state.alpha.data(), literal.alpha.data(), sizeof(double) * static_cast<size_t>(p)), 0)
            << "alpha, iteration " << iteration;
        DrawCovariance(state, store, d, mine, drawAhead ? ahead.data() + p : nullptr, pool.get());
        LiteralDrawCovariance(literal, store, d, twin);
        ASSERT_TRUE(SameBits(state.covariance, literal.covariance)) << "covariance, iteration " << iteration;
        ASSERT_TRUE(SameBits(state.covarianceInverse, literal.covarianceInverse))
            << "inverse, iteration " << iteration;
        // Both generators stand at the same place, the normal cache included.
        ASSERT_EQ(mine.DrawNormal(), twin.DrawNormal());
    }
}

TEST(PopulationDraws, BitIdenticalToTheLiteralAlgorithmsWithASymmetricPrior) {
    RandomGenerator random;
    random.SeedGenerator(5u);
    for (int p : {1, 2, 5, 13}) {
        Rows prior = RandomCovariance(p, random);
        prior[0][0] = -0.0 + prior[0][0];
        CompareIterations(p, 37, 5, prior, static_cast<uint32_t>(p));
    }
}

TEST(PopulationDraws, BitIdenticalWithDeviatesDrawnAheadAndSumsSharedAmongThreads) {
    RandomGenerator random;
    random.SeedGenerator(8u);
    for (int threads : {1, 2, 3, 8}) {
        for (int p : {1, 5, 13}) {
            Rows prior = RandomCovariance(p, random);
            CompareIterations(p, 37, 5, prior, 60u + static_cast<uint32_t>(p), true, threads);
        }
        // A custom prior that is not symmetric sums full rows.
        Rows asymmetric = RandomCovariance(4, random);
        asymmetric[0][1] += 0.125;
        CompareIterations(4, 23, 7, asymmetric, 70u, true, threads);
    }
}

TEST(PopulationDraws, BitIdenticalOverSeveralWishartBlocks) {
    // nu = 2 * kWishartBlockDraws + 3: two whole blocks and a last one of three draws, whose final draw
    // has no partner; only the first block's deviates are drawn ahead.
    RandomGenerator random;
    random.SeedGenerator(9u);
    const int p = 2;
    const int d = 4;
    const int respondents = 2 * kWishartBlockDraws + 3 - d - p;
    Rows prior = RandomCovariance(p, random);
    for (int threads : {1, 2}) {
        CompareIterations(p, respondents, d, prior, 80u, false, threads);
        CompareIterations(p, respondents, d, prior, 81u, true, threads);
    }
}

TEST(PopulationDraws, BitIdenticalWithAnAsymmetricPriorAndSignedZeros) {
    // A custom ".mtrx" prior need not be symmetric; the scale matrix is then summed in full.
    RandomGenerator random;
    random.SeedGenerator(6u);
    for (int p : {2, 4, 9}) {
        Rows prior = RandomCovariance(p, random);
        prior[0][1] += 0.125;
        prior[1][0] = 0.0;
        if (p > 2) {
            prior[2][0] = -0.0;
            prior[0][2] = 0.0;
        }
        CompareIterations(p, 23, 7, prior, 40u + static_cast<uint32_t>(p));
    }
}

TEST(DrawCovariance, NuCountsEveryRespondentPriorDegreeAndParameter) {
    // N = 1, p = 3, d = 5: nu = 9 outer products of 3 normals each, 27 normals in all.
    PopulationState state;
    state.Resize(3);
    state.priorCovariance.SetIdentity();
    RespondentStore store(3);
    const double betas[3] = {0.5, -1.0, 2.0};
    store.Append(7, betas, 0.0);
    RandomGenerator random;
    RandomGenerator twin;
    random.SeedGenerator(321u);
    twin.SeedGenerator(321u);
    DrawCovariance(state, store, 5, random);
    for (int i = 0; i < 27; ++i) twin.DrawNormal();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(random.DrawNormal(), twin.DrawNormal()) << "after " << 27 + i;
}

TEST(DrawAlpha, RefusesAnEmptyStudy) {
    PopulationState state;
    state.Resize(2);
    state.covariance.SetIdentity();
    const double meanBetas[2] = {0.0, 0.0};
    RandomGenerator random;
    EXPECT_THROW(DrawAlpha(state, meanBetas, 0, random), OmbrelError);
}

// The mean of inverse-Wishart draws with nu degrees of freedom and scale S is S / (nu - p - 1), and the
// mean of the Wishart draws themselves is nu * S^-1. With p = 2, nu = 10 and 4000 draws the standard
// error of a diagonal mean is about 1.3% of it (variance 2 s^2 / ((nu-p-1)^2 (nu-p-3)) per draw); the
// tolerance of 6% relative is beyond four of them, and the seed is fixed.
TEST(DrawInverseWishart, MeanOfManyDrawsIsScaleOverNuMinusPMinusOne) {
    const int p = 2;
    const int nu = 10;
    const double scale[2][2] = {{3.0, 1.0}, {1.0, 2.0}};  // S^-1 = [[0.4, -0.2], [-0.2, 0.6]]
    const double scaleInverse[2][2] = {{0.4, -0.2}, {-0.2, 0.6}};
    PopulationState state;
    state.Resize(p);
    RandomGenerator random;
    random.SeedGenerator(77u);
    const int draws = 4000;
    double covarianceMean[2][2] = {};
    double precisionMean[2][2] = {};
    for (int draw = 0; draw < draws; ++draw) {
        for (int i = 0; i < p; ++i) {
            for (int j = 0; j < p; ++j) state.factorInput(i, j) = scale[i][j];
        }
        DrawInverseWishart(state, nu, random);
        for (int i = 0; i < p; ++i) {
            for (int j = 0; j < p; ++j) {
                covarianceMean[i][j] += state.covariance(i, j) / draws;
                precisionMean[i][j] += state.covarianceInverse(i, j) / draws;
            }
        }
    }
    for (int i = 0; i < p; ++i) {
        for (int j = 0; j < p; ++j) {
            const double expected = scale[i][j] / (nu - p - 1);
            EXPECT_NEAR(covarianceMean[i][j], expected, 0.06 * std::fabs(expected) + 0.004) << i << "," << j;
            const double expectedPrecision = nu * scaleInverse[i][j];
            EXPECT_NEAR(precisionMean[i][j], expectedPrecision, 0.06 * std::fabs(expectedPrecision))
                << i << "," << j;
        }
    }
}

TEST(InvertCovariance, InvertsTheCovarianceIntoItsInverse) {
    PopulationState state;
    state.Resize(2);
    state.covariance(0, 0) = 4.0;
    state.covariance(0, 1) = 7.0;
    state.covariance(1, 0) = 2.0;
    state.covariance(1, 1) = 6.0;
    InvertCovariance(state);
    EXPECT_DOUBLE_EQ(state.covarianceInverse(0, 0), 0.6);
    EXPECT_DOUBLE_EQ(state.covarianceInverse(0, 1), -0.7);
    EXPECT_DOUBLE_EQ(state.covarianceInverse(1, 0), -0.2);
    EXPECT_DOUBLE_EQ(state.covarianceInverse(1, 1), 0.4);
    EXPECT_EQ(state.covariance(0, 1), 7.0) << "the covariance itself is untouched";
}

// ---- Priors ------------------------------------------------------------------------------------------

AttributeModel MakeModel(std::vector<int> levels, std::vector<std::vector<int>> codes, bool hasNone = false) {
    AttributeModel model;
    model.attributeCount = static_cast<int>(levels.size());
    model.hasNone = hasNone;
    model.levelsPerAttribute = std::move(levels);
    model.attributeCodes = std::move(codes);
    return model;
}

void ExpectMatrix(const SquareMatrix& actual, const Rows& expected) {
    ASSERT_EQ(actual.Size(), static_cast<int>(expected.size()));
    for (int i = 0; i < actual.Size(); ++i) {
        for (int j = 0; j < actual.Size(); ++j)
            EXPECT_DOUBLE_EQ(actual(i, j), expected[i][j]) << i << "," << j;
    }
}

TEST(BuildEffectsPrior, ThreeLevelsWithVarianceTwo) {
    SquareMatrix prior(2);
    BuildEffectsPrior(MakeModel({3}, {{1}}), 2.0, prior);
    ExpectMatrix(prior, {{4.0 / 3, -2.0 / 3}, {-2.0 / 3, 4.0 / 3}});
}

TEST(BuildEffectsPrior, LinearAttributeAndNoneAddOneVarianceEach) {
    // Attribute 1 not in the model, 2 linear, 3 with two levels, then None.
    SquareMatrix prior(3);
    prior.Fill(9.0);
    BuildEffectsPrior(MakeModel({4, 1, 2}, {{0, 0, 0}, {0, -1, 0}, {0, 0, 1}}, true), 1.5, prior);
    ExpectMatrix(prior, {{1.5, 0, 0}, {0, 0.75, 0}, {0, 0, 1.5}});
}

// E_L = I - J / L of size L - 1, the effects-coding block of an attribute with L levels.
Rows EffectsBlock(int levels) {
    Rows e(static_cast<size_t>(levels - 1), std::vector<double>(static_cast<size_t>(levels - 1)));
    for (int k = 0; k < levels - 1; ++k) {
        for (int l = 0; l < levels - 1; ++l) e[k][l] = (k == l ? 1.0 : 0.0) - 1.0 / levels;
    }
    return e;
}

TEST(BuildEffectsPrior, InteractionBlockIsTheKroneckerProduct) {
    // 3 and 4 levels with their interaction: 2 + 3 main effects, then a 6 x 6 block v * (E_3 (x) E_4).
    const double v = 2.0;
    SquareMatrix prior(11);
    BuildEffectsPrior(MakeModel({3, 4}, {{1, 1}, {0, 1}}), v, prior);
    const Rows e3 = EffectsBlock(3);
    const Rows e4 = EffectsBlock(4);
    for (int k = 0; k < 2; ++k) {
        for (int l = 0; l < 2; ++l) EXPECT_DOUBLE_EQ(prior(k, l), v * e3[k][l]);
    }
    for (int k = 0; k < 3; ++k) {
        for (int l = 0; l < 3; ++l) EXPECT_DOUBLE_EQ(prior(2 + k, 2 + l), v * e4[k][l]);
    }
    for (int k = 0; k < 2; ++k) {
        for (int q = 0; q < 3; ++q) {
            for (int l = 0; l < 2; ++l) {
                for (int m = 0; m < 3; ++m) {
                    EXPECT_DOUBLE_EQ(prior(5 + k * 3 + q, 5 + l * 3 + m), v * e3[k][l] * e4[q][m])
                        << "cell (" << k << "," << q << ") against (" << l << "," << m << ")";
                }
            }
        }
    }
    // Nothing between the blocks.
    EXPECT_EQ(prior(0, 2), 0.0);
    EXPECT_EQ(prior(4, 5), 0.0);
    EXPECT_EQ(prior(10, 0), 0.0);
}

TEST(BuildEffectsPrior, LinearAttributeInAnInteractionGivesASingleRow) {
    // Linear (1 level) x 3 levels: a = 2, b = 3, D = 1 * 3: the block is v * E_3.
    SquareMatrix prior(5);
    BuildEffectsPrior(MakeModel({1, 3}, {{-1, 1}, {0, 1}}), 3.0, prior);
    ExpectMatrix(prior,
                 {{3, 0, 0, 0, 0}, {0, 2, -1, 0, 0}, {0, -1, 2, 0, 0}, {0, 0, 0, 2, -1}, {0, 0, 0, -1, 2}});
}

TEST(BuildEffectsPrior, RefusesALayoutLargerThanTheMatrix) {
    // A part-worth attribute of one level in an interaction takes a row here, which the parameter
    // count does not give it: writing it would run past the matrix.
    SquareMatrix prior(2);
    EXPECT_THROW(BuildEffectsPrior(MakeModel({1, 3}, {{1, 1}, {0, 1}}), 2.0, prior), OmbrelError);
    SquareMatrix small(1);
    try {
        BuildEffectsPrior(MakeModel({3}, {{1}}), 2.0, small);
        FAIL() << "no error";
    } catch (const OmbrelError& error) {
        EXPECT_STREQ(error.what(),
                     "The attribute label file qebatt.tmp does not match the run's 1 parameters.");
    }
    SquareMatrix none(0);
    EXPECT_THROW(BuildEffectsPrior(MakeModel({}, {}, true), 2.0, none), OmbrelError);
}

TEST(BuildEffectsPrior, RefusesLevelCountsBelowOne) {
    SquareMatrix prior(4);
    try {
        BuildEffectsPrior(MakeModel({2, 0}, {{1, 1}, {0, 1}}), 2.0, prior);
        FAIL() << "no error";
    } catch (const OmbrelError& error) {
        EXPECT_STREQ(error.what(),
                     "The attribute label file qebatt.tmp gives attribute 2 a level count of 0.");
    }
}

TEST(BuildDummyPrior, PartWorthBlockHasTwiceVOnTheDiagonalAndVElsewhere) {
    SquareMatrix prior(5);
    BuildDummyPrior(MakeModel({3, 1, 2}, {{1, 0, 0}, {0, -1, 0}, {0, 0, 1}}, true), 2.0, prior);
    ExpectMatrix(prior,
                 {{4, 2, 0, 0, 0}, {2, 4, 0, 0, 0}, {0, 0, 2, 0, 0}, {0, 0, 0, 4, 0}, {0, 0, 0, 0, 2}});
}

TEST(BuildDummyPrior, AnyInteractionLeavesVTimesIdentity) {
    SquareMatrix prior(6);
    prior.Fill(5.0);
    BuildDummyPrior(MakeModel({3, 3}, {{1, -1}, {0, 1}}), 2.5, prior);
    Rows expected(6, std::vector<double>(6, 0.0));
    for (int i = 0; i < 6; ++i) expected[i][i] = 2.5;
    ExpectMatrix(prior, expected);
}

}  // namespace
}  // namespace ombrel
