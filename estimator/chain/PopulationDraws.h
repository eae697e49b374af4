#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "estimator/chain/Matrix.h"
#include "estimator/chain/RandomGenerator.h"
#include "estimator/chain/RespondentStore.h"
#include "estimator/chain/WorkerPool.h"

namespace ombrel {

struct AttributeModel;

// The upper level of the model and the storage its draws work in, all sized once for p parameters.
struct PopulationState {
    int parameterCount = 0;
    std::vector<double> alpha;       // population mean, current draw
    SquareMatrix covariance;         // population covariance, current draw
    SquareMatrix covarianceInverse;  // its inverse, used by the prior density
    SquareMatrix priorCovariance;    // prior covariance V0
    // Scratch, never reallocated during the iterations.
    SquareMatrix factorInput;
    SquareMatrix factorOutput;
    SquareMatrix wishartAccumulator;
    std::vector<double> invertWork;  // p * p + 1 values, used 1-based by InvertMatrix
    std::vector<double> scratchNormals;
    std::vector<double> scratchVector;
    // Grown on first use: two vectors per worker, one block of the Wishart's correlated draws and
    // their deviates' parts.
    std::vector<double> workerScratch;
    std::vector<double> wishartVectors;
    std::vector<NormalParts> wishartParts;

    // Sizes everything for p parameters, all zero.
    void Resize(int p);
};

// The population draws of an iteration take their deviates from the generator in a fixed order: alpha's
// p, then the Wishart's nu * p. The respondent pass can draw alpha's and the Wishart's first block ahead
// (as parts, see NormalParts) while it updates the respondents; the draws below take them from there
// instead of the generator and give the same bits either way. The Wishart goes in blocks of this many
// draws (even, so that draws pair up as in one sweep), which bounds its working storage.
inline constexpr int kWishartBlockDraws = 4096;

// alpha = meanBetas + chol(covariance / respondentCount) * z, the correlated part summed first; z from
// drawnAhead (p parts) when given, else from random. Throws OmbrelError when respondentCount is not
// positive.
void DrawAlpha(PopulationState& state, const double* meanBetas, int respondentCount, RandomGenerator& random,
               const NormalParts* drawnAhead = nullptr);

// nu = N + priorDegreesOfFreedom + p; throws OmbrelError when it does not fit an int.
int WishartDegrees(int respondentCount, int priorDegreesOfFreedom, int parameterCount);
// How many of the Wishart's deviates DrawCovariance takes from drawnAhead: its first block's.
int64_t WishartNormalsDrawnAhead(int nu, int parameterCount);

// Draws covariance (and covarianceInverse) from its inverse-Wishart conditional given the stored betas
// and the new alpha, with nu = WishartDegrees(store.Count(), priorDegreesOfFreedom, p). drawnAhead: the
// first WishartNormalsDrawnAhead(nu, p) deviates, or null to draw them all from random. The sums are
// shared among the pool's threads (none: the caller alone), each entry's sum whole in one thread, so the
// result is the same for any pool. Throws OmbrelError when the store's parameter count differs from the
// state's or nu does not fit an int.
void DrawCovariance(PopulationState& state, const RespondentStore& store, int priorDegreesOfFreedom,
                    RandomGenerator& random, const NormalParts* drawnAhead = nullptr,
                    WorkerPool* pool = nullptr);

// Draws from the inverse Wishart with nu degrees of freedom and the scale matrix in state.factorInput
// (destroyed): the Wishart draw becomes covarianceInverse and its inverse covariance. drawnAhead and
// pool as for DrawCovariance.
void DrawInverseWishart(PopulationState& state, int nu, RandomGenerator& random,
                        const NormalParts* drawnAhead = nullptr, WorkerPool* pool = nullptr);

// Prior covariance for effects or dummy coding, from the attribute codes and levels, filling the whole
// matrix (size p). Throw OmbrelError naming qebatt.tmp when an attribute the prior covers has fewer
// than one level or the layout would run past the matrix.
void BuildEffectsPrior(const AttributeModel& model, double priorVariance, SquareMatrix& priorCovariance);
void BuildDummyPrior(const AttributeModel& model, double priorVariance, SquareMatrix& priorCovariance);

// covarianceInverse from covariance, through InvertMatrix's work array (as the run does at start-up).
void InvertCovariance(PopulationState& state);

}  // namespace ombrel
