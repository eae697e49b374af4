#pragma once

#include <cstdint>
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

// What every respondent's update of one pass shares; read only while the respondents are updated.
struct PassInputs {
    const PopulationState* population = nullptr;
    const SquareMatrix* proposalFactor = nullptr;  // Cholesky factor of jumpSize * covariance
    const ConstraintTies* ties = nullptr;
    bool storedLikelihoodsValid = false;
};

// One respondent's Metropolis-Hastings step from random numbers drawn ahead, with the working storage
// of one thread: a pass has one updater per thread, each updating its own respondents.
class RespondentUpdater {
public:
    explicit RespondentUpdater(int parameterCount);

    // Updates respondent n of store from its block: the candidate is the stored betas plus the proposal
    // factor times normals (p standard normal deviates, in the order they were drawn), accepted when
    // uniform is at most the acceptance probability. The store's record gets the betas and
    // log-likelihood kept; constrainedOut, when not null, their tied copy (p values). Returns whether
    // the candidate was accepted.
    bool Update(int n, const RespondentBlock& block, const double* normals, double uniform,
                const PassInputs& inputs, RespondentStore& store, double* constrainedOut);

private:
    // current = stored, candidate = current + the correlated normal step, and their tied copies.
    void ProposeCandidate(const double* stored, const double* normals, const PassInputs& inputs);
    // Likelihood of one respondent's choices under betas: the product over used tasks of P^w.
    double Likelihood(const RespondentBlock& block, const double* betas);

    int parameterCount_;
    std::vector<double> current_;
    std::vector<double> candidate_;
    std::vector<double> constrainedCurrent_;
    std::vector<double> constrainedCandidate_;
    std::vector<double> step_;
    std::vector<double> currentDifference_;
    std::vector<double> candidateDifference_;
    std::vector<double> exponentials_;  // one per alternative of the respondent's used tasks; grows
    std::vector<double> powers_;        // one per used task of the respondent; grows
};

}  // namespace ombrel
