#include "estimator/chain/Chain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace ombrel {
namespace {

// Two respondents (numbers 101 and 102), one parameter, one task each: two alternatives with the
// design values 1 and 0, the first one chosen, weight 1.
class TwoRespondents : public PreparedDataSource {
public:
    void Rewind() override { next_ = 0; }
    RecordOutcome Next(RespondentBlock& block) override {
        if (next_ == 2) return RecordOutcome::EndOfData;
        block.number = 101 + next_++;
        block.taskCount = 1;
        block.tasks = &task_;
        return RecordOutcome::Read;
    }

private:
    double rows_[2] = {1.0, 0.0};
    int32_t flags_[2] = {1, 0};
    TaskBlock task_{2, 1, 0, 1.0, rows_, flags_};
    int next_ = 0;
};

class CountingSink : public DrawSink {
public:
    void RecordDraw(int respondentIndex, int32_t respondentNumber, double respondentRlh, const double* betas,
                    const double* constrainedBetas) override {
        indices.push_back(respondentIndex);
        numbers.push_back(respondentNumber);
        rlhs.push_back(respondentRlh);
        betaValues.push_back(betas[0]);
        constrainedValues.push_back(constrainedBetas[0]);
    }
    std::vector<int> indices;
    std::vector<int32_t> numbers;
    std::vector<double> rlhs;
    std::vector<double> betaValues;
    std::vector<double> constrainedValues;
};

const double kLn3 = std::log(3.0);

// Respondent 101 starts at beta = ln 3, respondent 102 at -ln 3; alpha 0, covariance 2. The jump size
// 1e-300 makes every proposal step (about 1e-150) vanish against betas near 1, so each candidate
// equals its current betas, every acceptance ratio is exactly 1 and every proposal is accepted,
// whatever the random draws.
ChainState TinyState(double storedLogLikelihood) {
    ChainState state;
    state.completedIterations = 40;
    state.jumpSize = 1e-300;
    state.alpha = {0.0};
    state.covariance.Resize(1);
    state.covariance(0, 0) = 2.0;
    state.store.Reset(1);
    const double first = kLn3;
    const double second = -kLn3;
    state.store.Append(101, &first, storedLogLikelihood);
    state.store.Append(102, &second, storedLogLikelihood);
    return state;
}

SquareMatrix UnitPrior() {
    SquareMatrix prior(1);
    prior(0, 0) = 1.0;
    return prior;
}

ChainOptions Options() {
    ChainOptions options;
    options.priorDegreesOfFreedom = 5;
    options.seed = 7;
    return options;
}

TEST(Chain, StepGivesThePassStatisticsAndFeedsTheSinkOncePerRespondent) {
    Chain chain(TinyState(0.0), false, UnitPrior(), Options());
    TwoRespondents data;
    CountingSink sink;
    const ChainStep step = chain.Step(data, &sink);
    const IterationStatistics& s = step.statistics;
    // By hand: respondent 101 chooses with probability e^ln3 / (e^ln3 + 1) = 3/4, respondent 102 with
    // e^-ln3 / (e^-ln3 + 1) = 1/4. Total log-likelihood ln(3/16); the null model gives each choice 1/2,
    // ln(1/4) in all. Pct. Cert. = (ln(1/4) - ln(3/16)) / ln(1/4) = 1 - ln(16/3) / ln 4; RLH = the
    // geometric mean of 3/4 and 1/4 = sqrt(3/16); parameter RMS = sqrt((ln3^2 + ln3^2) / 2) = ln 3;
    // average variance = the covariance's one diagonal value. Tolerances allow for rounding only.
    EXPECT_EQ(41, s.iteration);
    EXPECT_EQ(1e-300, s.jumpSize);
    EXPECT_EQ(1.0, s.acceptanceRate);
    EXPECT_NEAR(1.0 - std::log(16.0 / 3.0) / std::log(4.0), s.pctCert, 1e-12);
    EXPECT_NEAR(std::sqrt(3.0 / 16.0), s.rlh, 1e-12);
    EXPECT_NEAR(kLn3, s.parameterRms, 1e-12);
    EXPECT_EQ(2.0, s.averageVariance);
    ASSERT_EQ(1u, step.meanBetas.size());
    EXPECT_NEAR(0.0, step.meanBetas[0], 1e-12);  // (ln 3 - ln 3) / 2
    EXPECT_NEAR(0.0, step.averageBetas[0], 1e-12);

    EXPECT_EQ((std::vector<int>{0, 1}), sink.indices);
    EXPECT_EQ((std::vector<int32_t>{101, 102}), sink.numbers);
    // A respondent's RLH is its likelihood to the power 1 / its task weight (1 here).
    ASSERT_EQ(2u, sink.rlhs.size());
    EXPECT_NEAR(0.75, sink.rlhs[0], 1e-12);
    EXPECT_NEAR(0.25, sink.rlhs[1], 1e-12);
    EXPECT_EQ((std::vector<double>{kLn3, -kLn3}), sink.betaValues);
    EXPECT_EQ(sink.betaValues, sink.constrainedValues);  // no constraints: the same values
    EXPECT_NEAR(std::log(0.75), chain.Store().LogLikelihood(0), 1e-12);

    chain.Step(data, nullptr);  // an iteration that records no draws
    EXPECT_EQ(2u, sink.indices.size());
    EXPECT_EQ(42, chain.CompletedIterations());
}

TEST(Chain, AdaptsTheJumpSizeAfterEachStepAndAStopKeepsTheOneUsed) {
    Chain chain(TinyState(0.0), false, UnitPrior(), Options());
    TwoRespondents data;
    chain.Step(data, nullptr);
    // Every proposal accepted (rate 1 > 0.3): the next jump size is 1.1 times the one used.
    EXPECT_EQ(1e-300 * 1.1, chain.State(ChainEnd::Completed).jumpSize);
    EXPECT_EQ(1e-300, chain.State(ChainEnd::Stopped).jumpSize);
    const ChainStep second = chain.Step(data, nullptr);
    EXPECT_EQ(1e-300 * 1.1, second.statistics.jumpSize);
    EXPECT_EQ(1e-300 * 1.1 * 1.1, chain.State(ChainEnd::Completed).jumpSize);

    const ChainState state = chain.State(ChainEnd::Stopped);
    EXPECT_EQ(42, state.completedIterations);
    EXPECT_EQ(2, state.RespondentCount());
    EXPECT_EQ(chain.Population().alpha, state.alpha);
    EXPECT_EQ(chain.Population().covariance(0, 0), state.covariance(0, 0));
    EXPECT_EQ(kLn3, state.store.Betas(0)[0]);
}

// A resumed chain trusts the stored log-likelihoods of the first pass; a fresh one computes them.
// Stored log-likelihoods of +10 make the current betas look e^10 times likelier than any candidate, so
// a resumed chain rejects (acceptance ratio 3/4 / e^10, about 3e-5, which seed 7's uniforms never
// reach) and keeps the stored value, while a fresh chain sees candidate and current alike.
TEST(Chain, StoredLikelihoodsCountOnlyAfterARestartOrTheFirstPass) {
    TwoRespondents data;
    Chain resumed(TinyState(10.0), true, UnitPrior(), Options());
    EXPECT_EQ(0.0, resumed.Step(data, nullptr).statistics.acceptanceRate);
    EXPECT_EQ(10.0, resumed.Store().LogLikelihood(0));

    Chain fresh(TinyState(10.0), false, UnitPrior(), Options());
    EXPECT_EQ(1.0, fresh.Step(data, nullptr).statistics.acceptanceRate);
    EXPECT_NEAR(std::log(0.25), fresh.Store().LogLikelihood(1), 1e-12);
    // Below the target acceptance: the jump size shrinks by 0.9.
    EXPECT_EQ(1e-300 * 0.9, resumed.State(ChainEnd::Completed).jumpSize);
}

}  // namespace
}  // namespace ombrel
