#include "estimator/chain/Chain.h"

#include <cmath>
#include <utility>
#include <vector>

namespace ombrel {

Chain::Chain(ChainState state, bool storedLikelihoodsValid, const SquareMatrix& priorCovariance,
             const ChainOptions& options)
    : store_(std::move(state.store)),
      pass_(store_.ParameterCount(), options.threads),
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
    // A resumed store's log-likelihoods belong to its betas: moving them would break that. Fresh start
    // values carry placeholder log-likelihoods that the first pass recomputes anyway.
    if (options.overdispersedStart && !storedLikelihoodsValid_) OverdisperseStart();
}

void Chain::OverdisperseStart() {
    const int p = population_.parameterCount;
    std::vector<double> scale(static_cast<size_t>(p));
    for (int j = 0; j < p; ++j) {
        // A custom prior may hold a diagonal that is not a variance; that parameter keeps its start.
        const double variance = 2.0 * population_.priorCovariance(j, j);
        scale[static_cast<size_t>(j)] = variance > 0.0 && std::isfinite(variance) ? std::sqrt(variance) : 0.0;
    }
    for (int j = 0; j < p; ++j)
        population_.alpha[static_cast<size_t>(j)] += scale[static_cast<size_t>(j)] * random_.DrawNormal();
    for (int n = 0; n < store_.Count(); ++n) {
        double* betas = store_.Betas(n);
        for (int j = 0; j < p; ++j) betas[j] += scale[static_cast<size_t>(j)] * random_.DrawNormal();
    }
}

ChainStep Chain::Step(PreparedDataSource& source, DrawSink* drawSink) {
    lastJumpUsed_ = jumpSize_;
    // The pass draws alpha's deviates and the Wishart's first block ahead, while it still updates.
    const int p = population_.parameterCount;
    const int nu = WishartDegrees(store_.Count(), options_.priorDegreesOfFreedom, p);
    const int64_t drawAhead = p + WishartNormalsDrawnAhead(nu, p);
    if (populationNormals_.size() != static_cast<size_t>(drawAhead))
        populationNormals_.resize(static_cast<size_t>(drawAhead));
    pass_.UpdateRespondents(jumpSize_, storedLikelihoodsValid_, drawSink != nullptr, population_, source,
                            store_, random_, options_.ties, drawSink, populationNormals_.data(), drawAhead);
    storedLikelihoodsValid_ = true;
    const PassStatistics& pass = pass_.Statistics();
    DrawAlpha(population_, pass.meanBetas.data(), store_.Count(), random_, populationNormals_.data());
    DrawCovariance(population_, store_, options_.priorDegreesOfFreedom, random_,
                   populationNormals_.data() + p, pass_.Pool());

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

ChainSnapshot Chain::Snapshot() const {
    ChainSnapshot snapshot;
    snapshot.state = State(ChainEnd::Completed);
    snapshot.lastJumpUsed = lastJumpUsed_;
    snapshot.generator = random_.SaveState();
    return snapshot;
}

void Chain::Restore(const ChainSnapshot& snapshot) {
    jumpSize_ = snapshot.state.jumpSize;
    lastJumpUsed_ = snapshot.lastJumpUsed;
    random_.RestoreState(snapshot.generator);
    storedLikelihoodsValid_ = true;
}

}  // namespace ombrel
