#include "estimator/chain/PopulationDraws.h"

#include <algorithm>
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

void DrawAlpha(PopulationState& state, const double* meanBetas, int respondentCount, RandomGenerator& random,
               const NormalParts* drawnAhead) {
    if (respondentCount <= 0) throw OmbrelError("The prepared data file qebdat.tmp holds no respondents.");
    const int p = state.parameterCount;
    const double n = static_cast<double>(respondentCount);
    for (int i = 0; i < p; ++i) {
        for (int j = 0; j < p; ++j) state.factorInput(i, j) = state.covariance(i, j) / n;
    }
    CholeskyFactor(state.factorInput, state.factorOutput);
    if (drawnAhead != nullptr) {
        TransformNormals(drawnAhead, p, state.scratchNormals.data());
        CorrelateNormals(state.factorOutput, state.scratchNormals.data(), state.scratchVector.data());
    } else {
        DrawCorrelatedNormal(state.factorOutput, random, state.scratchNormals.data(),
                             state.scratchVector.data());
    }
    for (int i = 0; i < p; ++i)
        state.alpha[static_cast<size_t>(i)] = meanBetas[i] + state.scratchVector[static_cast<size_t>(i)];
}

int WishartDegrees(int respondentCount, int priorDegreesOfFreedom, int parameterCount) {
    const int64_t nu = static_cast<int64_t>(respondentCount) + priorDegreesOfFreedom + parameterCount;
    if (nu > INT_MAX) {
        throw OmbrelError(
            Format("The prior degrees of freedom (%d) are too large for this study.", priorDegreesOfFreedom));
    }
    return static_cast<int>(nu);
}

int64_t WishartNormalsDrawnAhead(int nu, int parameterCount) {
    return static_cast<int64_t>(std::min(nu, kWishartBlockDraws)) * parameterCount;
}

namespace {

// Calls job(worker, workers) on every thread of the pool, or on the caller alone without one.
template <typename Job>
void OnEveryWorker(WorkerPool* pool, Job job) {
    if (pool == nullptr) {
        job(0, 1);
        return;
    }
    const int workers = pool->Threads();
    auto run = [&job, workers](int worker) { job(worker, workers); };
    pool->Run(run);
}

// Worker w's rows of a p-row sum whose row i has i + 1 entries (triangular) or p: the rows are split
// so that each worker adds about as many entries. Every entry's sum stays whole in one worker, so the
// split never changes a result.
void WorkerRows(int worker, int workers, int p, bool triangular, int& begin, int& end) {
    auto boundary = [p, triangular, workers](int w) {
        if (w >= workers) return p;
        if (!triangular) return static_cast<int>(static_cast<int64_t>(p) * w / workers);
        const double total = 0.5 * p * (p + 1.0);
        const double share = total * w / workers;
        int row = 0;
        while (row < p && 0.5 * row * (row + 1.0) < share) ++row;
        return row;
    };
    begin = boundary(worker);
    end = boundary(worker + 1);
}

// Two vectors of p values for every worker of the pool; sized before the workers start.
double* WorkerScratch(PopulationState& state, WorkerPool* pool) {
    const int workers = pool == nullptr ? 1 : pool->Threads();
    const size_t needed = static_cast<size_t>(workers) * 2 * static_cast<size_t>(state.parameterCount);
    if (state.workerScratch.size() < needed) state.workerScratch.resize(needed);
    return state.workerScratch.data();
}

// S's rows from begin to end: the outer products of the betas about alpha, two respondents at a
// time, so that each entry receives their products in respondent order.
void AddScaleRows(const RespondentStore& store, const double* alpha, int p, bool symmetric, int begin,
                  int end, double* e, double* f, SquareMatrix& scale) {
    const int respondentCount = store.Count();
    int r = 0;
    for (; r + 1 < respondentCount; r += 2) {
        const double* betas = store.Betas(r);
        const double* next = store.Betas(r + 1);
        for (int i = 0; i < p; ++i) e[i] = betas[i] - alpha[i];
        for (int i = 0; i < p; ++i) f[i] = next[i] - alpha[i];
        for (int i = begin; i < end; ++i)
            AddScaledPair(scale.Row(i), symmetric ? i + 1 : p, e[i], e, f[i], f);
    }
    if (r < respondentCount) {
        const double* betas = store.Betas(r);
        for (int i = 0; i < p; ++i) e[i] = betas[i] - alpha[i];
        for (int i = begin; i < end; ++i) AddScaled(scale.Row(i), symmetric ? i + 1 : p, e[i], e);
    }
}

// One block of the Wishart's draws: every draw's deviates correlated (the draws split among the
// workers), then their outer products added to the lower triangle (the rows split among them), two
// draws at a time in draw order. Blocks hold an even number of draws, so the pairs are those of one
// sweep over every draw.
void AddWishartBlock(PopulationState& state, const NormalParts* parts, int draws, WorkerPool* pool) {
    const int p = state.parameterCount;
    const size_t length = static_cast<size_t>(p);
    if (state.wishartVectors.size() < static_cast<size_t>(draws) * length)
        state.wishartVectors.resize(static_cast<size_t>(kWishartBlockDraws) * length);
    double* vectors = state.wishartVectors.data();
    double* scratch = WorkerScratch(state, pool);
    OnEveryWorker(pool, [&](int worker, int workers) {
        double* z = scratch + static_cast<size_t>(worker) * 2 * length;
        const int first = static_cast<int>(static_cast<int64_t>(draws) * worker / workers);
        const int last = static_cast<int>(static_cast<int64_t>(draws) * (worker + 1) / workers);
        for (int d = first; d < last; ++d) {
            TransformNormals(parts + static_cast<size_t>(d) * length, p, z);
            CorrelateNormals(state.factorOutput, z, vectors + static_cast<size_t>(d) * length);
        }
    });
    SquareMatrix& accumulator = state.wishartAccumulator;
    OnEveryWorker(pool, [&](int worker, int workers) {
        int begin = 0;
        int end = 0;
        WorkerRows(worker, workers, p, true, begin, end);
        int d = 0;
        for (; d + 1 < draws; d += 2) {
            const double* v = vectors + static_cast<size_t>(d) * length;
            const double* w = v + length;
            for (int i = begin; i < end; ++i) AddScaledPair(accumulator.Row(i), i + 1, v[i], v, w[i], w);
        }
        if (d < draws) {
            const double* v = vectors + static_cast<size_t>(d) * length;
            for (int i = begin; i < end; ++i) AddScaled(accumulator.Row(i), i + 1, v[i], v);
        }
    });
}

}  // namespace

