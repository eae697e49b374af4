#include "estimator/chain/RespondentUpdate.h"

#include <algorithm>
#include <cmath>

#include "estimator/chain/UtilityKernels.h"

namespace ombrel {

namespace {

constexpr double kUtilityLimit = 100.0;
constexpr double kProbabilityFloor = 0.00001;
constexpr double kLikelihoodFloor = 1e-320;

// Both prior densities of kGroupSize respondents in one sweep over the precision matrix. Each of the
// 2 * kGroupSize sums adds the same terms in the same order as PriorDensity, ((d_i * M_ij) * d_j for
// i, then j); the sums are independent, so that they overlap in the processor instead of each waiting
// on its previous addition. The differences are interleaved: d_j of respondent r at j * kGroupSize + r.
void GroupPriorDensities(const SquareMatrix& m, const double* currentDifferences,
                         const double* candidateDifferences, double* currentDensities,
                         double* candidateDensities) {
    constexpr int g = RespondentUpdater::kGroupSize;
    static_assert(g == 4, "the sums below are written out for four respondents");
    const int p = m.Size();
    // Named sums rather than arrays, so that all eight stay in registers.
    double c0 = 0.0, c1 = 0.0, c2 = 0.0, c3 = 0.0;
    double k0 = 0.0, k1 = 0.0, k2 = 0.0, k3 = 0.0;
    for (int i = 0; i < p; ++i) {
        const double* row = m.Row(i);
        const double* ci = currentDifferences + i * g;
        const double* ki = candidateDifferences + i * g;
        const double ci0 = ci[0], ci1 = ci[1], ci2 = ci[2], ci3 = ci[3];
        const double ki0 = ki[0], ki1 = ki[1], ki2 = ki[2], ki3 = ki[3];
        for (int j = 0; j < p; ++j) {
            const double mij = row[j];
            const double* cj = currentDifferences + j * g;
            const double* kj = candidateDifferences + j * g;
            c0 += ci0 * mij * cj[0];
            c1 += ci1 * mij * cj[1];
            c2 += ci2 * mij * cj[2];
            c3 += ci3 * mij * cj[3];
            k0 += ki0 * mij * kj[0];
            k1 += ki1 * mij * kj[1];
            k2 += ki2 * mij * kj[2];
            k3 += ki3 * mij * kj[3];
        }
    }
    const double currentSums[g] = {c0, c1, c2, c3};
    const double candidateSums[g] = {k0, k1, k2, k3};
    for (int r = 0; r < g; ++r) {
        currentDensities[r] = std::exp(-0.5 * currentSums[r]);
        candidateDensities[r] = std::exp(-0.5 * candidateSums[r]);
    }
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
      current_(static_cast<size_t>(kGroupSize * parameterCount)),
      candidate_(static_cast<size_t>(kGroupSize * parameterCount)),
      constrainedCurrent_(static_cast<size_t>(kGroupSize * parameterCount)),
      constrainedCandidate_(static_cast<size_t>(kGroupSize * parameterCount)),
      step_(static_cast<size_t>(parameterCount)),
      normals_(static_cast<size_t>(parameterCount)),
      currentDifferences_(static_cast<size_t>(kGroupSize * parameterCount)),
      candidateDifferences_(static_cast<size_t>(kGroupSize * parameterCount)),
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

void RespondentUpdater::ProposeCandidate(int r, const double* stored, const NormalParts* parts,
                                         const PassInputs& inputs) {
    const int p = parameterCount_;
    double* normals = normals_.data();
    TransformNormals(parts, p, normals);
    double* current = Member(current_, r);
    double* candidate = Member(candidate_, r);
    std::copy(stored, stored + p, current);
    // The factor times the normals, as DrawCorrelatedNormal multiplies the normals it draws: the upper
    // triangle of the factor is zero, and its terms would add +-0 to a sum that cannot be -0.0.
    const SquareMatrix& factor = *inputs.proposalFactor;
    for (int i = 0; i < p; ++i) {
        const double* row = factor.Row(i);
        double sum = 0.0;
        for (int j = 0; j <= i; ++j) sum += normals[j] * row[j];
        step_[static_cast<size_t>(i)] = sum;
    }
    for (int k = 0; k < p; ++k) candidate[k] = current[k] + step_[static_cast<size_t>(k)];

    double* constrainedCandidate = Member(constrainedCandidate_, r);
    double* constrainedCurrent = Member(constrainedCurrent_, r);
    std::copy(candidate, candidate + p, constrainedCandidate);
    std::copy(current, current + p, constrainedCurrent);
    if (inputs.ties != nullptr) {
        inputs.ties->ApplyConstraints(constrainedCandidate);
        inputs.ties->ApplyConstraints(constrainedCurrent);
    }
    const double* alpha = inputs.population->alpha.data();
    for (int j = 0; j < p; ++j) {
        currentDifferences_[static_cast<size_t>(j * kGroupSize + r)] = current[j] - alpha[j];
        candidateDifferences_[static_cast<size_t>(j * kGroupSize + r)] = candidate[j] - alpha[j];
    }
}

int RespondentUpdater::UpdateGroup(const GroupWork& work, const PassInputs& inputs, RespondentStore& store,
                                   std::exception_ptr& failure) {
    const int p = parameterCount_;
    // Proposals and likelihoods one respondent after the other; a throw ends the group there.
    int count = 0;
    double candidateLikelihoods[kGroupSize];
    double currentLikelihoods[kGroupSize];
    for (; count < work.count; ++count) {
        const int n = work.first + count;
        const RespondentBlock& block = work.blocks[count];
        try {
            ProposeCandidate(count, store.Betas(n),
                             work.normals + static_cast<size_t>(count) * static_cast<size_t>(p), inputs);
            candidateLikelihoods[count] = Likelihood(block, Member(constrainedCandidate_, count));
            currentLikelihoods[count] = inputs.storedLikelihoodsValid
                                            ? std::exp(store.LogLikelihood(n))
                                            : Likelihood(block, Member(constrainedCurrent_, count));
        } catch (...) {
            failure = std::current_exception();
            break;
        }
    }
    if (count == 0) return 0;
    // The unused places of a short group repeat its first respondent; their densities are not used.
    for (int r = count; r < kGroupSize; ++r)
        for (int j = 0; j < p; ++j) {
            currentDifferences_[static_cast<size_t>(j * kGroupSize + r)] =
                currentDifferences_[static_cast<size_t>(j * kGroupSize)];
            candidateDifferences_[static_cast<size_t>(j * kGroupSize + r)] =
                candidateDifferences_[static_cast<size_t>(j * kGroupSize)];
        }
    double currentPriors[kGroupSize];
    double candidatePriors[kGroupSize];
    GroupPriorDensities(inputs.population->covarianceInverse, currentDifferences_.data(),
                        candidateDifferences_.data(), currentPriors, candidatePriors);
    for (int r = 0; r < count; ++r) {
        double* constrainedOut = work.constrained != nullptr
                                     ? work.constrained + static_cast<size_t>(r) * static_cast<size_t>(p)
                                     : nullptr;
        work.accepted[r] =
            Decide(work.first + r, r, candidateLikelihoods[r], currentLikelihoods[r], candidatePriors[r],
                   currentPriors[r], work.uniforms[r], store, constrainedOut);
    }
    return count;
}

bool RespondentUpdater::Decide(int n, int r, double candidateLikelihood, double currentLikelihood,
                               double candidatePrior, double currentPrior, double uniform,
                               RespondentStore& store, double* constrainedOut) {
    const int p = parameterCount_;
    double acceptance = 1.0;
    if (currentLikelihood != 0.0 && currentPrior != 0.0) {
        acceptance = (candidatePrior / currentPrior) * (candidateLikelihood / currentLikelihood);
        if (acceptance > 1.0) acceptance = 1.0;
    }
    const bool accept = uniform <= acceptance;
    const double kept = accept ? candidateLikelihood : currentLikelihood;
    const double* betas = accept ? Member(candidate_, r) : Member(current_, r);
    const double* tied = accept ? Member(constrainedCandidate_, r) : Member(constrainedCurrent_, r);
    std::copy(betas, betas + p, store.Betas(n));
    store.LogLikelihood(n) = std::log(std::max(kept, kLikelihoodFloor));
    if (constrainedOut != nullptr) std::copy(tied, tied + p, constrainedOut);
    return accept;
}

}  // namespace ombrel
