// The over-dispersed start of a fresh chain: nothing moves without it or on resuming; with it alpha
// and every respondent's betas get normal noise of variance twice the prior variance, drawn from the
// chain's own generator in a fixed order.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "estimator/chain/Chain.h"

namespace ombrel {
namespace {

constexpr int kParameters = 3;
const double kPriorVariance[kParameters] = {0.5, 1.0, 2.0};

// n respondents, every beta 1 + j, alpha -1, identity covariance.
ChainState StartState(int respondents) {
    ChainState state;
    state.alpha.assign(kParameters, -1.0);
    state.covariance = SquareMatrix(kParameters);
    state.covariance.SetIdentity();
    state.store.Reset(kParameters);
    const double betas[kParameters] = {1.0, 2.0, 3.0};
    for (int n = 0; n < respondents; ++n) state.store.Append(100 + n, betas, -1e30);
    return state;
}

SquareMatrix Prior() {
    SquareMatrix prior(kParameters);
    for (int j = 0; j < kParameters; ++j) prior(j, j) = kPriorVariance[j];
    prior(0, 1) = prior(1, 0) = 0.25;  // only the diagonal counts
    return prior;
}

ChainOptions Options(bool overdispersed) {
    ChainOptions options;
    options.seed = 11;
    options.overdispersedStart = overdispersed;
    return options;
}

TEST(OverdispersedStartTest, OffOrResumedTheStartStaysAsItIs) {
    for (const auto& [overdispersed, resumed] : {std::pair{false, false}, {false, true}, {true, true}}) {
        const ChainState start = StartState(5);
        const Chain chain(StartState(5), resumed, Prior(), Options(overdispersed));
        EXPECT_EQ(chain.Population().alpha, start.alpha);
        for (int n = 0; n < 5; ++n)
            for (int j = 0; j < kParameters; ++j)
                EXPECT_EQ(chain.Store().Betas(n)[j], start.store.Betas(n)[j]);
    }
}

TEST(OverdispersedStartTest, NoiseComesFromTheChainsGeneratorAlphaFirst) {
    const ChainState start = StartState(4);
    const Chain chain(StartState(4), false, Prior(), Options(true));
    RandomGenerator random;
    random.SeedGenerator(11);
    for (int j = 0; j < kParameters; ++j)
        EXPECT_DOUBLE_EQ(chain.Population().alpha[j],
                         -1.0 + std::sqrt(2.0 * kPriorVariance[j]) * random.DrawNormal());
    for (int n = 0; n < 4; ++n)
        for (int j = 0; j < kParameters; ++j)
            EXPECT_DOUBLE_EQ(
                chain.Store().Betas(n)[j],
                start.store.Betas(n)[j] + std::sqrt(2.0 * kPriorVariance[j]) * random.DrawNormal());
}

// 20000 respondents: the sample variance of each beta is within 4% of 2 V0_jj (its standard error is
// sqrt(2 / 20000) = 1%), the mean within 4 standard errors of the start.
TEST(OverdispersedStartTest, NoiseHasTwiceThePriorVariance) {
    constexpr int kRespondents = 20000;
    const Chain chain(StartState(kRespondents), false, Prior(), Options(true));
    for (int j = 0; j < kParameters; ++j) {
        double sum = 0.0;
        double squares = 0.0;
        for (int n = 0; n < kRespondents; ++n) {
            const double noise = chain.Store().Betas(n)[j] - (1.0 + j);
            sum += noise;
            squares += noise * noise;
        }
        const double mean = sum / kRespondents;
        const double variance = squares / kRespondents - mean * mean;
        const double expected = 2.0 * kPriorVariance[j];
        EXPECT_NEAR(variance / expected, 1.0, 0.04) << "parameter " << j;
        EXPECT_NEAR(mean, 0.0, 4.0 * std::sqrt(expected / kRespondents)) << "parameter " << j;
    }
}

}  // namespace
}  // namespace ombrel
