#pragma once

#include <string>
#include <vector>

#include "estimator/chain/Matrix.h"
#include "estimator/chain/RandomGenerator.h"
#include "estimator/chain/RespondentStore.h"

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
    std::vector<double> scratchVectorPair;  // a second vector, so that two outer products add at once

    // Sizes everything for p parameters, all zero.
    void Resize(int p);
};

// alpha = meanBetas + chol(covariance / respondentCount) * z, the correlated part summed first.
// Throws OmbrelError when respondentCount is not positive.
void DrawAlpha(PopulationState& state, const double* meanBetas, int respondentCount, RandomGenerator& random);

// Draws covariance (and covarianceInverse) from its inverse-Wishart conditional given the stored betas
// and the new alpha, with nu = N + priorDegreesOfFreedom + p (N = store.Count()). Throws OmbrelError
// when the store's parameter count differs from the state's or nu does not fit an int.
void DrawCovariance(PopulationState& state, const RespondentStore& store, int priorDegreesOfFreedom,
                    RandomGenerator& random);

// Draws from the inverse Wishart with nu degrees of freedom and the scale matrix in state.factorInput
// (destroyed): the Wishart draw becomes covarianceInverse and its inverse covariance.
void DrawInverseWishart(PopulationState& state, int nu, RandomGenerator& random);

// Prior covariance for effects or dummy coding, from the attribute codes and levels, filling the whole
// matrix (size p). Throw OmbrelError naming qebatt.tmp when an attribute the prior covers has fewer
// than one level or the layout would run past the matrix.
void BuildEffectsPrior(const AttributeModel& model, double priorVariance, SquareMatrix& priorCovariance);
void BuildDummyPrior(const AttributeModel& model, double priorVariance, SquareMatrix& priorCovariance);

// covarianceInverse from covariance, through InvertMatrix's work array (as the run does at start-up).
void InvertCovariance(PopulationState& state);

}  // namespace ombrel
