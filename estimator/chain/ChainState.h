#pragma once

#include <vector>

#include "estimator/chain/Matrix.h"
#include "estimator/chain/RespondentStore.h"

namespace ombrel {

// The jump size of a chain that does not resume.
inline constexpr double kStartingJumpSize = 0.1;

// Everything a chain carries from one run to the next (what the restart file holds): P parameters,
// N respondents.
struct ChainState {
    int completedIterations = 0;
    double jumpSize = kStartingJumpSize;  // the jump size the next iteration uses
    std::vector<double> alpha;            // P values
    SquareMatrix covariance;              // P x P
    RespondentStore store;                // N records of P betas and their log-likelihoods

    int RespondentCount() const { return store.Count(); }
    int ParameterCount() const { return store.ParameterCount(); }
};

}  // namespace ombrel