void DrawCovariance(PopulationState& state, const RespondentStore& store, int priorDegreesOfFreedom,
                    RandomGenerator& random, const NormalParts* drawnAhead, WorkerPool* pool) {
    const int p = state.parameterCount;
    if (store.ParameterCount() != p) {
        throw OmbrelError(
            Format("The respondent store holds %d parameters per respondent, but the run has %d.",
                   store.ParameterCount(), p));
    }
    const int nu = WishartDegrees(store.Count(), priorDegreesOfFreedom, p);

    // Scale matrix S = (p + d) * V0 plus the outer products of the betas about the new alpha. A
    // symmetric prior keeps S symmetric term by term, so only the lower triangle is summed.
    SquareMatrix& scale = state.factorInput;
    const double priorWeight = static_cast<double>(static_cast<int64_t>(p) + priorDegreesOfFreedom);
    for (int i = 0; i < p; ++i) {
        for (int j = 0; j < p; ++j) scale(i, j) = priorWeight * state.priorCovariance(i, j);
    }
    const bool symmetric = IsBitwiseSymmetric(state.priorCovariance);
    const double* alpha = state.alpha.data();
    double* scratch = WorkerScratch(state, pool);
    OnEveryWorker(pool, [&](int worker, int workers) {
        int begin = 0;
        int end = 0;
        WorkerRows(worker, workers, p, symmetric, begin, end);
        double* e = scratch + static_cast<size_t>(worker) * 2 * static_cast<size_t>(p);
        AddScaleRows(store, alpha, p, symmetric, begin, end, e, e + p, scale);
    });
    if (symmetric) MirrorLowerTriangle(scale);

    DrawInverseWishart(state, nu, random, drawnAhead, pool);
}

void DrawInverseWishart(PopulationState& state, int nu, RandomGenerator& random,
                        const NormalParts* drawnAhead, WorkerPool* pool) {
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

    // W = the sum of nu outer products v * v', v = L z. The sum starts at +0.0 and v_i * v_j == v_j * v_i,
    // so summing the lower triangle and mirroring it once gives the full sum bit for bit. The deviates
    // of the first block may have been drawn ahead; the rest are drawn here, block by block, in order.
    SquareMatrix& accumulator = state.wishartAccumulator;
    accumulator.Fill(0.0);
    const size_t length = static_cast<size_t>(p);
    for (int first = 0; first < nu; first += kWishartBlockDraws) {
        const int draws = std::min(kWishartBlockDraws, nu - first);
        const NormalParts* parts = first == 0 ? drawnAhead : nullptr;
        if (parts == nullptr) {
            const size_t count = static_cast<size_t>(draws) * length;
            if (state.wishartParts.size() < count)
                state.wishartParts.resize(static_cast<size_t>(kWishartBlockDraws) * length);
            random.DrawNormalParts(state.wishartParts.data(), static_cast<int>(count));
            parts = state.wishartParts.data();
        }
        AddWishartBlock(state, parts, draws, pool);
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
