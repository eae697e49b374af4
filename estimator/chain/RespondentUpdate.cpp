#include "estimator/chain/RespondentUpdate.h"

#include <algorithm>
#include <cmath>

namespace ombrel {

namespace {

constexpr double kUtilityLimit = 100.0;
constexpr double kProbabilityFloor = 0.00001;
constexpr double kLikelihoodFloor = 1e-320;

// Both prior densities of a respondent in one sweep over the precision matrix; each sum adds the same
// terms in the same order as PriorDensity.
void PriorDensities(const double* current, const double* candidate, const double* alpha,
                    const SquareMatrix& m, double* currentDifference, double* candidateDifference,
                    double& currentDensity, double& candidateDensity) {
    const int p = m.Size();
    for (int j = 0; j < p; ++j) {
        currentDifference[j] = current[j] - alpha[j];
        candidateDifference[j] = candidate[j] - alpha[j];
    }
    double currentSum = 0.0;
    double candidateSum = 0.0;
    for (int i = 0; i < p; ++i) {
        const double ci = currentDifference[i];
        const double ki = candidateDifference[i];
        const double* row = m.Row(i);
        for (int j = 0; j < p; ++j) {
            currentSum += ci * row[j] * currentDifference[j];
            candidateSum += ki * row[j] * candidateDifference[j];
        }
    }
    currentDensity = std::exp(-0.5 * currentSum);
    candidateDensity = std::exp(-0.5 * candidateSum);
}

}  // namespace

double PriorDensity(const double* betas, const double* alpha, const SquareMatrix& covarianceInverse) {
    const int p = covarianceInverse.Size();
    double sum = 0.0;
    for (int i = 0; i < p; ++i) {
        const double di = betas[i] - alpha[i];
        const double* row = covarianceInverse.Row(i);
        for (int j = 0; j < p; ++j) sum += di * row[j] * (betas[j] - alpha[j]);
    }
    return std::exp(-0.5 * sum);
}

RespondentUpdater::RespondentUpdater(int parameterCount)
    : parameterCount_(parameterCount),
      current_(static_cast<size_t>(parameterCount)),
      candidate_(static_cast<size_t>(parameterCount)),
      constrainedCurrent_(static_cast<size_t>(parameterCount)),
      constrainedCandidate_(static_cast<size_t>(parameterCount)),
      step_(static_cast<size_t>(parameterCount)),
      currentDifference_(static_cast<size_t>(parameterCount)),
      candidateDifference_(static_cast<size_t>(parameterCount)),
      exponentials_(kMaxAlternatives) {}

// The product over used tasks of P^w, computed in phases (all utilities, then all exponentials, then
// the probabilities, then the powers) so that the independent exp and pow calls of a respondent
// overlap in the processor; every value is the same expression as task by task, and the product is
// taken in task order.
double RespondentUpdater::Likelihood(const RespondentBlock& block, const double* betas) {
    const int p = parameterCount_;
    size_t rowCount = 0;
    for (int t = 0; t < block.taskCount; ++t)
        if (block.tasks[t].chosenRow >= 0) rowCount += static_cast<size_t>(block.tasks[t].alternativeCount);
    if (exponentials_.size() < rowCount) exponentials_.resize(rowCount);
    if (powers_.size() < static_cast<size_t>(block.taskCount))
        powers_.resize(static_cast<size_t>(block.taskCount));

    double* values = exponentials_.data();
    size_t next = 0;
    for (int t = 0; t < block.taskCount; ++t) {
        const TaskBlock& task = block.tasks[t];
        if (task.chosenRow < 0) continue;
        const double* row = task.rows;
        for (int r = 0; r < task.alternativeCount; ++r, row += p) {
            double utility = 0.0;
            for (int k = 0; k < p; ++k) utility += row[k] * betas[k];
            values[next++] = std::clamp(utility, -kUtilityLimit, kUtilityLimit);
        }
    }
    for (size_t i = 0; i < rowCount; ++i) values[i] = std::exp(values[i]);

    size_t used = 0;
    next = 0;
    for (int t = 0; t < block.taskCount; ++t) {
        const TaskBlock& task = block.tasks[t];
        if (task.chosenRow < 0) continue;
        double sum = 0.0;
        for (int r = 0; r < task.alternativeCount; ++r) sum += values[next + static_cast<size_t>(r)];
        double probability = values[next + static_cast<size_t>(task.chosenRow)] / sum;
        if (probability < kProbabilityFloor) probability = kProbabilityFloor;
        powers_[used++] = probability;
        next += static_cast<size_t>(task.alternativeCount);
    }
    used = 0;
    for (int t = 0; t < block.taskCount; ++t) {
        const TaskBlock& task = block.tasks[t];
        if (task.chosenRow < 0) continue;
        powers_[used] = std::pow(powers_[used], task.weight);
        ++used;
    }
    double likelihood = 1.0;
    for (size_t i = 0; i < used; ++i) likelihood *= powers_[i];
    return likelihood;
}

void RespondentUpdater::ProposeCandidate(const double* stored, const double* normals,
                                         const PassInputs& inputs) {
    const int p = parameterCount_;
    std::copy(stored, stored + p, current_.begin());
    // The factor times the normals, as DrawCorrelatedNormal multiplies the normals it draws: the upper
    // triangle of the factor is zero, and its terms would add +-0 to a sum that cannot be -0.0.
    const SquareMatrix& factor = *inputs.proposalFactor;
    for (int i = 0; i < p; ++i) {
        const double* row = factor.Row(i);
        double sum = 0.0;
        for (int j = 0; j <= i; ++j) sum += normals[j] * row[j];
        step_[static_cast<size_t>(i)] = sum;
    }
    for (int k = 0; k < p; ++k)
        candidate_[static_cast<size_t>(k)] = current_[static_cast<size_t>(k)] + step_[static_cast<size_t>(k)];

    std::copy(candidate_.begin(), candidate_.end(), constrainedCandidate_.begin());
    std::copy(current_.begin(), current_.end(), constrainedCurrent_.begin());
    if (inputs.ties != nullptr) {
        inputs.ties->ApplyConstraints(constrainedCandidate_.data());
        inputs.ties->ApplyConstraints(constrainedCurrent_.data());
    }
}

bool RespondentUpdater::Update(int n, const RespondentBlock& block, const double* normals, double uniform,
                               const PassInputs& inputs, RespondentStore& store, double* constrainedOut) {
    ProposeCandidate(store.Betas(n), normals, inputs);
    const PopulationState& population = *inputs.population;
    const double candidateLikelihood = Likelihood(block, constrainedCandidate_.data());
    const double currentLikelihood = inputs.storedLikelihoodsValid
                                         ? std::exp(store.LogLikelihood(n))
                                         : Likelihood(block, constrainedCurrent_.data());
    double currentPrior = 0.0;
    double candidatePrior = 0.0;
    PriorDensities(current_.data(), candidate_.data(), population.alpha.data(), population.covarianceInverse,
                   currentDifference_.data(), candidateDifference_.data(), currentPrior, candidatePrior);
    double acceptance = 1.0;
    if (currentLikelihood != 0.0 && currentPrior != 0.0) {
        acceptance = (candidatePrior / currentPrior) * (candidateLikelihood / currentLikelihood);
        if (acceptance > 1.0) acceptance = 1.0;
    }

    const bool accept = uniform <= acceptance;
    double logLikelihood = 0.0;
    if (accept) {
        logLikelihood = std::log(std::max(candidateLikelihood, kLikelihoodFloor));
        std::copy(candidate_.begin(), candidate_.end(), current_.begin());
        std::copy(constrainedCandidate_.begin(), constrainedCandidate_.end(), constrainedCurrent_.begin());
    } else {
        logLikelihood = std::log(std::max(currentLikelihood, kLikelihoodFloor));
    }
    std::copy(current_.begin(), current_.end(), store.Betas(n));
    store.LogLikelihood(n) = logLikelihood;
    if (constrainedOut != nullptr)
        std::copy(constrainedCurrent_.begin(), constrainedCurrent_.end(), constrainedOut);
    return accept;
}

}  // namespace ombrel
