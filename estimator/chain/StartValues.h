#pragma once

#include "estimator/chain/PopulationDraws.h"
#include "estimator/chain/RespondentStore.h"
#include "estimator/chain/RespondentUpdate.h"
#include "estimator/files/PreparedDataSource.h"

namespace ombrel {

struct AttributeModel;

// The largest parameter count the estimator works with (the matrix inversion's bound).
inline constexpr int kMaxParameters = 1000;

// Parameters per respondent from the attribute codes: main effects, interaction blocks, then None.
// Throws OmbrelError when the label file describes more than kMaxParameters.
int CountParameters(const AttributeModel& model);

// Start values of a run that does not resume: alpha and covariance (population must already be sized
// for p), and one store record per respondent of the prepared data (store is reset). With smart start
// (smartStart and effectsCoding both on) each respondent starts from a rescaled response-weighted sum
// of its design; otherwise from zero with an identity covariance. Returns the respondent count.
// Throws OmbrelError with the premature-end message when the data ends inside a block.
int InitializeStartValues(bool smartStart, bool effectsCoding, const ConstraintTies* ties,
                          PreparedDataSource& data, PopulationState& population, RespondentStore& store);

}  // namespace ombrel
