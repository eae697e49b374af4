#pragma once

#include <cstdint>
#include <span>

#include "estimator/chain/ChainState.h"
#include "estimator/chain/IterationStatistics.h"
#include "estimator/chain/PopulationDraws.h"
#include "estimator/chain/RandomGenerator.h"
#include "estimator/chain/RespondentPass.h"
#include "estimator/chain/RespondentStore.h"
#include "estimator/chain/RespondentUpdate.h"
#include "estimator/files/PreparedDataSource.h"

namespace ombrel {

// The acceptance rate the jump size is tuned towards, and the tuning factors.
inline constexpr double kTargetAcceptance = 0.3;
inline constexpr double kJumpGrowth = 1.1;
inline constexpr double kJumpShrink = 0.9;
// What a jump size that ever turned negative becomes.
inline constexpr double kJumpFloor = 0.01;

// What the chain needs besides its state.
struct ChainOptions {
    int priorDegreesOfFreedom = 5;
    const ConstraintTies* ties = nullptr;  // null while no constraints are in use
    uint32_t seed = 0;                     // seeds the chain's one RandomGenerator
    // Threads of the respondent pass (1 to kMaxPassThreads; 1 starts none). Every result is the same for
    // any count: the pass's random numbers are drawn in their fixed order and every sum is taken in
    // respondent order.
    int threads = 1;
    // A fresh chain (not resumed) starts away from the start values, so that several chains explore
    // from over-dispersed points: see Chain's constructor.
    bool overdispersedStart = false;
};

// One iteration's results. The spans point into the chain and hold until its next Step.
struct ChainStep {
    IterationStatistics statistics;
    std::span<const double> meanBetas;     // mean of the unconstrained current betas (P)
    std::span<const double> averageBetas;  // mean of the constrained current betas (P)
};

// What a chain holds between two iterations beyond its ChainState at full precision: the jump size
// adapted after the last iteration and the one it used, and the generator. A chain restored from it
// makes the very draws the chain it was taken from would have made next.
struct ChainSnapshot {
    ChainState state;  // jumpSize: the adapted one, which the next iteration uses
    double lastJumpUsed = kStartingJumpSize;
    GeneratorState generator;
};

// How a run ended, for the state it leaves (see Chain::State).
enum class ChainEnd { Completed, Stopped };

// One MCMC chain: the population state, the respondents' betas, the random generator and the jump
// size with its adaptation. Every iteration of every program runs through Step.
class Chain {
public:
    // Continues from state with the prior covariance V0 (P x P). storedLikelihoodsValid says whether
    // the store's log-likelihoods belong to its betas: true for a restart file; false for fresh start
    // values, whose log-likelihoods the first pass computes. Inverts the covariance, then seeds. With
    // options.overdispersedStart and fresh start values, then adds normal noise of variance 2 * V0_jj to
    // alpha_j and to every respondent's beta_j (alpha first, then the respondents in order), drawn from
    // the chain's own generator.
    Chain(ChainState state, bool storedLikelihoodsValid, const SquareMatrix& priorCovariance,
          const ChainOptions& options);

    // One iteration, in this order: the respondent pass (every draw to drawSink, when not null), the
    // alpha draw, the covariance draw, then the jump-size adaptation (acceptance above the target:
    // x 1.1, below: x 0.9, then a negative jump size becomes 0.01). The statistics carry the jump size
    // the pass used. Throws OmbrelError as RespondentPass::UpdateRespondents does.
    ChainStep Step(PreparedDataSource& source, DrawSink* drawSink);

    // The state to leave for the next run. After a normal end it holds the jump size adapted by the
    // last Step. A stop falls between the last Step's draws and its adaptation, so after a stop it
    // holds the jump size that Step used and the next run repeats it.
    ChainState State(ChainEnd end) const;

    // Everything the next iteration depends on; Restore puts it back into a chain built from its state.
    ChainSnapshot Snapshot() const;
    void Restore(const ChainSnapshot& snapshot);

    int CompletedIterations() const { return completedIterations_; }
    int RespondentCount() const { return store_.Count(); }
    int ParameterCount() const { return population_.parameterCount; }
    const PopulationState& Population() const { return population_; }
    const RespondentStore& Store() const { return store_; }

private:
    void OverdisperseStart();

    PopulationState population_;
    RespondentStore store_;
    RespondentPass pass_;  // holds the pass's threads, started once
    RandomGenerator random_;
    std::vector<NormalParts> populationNormals_;  // the population draws' deviates, drawn in the pass
    ChainOptions options_;
    double jumpSize_;
    double lastJumpUsed_;
    int completedIterations_;
    bool storedLikelihoodsValid_;
};

}  // namespace ombrel
