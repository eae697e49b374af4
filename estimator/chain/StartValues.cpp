#include "estimator/chain/StartValues.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "estimator/files/AttributeModel.h"

namespace ombrel {

namespace {

// Placeholder log-likelihood of a start record; the first pass recomputes every likelihood.
constexpr double kUnknownLogLikelihood = -1e30;

}  // namespace

int CountParameters(const AttributeModel& model) {
    const int n = model.attributeCount;
    int64_t count = model.hasNone ? 1 : 0;
    auto columns = [&](int a) -> int64_t {
        return model.attributeCodes[a][a] < 0 ? 1 : int64_t{model.levelsPerAttribute[a]} - 1;
    };
    for (int i = 0; i < n && count <= kMaxParameters; ++i) {
        if (model.attributeCodes[i][i] == 0) continue;
        count += columns(i);
        for (int j = i + 1; j < n; ++j)
            if (model.attributeCodes[i][j] != 0) count += columns(i) * columns(j);
    }
    if (count > kMaxParameters)
        throw OmbrelError(
            Format("The qebatt.tmp file describes more than %d parameters per respondent, "
                   "more than can be estimated.",
                   kMaxParameters));
    return static_cast<int>(count);
}

int InitializeStartValues(bool smartStart, bool effectsCoding, const ConstraintTies* ties,
                          PreparedDataSource& data, PopulationState& population, RespondentStore& store) {
    const int p = population.parameterCount;
    std::fill(population.alpha.begin(), population.alpha.end(), 0.0);
    if (smartStart)
        population.covariance.Fill(0.0);
    else
        population.covariance.SetIdentity();
    const bool smart = smartStart && effectsCoding;

    store.Reset(p);
    const size_t width = static_cast<size_t>(std::max(p, kMaxRowValues));
    std::vector<double> sums(width);     // A: response-weighted design sums
    std::vector<double> squares(width);  // B: sums of squared design values

    int respondentCount = 0;
    data.Rewind();
    RespondentBlock block;
    for (;;) {
        RecordOutcome outcome = data.Next(block);
        if (outcome == RecordOutcome::EndOfData) break;
        if (outcome == RecordOutcome::PrematureEnd) throw OmbrelError(kPrematureEndMessage);
        std::fill(sums.begin(), sums.end(), 0.0);
        std::fill(squares.begin(), squares.end(), 0.0);
        if (smart) {
            for (int t = 0; t < block.taskCount; ++t) {
                const TaskBlock& task = block.tasks[t];
                const double* row = task.rows;
                for (int r = 0; r < task.alternativeCount; ++r, row += task.variableCount) {
                    const double flag = task.flags[r];
                    for (int k = 0; k < task.variableCount; ++k) {
                        sums[static_cast<size_t>(k)] += flag * row[k];
                        squares[static_cast<size_t>(k)] += row[k] * row[k];
                    }
                }
            }
            double sumOfSquares = 0.0;
            for (int k = 0; k < p; ++k) {
                const double divisor = squares[static_cast<size_t>(k)] + 1;
                if (divisor != 0.0) {
                    sums[static_cast<size_t>(k)] = sums[static_cast<size_t>(k)] / divisor;
                    sumOfSquares += sums[static_cast<size_t>(k)] * sums[static_cast<size_t>(k)];
                }
            }
            const double factor = sumOfSquares != 0.0 ? std::sqrt(p / sumOfSquares) : 0.0;
            for (int k = 0; k < p; ++k) {
                sums[static_cast<size_t>(k)] = factor * sums[static_cast<size_t>(k)];
                population.alpha[static_cast<size_t>(k)] += sums[static_cast<size_t>(k)];
            }
            if (ties != nullptr) ties->ApplyConstraints(sums.data());
            for (int i = 0; i < p; ++i)
                for (int j = 0; j < p; ++j)
                    population.covariance(i, j) +=
                        sums[static_cast<size_t>(i)] * sums[static_cast<size_t>(j)];
        }
        store.Append(block.number, sums.data(), kUnknownLogLikelihood);
        ++respondentCount;
    }

    if (smart && respondentCount > 0) {
        for (int k = 0; k < p; ++k) population.alpha[static_cast<size_t>(k)] /= respondentCount;
        for (int i = 0; i < p; ++i)
            for (int j = 0; j < p; ++j) population.covariance(i, j) /= respondentCount;
        for (int i = 0; i < p; ++i)
            for (int j = 0; j < p; ++j)
                population.covariance(i, j) -=
                    population.alpha[static_cast<size_t>(i)] * population.alpha[static_cast<size_t>(j)];
    }
    return respondentCount;
}

}  // namespace ombrel
