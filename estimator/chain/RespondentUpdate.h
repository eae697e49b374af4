#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "estimator/chain/Matrix.h"
#include "estimator/chain/PopulationDraws.h"
#include "estimator/chain/RandomGenerator.h"
#include "estimator/chain/RespondentStore.h"
#include "estimator/files/PreparedDataSource.h"

namespace ombrel {

// Ties a parameter vector to the study's utility constraints, in place. The estimator passes none
// while no constraints are in use.
class ConstraintTies {
public:
    virtual ~ConstraintTies() = default;
    virtual void ApplyConstraints(double* betas) const = 0;
};

// Receives one respondent's draw in the used, sampled iterations (the draw scratch files).
class DrawSink {
public:
    virtual ~DrawSink() = default;
    // respondentIndex counts from 0 in prepared-data order; betas are the unconstrained current betas,
    // constrainedBetas their tied copy (the same values without constraints).
    virtual void RecordDraw(int respondentIndex, int32_t respondentNumber, double respondentRlh,
                            const double* betas, const double* constrainedBetas) = 0;
    // Puts every recorded draw into the file, before the file is read or the run ends.
    virtual void Flush() {}
};

// Statistics of one respondent pass.
struct PassStatistics {
    double totalLogLikelihood = 0.0;
    double nullLogLikelihood = 0.0;
    double totalChoiceWeight = 0.0;
    double acceptanceRate = 0.0;
    double averageVariance = 0.0;
    double parameterRms = 0.0;
    std::vector<double> meanBetas;     // mean of the unconstrained current betas
    std::vector<double> averageBetas;  // mean of the constrained current betas
};

// exp(-0.5 * d' M d) with d = betas - alpha, summed row by row; no normalising constant.
double PriorDensity(const double* betas, const double* alpha, const SquareMatrix& covarianceInverse);

// One Metropolis-Hastings step for every respondent. Holds all working storage of the pass, sized once.
class RespondentUpdater {
public:
    explicit RespondentUpdater(int parameterCount);

    // Runs the pass. storedLikelihoodsValid says whether the store's log-likelihoods belong to its betas.
    // When recordDraws (usingDraws and sampled), every respondent's draw goes to sink.
    // Throws OmbrelError on a block whose variable count differs from the parameter count, or when the
    // prepared data ends before the store does.
    void UpdateRespondents(double jumpSize, bool storedLikelihoodsValid, bool recordDraws,
                           const PopulationState& population, PreparedDataSource& data,
                           RespondentStore& store, RandomGenerator& random, const ConstraintTies* ties,
                           DrawSink* sink);

    const PassStatistics& Statistics() const { return statistics_; }

private:
    // The steps of a pass, in this order per respondent: propose, add the task weights, accept or
    // reject (the one uniform draw), add to the pass sums.
    void BeginPass(double jumpSize, const PopulationState& population, PreparedDataSource& data);
    // current = stored, candidate = current + a correlated normal step, and their tied copies.
    void ProposeCandidate(const double* stored, RandomGenerator& random, const ConstraintTies* ties);
    // Adds the used tasks to the null log-likelihood and the choice weight; returns the respondent's
    // weight. Throws on a task of another variable count.
    double AddTaskWeights(const RespondentBlock& block);
    // The Metropolis-Hastings decision; the store's record gets the betas and log-likelihood kept.
    bool AcceptOrReject(int respondent, const RespondentBlock& block, bool storedLikelihoodsValid,
                        const PopulationState& population, RespondentStore& store, RandomGenerator& random);
    void AddToPassSums(double logLikelihood, double& squaresSum);
    void FinishPass(int respondentCount, int accepted, double squaresSum);
    // Likelihood of one respondent's choices under betas: the product over used tasks of P^w.
    double Likelihood(const RespondentBlock& block, const double* betas);

    int parameterCount_;
    PassStatistics statistics_;
    SquareMatrix proposalInput_;
    SquareMatrix proposalFactor_;
    std::vector<double> current_;
    std::vector<double> candidate_;
    std::vector<double> constrainedCurrent_;
    std::vector<double> constrainedCandidate_;
    std::vector<double> step_;
    std::vector<double> normals_;
    std::vector<double> currentDifference_;
    std::vector<double> candidateDifference_;
    std::vector<double> exponentials_;     // one per alternative of the respondent's used tasks; grows
    std::vector<double> powers_;           // one per used task of the respondent; grows
    std::vector<double> logAlternatives_;  // ln(R) for R = 1 .. 1000
};

}  // namespace ombrel
