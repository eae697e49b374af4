#include "estimator/chain/Chain.h"

#include <cmath>
#include <utility>

namespace ombrel {

Chain::Chain(ChainState state, bool storedLikelihoodsValid, const SquareMatrix& priorCovariance,
             const ChainOptions& options)
    : store_(std::move(state.store)),
      updater_(store_.ParameterCount()),
      options_(options),
      jumpSize_(state.jumpSize),
      lastJumpUsed_(state.jumpSize),
      completedIterations_(state.completedIterations),
      storedLikelihoodsValid_(storedLikelihoodsValid) {
    population_.Resize(store_.ParameterCount());
    population_.alpha = std::move(state.alpha);
    population_.covariance = std::move(state.covariance);
    population_.priorCovariance = priorCovariance;
    InvertCovariance(population_);
    random_.SeedGenerator(options.seed);
}

ChainStep Chain::Step(PreparedDataSource& source, DrawSink* drawSink) {
    lastJumpUsed_ = jumpSize_;
    updater_.UpdateRespondents(jumpSize_, storedLikelihoodsValid_, drawSink != nullptr, population_, source,
                               store_, random_, options_.ties, drawSink);
    storedLikelihoodsValid_ = true;
    const PassStatistics& pass = updater_.Statistics();
    DrawAlpha(population_, pass.meanBetas.data(), store_.Count(), random_);
    DrawCovariance(population_, store_, options_.priorDegreesOfFreedom, random_);

    if (pass.acceptanceRate > kTargetAcceptance) jumpSize_ *= kJumpGrowth;
    if (pass.acceptanceRate < kTargetAcceptance) jumpSize_ *= kJumpShrink;
    if (jumpSize_ < 0) jumpSize_ = kJumpFloor;
    ++completedIterations_;

    ChainStep step;
    IterationStatistics& s = step.statistics;
    s.iteration = completedIterations_;
    s.jumpSize = lastJumpUsed_;
    s.acceptanceRate = pass.acceptanceRate;
    s.pctCert = (pass.nullLogLikelihood - pass.totalLogLikelihood) / pass.nullLogLikelihood;
    s.rlh = std::exp(pass.totalLogLikelihood / pass.totalChoiceWeight);
    s.averageVariance = pass.averageVariance;
    s.parameterRms = pass.parameterRms;
    step.meanBetas = pass.meanBetas;
    step.averageBetas = pass.averageBetas;
    return step;
}

ChainState Chain::State(ChainEnd end) const {
    ChainState state;
    state.completedIterations = completedIterations_;
    state.jumpSize = end == ChainEnd::Completed ? jumpSize_ : lastJumpUsed_;
    state.alpha = population_.alpha;
    state.covariance = population_.covariance;
    state.store = store_;
    return state;
}

}  // namespace ombrel
