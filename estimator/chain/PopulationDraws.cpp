#include "estimator/chain/PopulationDraws.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "common/OmbrelError.h"
#include "common/StudyFiles.h"
#include "common/TextConversion.h"
#include "estimator/chain/MatrixAlgebra.h"
#include "estimator/chain/UtilityKernels.h"
#include "estimator/files/AttributeModel.h"

namespace ombrel {

void PopulationState::Resize(int p) {
    parameterCount = p;
    alpha.assign(static_cast<size_t>(p), 0.0);
    covariance.Resize(p);
    covarianceInverse.Resize(p);
    priorCovariance.Resize(p);
    factorInput.Resize(p);
    factorOutput.Resize(p);
    wishartAccumulator.Resize(p);
    invertWork.assign(static_cast<size_t>(p) * static_cast<size_t>(p) + 1, 0.0);
    scratchNormals.assign(static_cast<size_t>(p), 0.0);
    scratchVector.assign(static_cast<size_t>(p), 0.0);
    scratchVectorPair.assign(static_cast<size_t>(p), 0.0);
}

namespace {

// InvertMatrix's work array holds row r, column s of a p x p matrix at 1 + r * p + s.
void CopyToWork(const SquareMatrix& matrix, std::vector<double>& work) {
    const int p = matrix.Size();
    for (int r = 0; r < p; ++r) {
        const double* row = matrix.Row(r);
        double* out = work.data() + 1 + static_cast<size_t>(r) * static_cast<size_t>(p);
        for (int s = 0; s < p; ++s) out[s] = row[s];
    }
}

void CopyFromWork(const std::vector<double>& work, SquareMatrix& matrix) {
    const int p = matrix.Size();
    for (int r = 0; r < p; ++r) {
        double* row = matrix.Row(r);
        const double* in = work.data() + 1 + static_cast<size_t>(r) * static_cast<size_t>(p);
        for (int s = 0; s < p; ++s) row[s] = in[s];
    }
}

// Copies the lower triangle onto the upper one.
void MirrorLowerTriangle(SquareMatrix& matrix) {
    const int p = matrix.Size();
    for (int i = 0; i < p; ++i) {
        for (int j = 0; j < i; ++j) matrix(j, i) = matrix(i, j);
    }
}

// Bitwise symmetry, so that mirroring can never change a signed zero or a NaN.
bool IsBitwiseSymmetric(const SquareMatrix& matrix) {
    const int p = matrix.Size();
    for (int i = 0; i < p; ++i) {
        for (int j = 0; j < i; ++j) {
            if (std::memcmp(&matrix.Row(i)[j], &matrix.Row(j)[i], sizeof(double)) != 0) return false;
        }
    }
    return true;
}

}  // namespace

void DrawAlpha(PopulationState& state, const double* meanBetas, int respondentCount,
               RandomGenerator& random) {
    if (respondentCount <= 0) throw OmbrelError("The prepared data file qebdat.tmp holds no respondents.");
    const int p = state.parameterCount;
    const double n = static_cast<double>(respondentCount);
    for (int i = 0; i < p; ++i) {
        for (int j = 0; j < p; ++j) state.factorInput(i, j) = state.covariance(i, j) / n;
    }
    CholeskyFactor(state.factorInput, state.factorOutput);
    DrawCorrelatedNormal(state.factorOutput, random, state.scratchNormals.data(), state.scratchVector.data());
    for (int i = 0; i < p; ++i)
        state.alpha[static_cast<size_t>(i)] = meanBetas[i] + state.scratchVector[static_cast<size_t>(i)];
}

void DrawCovariance(PopulationState& state, const RespondentStore& store, int priorDegreesOfFreedom,
                    RandomGenerator& random) {
    const int p = state.parameterCount;
    if (store.ParameterCount() != p) {
        throw OmbrelError(
            Format("The respondent store holds %d parameters per respondent, but the run has %d.",
                   store.ParameterCount(), p));
    }
    const int respondentCount = store.Count();
    const int64_t nu = static_cast<int64_t>(respondentCount) + priorDegreesOfFreedom + p;
    if (nu > INT_MAX) {
        throw OmbrelError(
            Format("The prior degrees of freedom (%d) are too large for this study.", priorDegreesOfFreedom));
    }

    // Scale matrix S = (p + d) * V0 plus the outer products of the betas about the new alpha. A
    // symmetric prior keeps S symmetric term by term, so only the lower triangle is summed.
    SquareMatrix& scale = state.factorInput;
    const double priorWeight = static_cast<double>(static_cast<int64_t>(p) + priorDegreesOfFreedom);
    for (int i = 0; i < p; ++i) {
        for (int j = 0; j < p; ++j) scale(i, j) = priorWeight * state.priorCovariance(i, j);
    }
    const bool symmetric = IsBitwiseSymmetric(state.priorCovariance);
    // Two respondents at a time: each entry still receives their products in respondent order.
    double* e = state.scratchVector.data();
    double* f = state.scratchVectorPair.data();
    const double* alpha = state.alpha.data();
    int r = 0;
    for (; r + 1 < respondentCount; r += 2) {
        const double* betas = store.Betas(r);
        const double* next = store.Betas(r + 1);
        for (int i = 0; i < p; ++i) e[i] = betas[i] - alpha[i];
        for (int i = 0; i < p; ++i) f[i] = next[i] - alpha[i];
        for (int i = 0; i < p; ++i) AddScaledPair(scale.Row(i), symmetric ? i + 1 : p, e[i], e, f[i], f);
    }
    if (r < respondentCount) {
        const double* betas = store.Betas(r);
        for (int i = 0; i < p; ++i) e[i] = betas[i] - alpha[i];
        for (int i = 0; i < p; ++i) AddScaled(scale.Row(i), symmetric ? i + 1 : p, e[i], e);
    }
    if (symmetric) MirrorLowerTriangle(scale);

    DrawInverseWishart(state, static_cast<int>(nu), random);
}

// A Wishart(nu, S^-1) draw W as the sum of nu outer products v * v' with v ~ N(0, S^-1); W becomes the
// precision matrix and its inverse the covariance. S is inverted as S / nu to keep the pivots near 1.
void DrawInverseWishart(PopulationState& state, int nu, RandomGenerator& random) {
    const int p = state.parameterCount;
    const double divisor = static_cast<double>(nu);
    const double reciprocal = 1.0 / divisor;
    std::vector<double>& work = state.invertWork;
    for (int r = 0; r < p; ++r) {
        for (int s = 0; s < p; ++s) {
            work[1 + static_cast<size_t>(r) * static_cast<size_t>(p) + static_cast<size_t>(s)] =
                state.factorInput(r, s) * reciprocal;
        }
    }
    InvertMatrix(p, work.data());
    for (int r = 0; r < p; ++r) {
        for (int s = 0; s < p; ++s) {
            state.factorInput(r, s) =
                work[1 + static_cast<size_t>(r) * static_cast<size_t>(p) + static_cast<size_t>(s)] / divisor;
        }
    }
    CholeskyFactor(state.factorInput, state.factorOutput);

    // The sum starts at +0.0 and v_i * v_j == v_j * v_i, so summing the lower triangle and mirroring it
    // once gives the full sum bit for bit.
    SquareMatrix& accumulator = state.wishartAccumulator;
    accumulator.Fill(0.0);
    // Two draws at a time, drawn in their usual order; each entry adds their products in draw order.
    double* v = state.scratchVector.data();
    double* w = state.scratchVectorPair.data();
    int draw = 0;
    for (; draw + 1 < nu; draw += 2) {
        DrawCorrelatedNormal(state.factorOutput, random, state.scratchNormals.data(), v);
        DrawCorrelatedNormal(state.factorOutput, random, state.scratchNormals.data(), w);
        for (int i = 0; i < p; ++i) AddScaledPair(accumulator.Row(i), i + 1, v[i], v, w[i], w);
    }
    if (draw < nu) {
        DrawCorrelatedNormal(state.factorOutput, random, state.scratchNormals.data(), v);
        for (int i = 0; i < p; ++i) AddScaled(accumulator.Row(i), i + 1, v[i], v);
    }
    MirrorLowerTriangle(accumulator);

    for (int i = 0; i < p; ++i) {
        for (int j = 0; j < p; ++j) state.covarianceInverse(i, j) = accumulator(i, j);
    }
    CopyToWork(accumulator, work);
    InvertMatrix(p, work.data());
    CopyFromWork(work, state.covariance);
}

void InvertCovariance(PopulationState& state) {
    CopyToWork(state.covariance, state.invertWork);
    InvertMatrix(state.parameterCount, state.invertWork.data());
    CopyFromWork(state.invertWork, state.covarianceInverse);
}

// ---- Priors ----------------------------------------------------------------------------------------

namespace {

// Level count of an attribute that takes part in the prior; the label file is untrusted, so a count
// below 1 (which would make blocks of negative size or divide by zero) is refused.
int64_t CheckedLevels(const AttributeModel& model, int attribute) {
    const int64_t levels = model.levelsPerAttribute[static_cast<size_t>(attribute)];
    if (levels < 1) {
        throw OmbrelError(Format("The attribute label file %s gives attribute %d a level count of %lld.",
                                 kAttributeLabelFileName, attribute + 1, static_cast<long long>(levels)));
    }
    return levels;
}

int Code(const AttributeModel& model, int i, int j) {
    return model.attributeCodes[static_cast<size_t>(i)][static_cast<size_t>(j)];
}

// A block [pos, end) must lie inside the matrix; a label file whose codes and level counts disagree
// with the run's parameter count would otherwise write past it.
void RequireInside(int64_t end, int size) {
    if (end > size) {
        throw OmbrelError(Format("The attribute label file %s does not match the run's %d parameters.",
                                 kAttributeLabelFileName, size));
    }
}

}  // namespace

void BuildEffectsPrior(const AttributeModel& model, double priorVariance, SquareMatrix& priorCovariance) {
    const int size = priorCovariance.Size();
    const double v = priorVariance;
    priorCovariance.Fill(0.0);
    int64_t pos = 0;
    for (int i = 0; i < model.attributeCount; ++i) {
        const int code = Code(model, i, i);
        if (code > 0) {
            const int64_t levels = CheckedLevels(model, i);
            RequireInside(pos + levels - 1, size);
            const double onDiagonal = v * static_cast<double>(levels - 1) / static_cast<double>(levels);
            const double offDiagonal = -v / static_cast<double>(levels);
            for (int64_t k = 0; k < levels - 1; ++k) {
                for (int64_t l = 0; l < levels - 1; ++l) {
                    priorCovariance(static_cast<int>(pos + k), static_cast<int>(pos + l)) =
                        k == l ? onDiagonal : offDiagonal;
                }
            }
            pos += levels - 1;
        } else if (code < 0) {
            RequireInside(pos + 1, size);
            priorCovariance(static_cast<int>(pos), static_cast<int>(pos)) = v;
            pos += 1;
        }
    }
    // Interaction blocks: the Kronecker product of the two attributes' effects-coding blocks, over the
    // product of their level counts. A linear attribute (one level) contributes a single row.
    for (int i = 0; i < model.attributeCount; ++i) {
        for (int j = i + 1; j < model.attributeCount; ++j) {
            if (Code(model, i, j) == 0) continue;
            const int64_t levelsI = CheckedLevels(model, i);
            const int64_t levelsJ = CheckedLevels(model, j);
            const int64_t a = levelsI == 1 ? 2 : levelsI;
            const int64_t b = levelsJ == 1 ? 2 : levelsJ;
            const int64_t cells = (a - 1) * (b - 1);
            RequireInside(pos + cells, size);
            const double d = static_cast<double>(levelsI * levelsJ);
            const double same = static_cast<double>(cells) * v / d;
            const double sameRowOfI = static_cast<double>(1 - a) * v / d;
            const double sameLevelOfJ = static_cast<double>(1 - b) * v / d;
            const double neither = v / d;
            for (int64_t k = 0; k < a - 1; ++k) {
                for (int64_t q = 0; q < b - 1; ++q) {
                    const int row = static_cast<int>(pos + k * (b - 1) + q);
                    for (int64_t l = 0; l < a - 1; ++l) {
                        for (int64_t m = 0; m < b - 1; ++m) {
                            const int column = static_cast<int>(pos + l * (b - 1) + m);
                            double value = neither;
                            if (k == l && q == m) {
                                value = same;
                            } else if (k == l) {
                                value = sameRowOfI;
                            } else if (q == m) {
                                value = sameLevelOfJ;
                            }
                            priorCovariance(row, column) = value;
                        }
                    }
                }
            }
            pos += cells;
        }
    }
    if (model.hasNone) {
        RequireInside(pos + 1, size);
        priorCovariance(static_cast<int>(pos), static_cast<int>(pos)) = v;
    }
}

void BuildDummyPrior(const AttributeModel& model, double priorVariance, SquareMatrix& priorCovariance) {
    const int size = priorCovariance.Size();
    const double v = priorVariance;
    priorCovariance.Fill(0.0);
    for (int i = 0; i < size; ++i) priorCovariance(i, i) = v;
    for (int i = 0; i < model.attributeCount; ++i) {
        for (int j = i + 1; j < model.attributeCount; ++j) {
            if (Code(model, i, j) != 0) return;  // with interactions the dummy prior stays v * I
        }
    }
    const double twice = 2.0 * v;
    int64_t pos = 0;
    for (int i = 0; i < model.attributeCount; ++i) {
        const int code = Code(model, i, i);
        if (code > 0) {
            const int64_t levels = CheckedLevels(model, i);
            RequireInside(pos + levels - 1, size);
            for (int64_t k = 0; k < levels - 1; ++k) {
                for (int64_t l = 0; l < levels - 1; ++l) {
                    priorCovariance(static_cast<int>(pos + k), static_cast<int>(pos + l)) =
                        k == l ? twice : v;
                }
            }
            pos += levels - 1;
        } else if (code < 0) {
            RequireInside(pos + 1, size);
            priorCovariance(static_cast<int>(pos), static_cast<int>(pos)) = v;
            pos += 1;
        }
    }
    if (model.hasNone) {
        RequireInside(pos + 1, size);
        priorCovariance(static_cast<int>(pos), static_cast<int>(pos)) = v;
    }
}

}  // namespace ombrel
