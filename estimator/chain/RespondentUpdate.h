#pragma once

#include <cstdint>
#include <exception>
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

// A few consecutive respondents to update together, with their random numbers drawn ahead.
struct GroupWork {
    int first = 0;                            // the first respondent's index in the store
    int count = 0;                            // 1 to RespondentUpdater::kGroupSize
    const RespondentBlock* blocks = nullptr;  // count blocks
    const NormalParts* normals = nullptr;     // p standard normal deviates per respondent, as drawn
    const double* uniforms = nullptr;         // the accept uniform per respondent
    double* constrained = nullptr;            // p tied betas per respondent out; null: not wanted
    char* accepted = nullptr;                 // per respondent out: 1 when its candidate was accepted
};

// The Metropolis-Hastings steps of a few respondents from random numbers drawn ahead, with the working
// storage of one thread: a pass has one updater per thread, each updating its own respondents.
class RespondentUpdater {
public:
    // Respondents updated together: their prior densities are summed side by side.
    static constexpr int kGroupSize = 4;

    explicit RespondentUpdater(int parameterCount);

    // Updates the group's respondents: each candidate is the stored betas plus the proposal factor
    // times the respondent's normals, accepted when its uniform is at most the acceptance probability;
    // the store's record gets the betas and log-likelihood kept. Returns how many respondents were
    // updated, from the first: fewer than the group when one of them threw, whose exception goes to
    // failure (the respondents after it are not touched).
    int UpdateGroup(const GroupWork& work, const PassInputs& inputs, RespondentStore& store,
                    std::exception_ptr& failure);

private:
    // Group member r: current = stored, candidate = current + the correlated normal step, their tied
    // copies and their differences from alpha.
    void ProposeCandidate(int r, const double* stored, const NormalParts* normals, const PassInputs& inputs);
    // The Metropolis-Hastings decision for respondent n, group member r.
    bool Decide(int n, int r, double candidateLikelihood, double currentLikelihood, double candidatePrior,
                double currentPrior, double uniform, RespondentStore& store, double* constrainedOut);
    // Likelihood of one respondent's choices under betas: the product over used tasks of P^w.
    double Likelihood(const RespondentBlock& block, const double* betas);
    double* Member(std::vector<double>& values, int r) const {
        return values.data() + static_cast<size_t>(r) * static_cast<size_t>(parameterCount_);
    }

    int parameterCount_;
    // p values per group member.
    std::vector<double> current_;
    std::vector<double> candidate_;
    std::vector<double> constrainedCurrent_;
    std::vector<double> constrainedCandidate_;
    std::vector<double> step_;
    std::vector<double> normals_;  // the member's deviates, from their parts
    // Interleaved: d_j of member r at j * kGroupSize + r.
    std::vector<double> currentDifferences_;
    std::vector<double> candidateDifferences_;
    std::vector<double> exponentials_;  // one per alternative of the respondent's used tasks; grows
    std::vector<double> powers_;        // one per used task of the respondent; grows
};

}  // namespace ombrel
