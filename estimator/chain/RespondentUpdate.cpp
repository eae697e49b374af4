#include "estimator/chain/RespondentUpdate.h"

#include <algorithm>
#include <cmath>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "estimator/chain/MatrixAlgebra.h"
#include "estimator/chain/UtilityKernels.h"

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
      proposalInput_(parameterCount),
      proposalFactor_(parameterCount),
      current_(static_cast<size_t>(parameterCount)),
      candidate_(static_cast<size_t>(parameterCount)),
      constrainedCurrent_(static_cast<size_t>(parameterCount)),
      constrainedCandidate_(static_cast<size_t>(parameterCount)),
      step_(static_cast<size_t>(parameterCount)),
      normals_(static_cast<size_t>(parameterCount)),
      currentDifference_(static_cast<size_t>(parameterCount)),
      candidateDifference_(static_cast<size_t>(parameterCount)),
      exponentials_(kMaxAlternatives),
      logAlternatives_(kMaxAlternatives + 1) {
    // ln(R) for every possible alternative count: the same values std::log gives, looked up.
    for (int r = 1; r <= kMaxAlternatives; ++r)
        logAlternatives_[static_cast<size_t>(r)] = std::log(static_cast<double>(r));
    statistics_.meanBetas.assign(static_cast<size_t>(parameterCount), 0.0);
    statistics_.averageBetas.assign(static_cast<size_t>(parameterCount), 0.0);
}

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
    // Tasks whose rows follow one another in memory are summed as one run, so that the kernel can keep
    // several rows' sums in flight across task boundaries.
    const double* runStart = nullptr;
    int runRows = 0;
    for (int t = 0; t <= block.taskCount; ++t) {
        const bool last = t == block.taskCount;
        if (!last && block.tasks[t].chosenRow < 0) continue;
        if (!last && runRows > 0 && block.tasks[t].rows == runStart + static_cast<size_t>(runRows) * p) {
            runRows += block.tasks[t].alternativeCount;
            continue;
        }
        ComputeUtilities(runStart, runRows, p, betas, values + next);
        for (int r = 0; r < runRows; ++r, ++next)
            values[next] = std::clamp(values[next], -kUtilityLimit, kUtilityLimit);
        if (last) break;
        runStart = block.tasks[t].rows;
        runRows = block.tasks[t].alternativeCount;
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

void RespondentUpdater::UpdateRespondents(double jumpSize, bool storedLikelihoodsValid, bool recordDraws,
                                          const PopulationState& population, PreparedDataSource& data,
                                          RespondentStore& store, RandomGenerator& random,
                                          const ConstraintTies* ties, DrawSink* sink) {
    const int respondentCount = store.Count();
    BeginPass(jumpSize, population, data);
    double squaresSum = 0.0;
    int accepted = 0;
    RespondentBlock block;
    for (int n = 0; n < respondentCount; ++n) {
        ProposeCandidate(store.Betas(n), random, ties);
        RecordOutcome outcome = data.Next(block);
        if (outcome != RecordOutcome::Read) throw OmbrelError(kPrematureEndMessage);
        store.Number(n) = block.number;
        const double respondentWeight = AddTaskWeights(block);
        if (AcceptOrReject(n, block, storedLikelihoodsValid, population, store, random)) ++accepted;
        AddToPassSums(store.LogLikelihood(n), squaresSum);
        if (recordDraws && sink != nullptr) {
            const double respondentRlh = (block.taskCount != 0 && respondentWeight > 0.0)
                                             ? std::exp(store.LogLikelihood(n) / respondentWeight)
                                             : 0.0;
            sink->RecordDraw(n, block.number, respondentRlh, current_.data(), constrainedCurrent_.data());
        }
    }
    FinishPass(respondentCount, accepted, squaresSum);
}

void RespondentUpdater::BeginPass(double jumpSize, const PopulationState& population,
                                  PreparedDataSource& data) {
    const int p = parameterCount_;
    PassStatistics& s = statistics_;
    s.acceptanceRate = 0.0;
    s.totalLogLikelihood = 0.0;
    s.nullLogLikelihood = 0.0;
    s.totalChoiceWeight = 0.0;

    double varianceSum = 0.0;
    for (int k = 0; k < p; ++k) varianceSum += population.covariance(k, k);
    s.averageVariance = varianceSum / p;

    for (int i = 0; i < p; ++i)
        for (int j = 0; j < p; ++j) proposalInput_(i, j) = jumpSize * population.covariance(i, j);
    CholeskyFactor(proposalInput_, proposalFactor_);

    std::fill(s.meanBetas.begin(), s.meanBetas.end(), 0.0);
    std::fill(s.averageBetas.begin(), s.averageBetas.end(), 0.0);
    data.Rewind();
}

void RespondentUpdater::ProposeCandidate(const double* stored, RandomGenerator& random,
                                         const ConstraintTies* ties) {
    const int p = parameterCount_;
    std::copy(stored, stored + p, current_.begin());
    DrawCorrelatedNormal(proposalFactor_, random, normals_.data(), step_.data());
    for (int k = 0; k < p; ++k)
        candidate_[static_cast<size_t>(k)] = current_[static_cast<size_t>(k)] + step_[static_cast<size_t>(k)];

    std::copy(candidate_.begin(), candidate_.end(), constrainedCandidate_.begin());
    std::copy(current_.begin(), current_.end(), constrainedCurrent_.begin());
    if (ties != nullptr) {
        ties->ApplyConstraints(constrainedCandidate_.data());
        ties->ApplyConstraints(constrainedCurrent_.data());
    }
}

double RespondentUpdater::AddTaskWeights(const RespondentBlock& block) {
    const int p = parameterCount_;
    PassStatistics& s = statistics_;
    double respondentWeight = 0.0;
    for (int t = 0; t < block.taskCount; ++t) {
        const TaskBlock& task = block.tasks[t];
        if (task.variableCount != p)
            throw OmbrelError(VariableCountMessage(block.number, p, task.variableCount));
        if (task.chosenRow < 0) continue;
        s.nullLogLikelihood -= logAlternatives_[static_cast<size_t>(task.alternativeCount)] * task.weight;
        s.totalChoiceWeight += task.weight;
        respondentWeight += task.weight;
    }
    return respondentWeight;
}

bool RespondentUpdater::AcceptOrReject(int respondent, const RespondentBlock& block,
                                       bool storedLikelihoodsValid, const PopulationState& population,
                                       RespondentStore& store, RandomGenerator& random) {
    const double candidateLikelihood = Likelihood(block, constrainedCandidate_.data());
    const double currentLikelihood = storedLikelihoodsValid ? std::exp(store.LogLikelihood(respondent))
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

    const bool accept = random.DrawUniform() <= acceptance;
    double logLikelihood = 0.0;
    if (accept) {
        logLikelihood = std::log(std::max(candidateLikelihood, kLikelihoodFloor));
        std::copy(candidate_.begin(), candidate_.end(), current_.begin());
        std::copy(constrainedCandidate_.begin(), constrainedCandidate_.end(), constrainedCurrent_.begin());
    } else {
        logLikelihood = std::log(std::max(currentLikelihood, kLikelihoodFloor));
    }
    std::copy(current_.begin(), current_.end(), store.Betas(respondent));
    store.LogLikelihood(respondent) = logLikelihood;
    return accept;
}

void RespondentUpdater::AddToPassSums(double logLikelihood, double& squaresSum) {
    PassStatistics& s = statistics_;
    s.totalLogLikelihood += logLikelihood;
    for (int k = 0; k < parameterCount_; ++k) {
        const double value = current_[static_cast<size_t>(k)];
        s.meanBetas[static_cast<size_t>(k)] += value;
        s.averageBetas[static_cast<size_t>(k)] += constrainedCurrent_[static_cast<size_t>(k)];
        squaresSum += value * value;
    }
}

void RespondentUpdater::FinishPass(int respondentCount, int accepted, double squaresSum) {
    PassStatistics& s = statistics_;
    const int p = parameterCount_;
    if (respondentCount != 0) {
        for (int k = 0; k < p; ++k) {
            s.meanBetas[static_cast<size_t>(k)] /= respondentCount;
            s.averageBetas[static_cast<size_t>(k)] /= respondentCount;
        }
        s.parameterRms = squaresSum / respondentCount / p;
        if (s.parameterRms > 0.0) s.parameterRms = std::sqrt(s.parameterRms);
        s.acceptanceRate = static_cast<double>(accepted) / respondentCount;
    }
}

}  // namespace ombrel
