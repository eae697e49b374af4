#pragma once

// The upper level of the model in text:
//
//   ".alp", ".bet"  one line per sampled iteration: levelCount expanded values "%7.3lf " each, "\n"
//   ".cov"          one line per sampled iteration: the upper triangle of the covariance, row by row
//                   (j >= i), "%8.3lf" each with no separator, "\n"
//   ".sum"          "Point Estimate of Alpha\n", the expanded mean alpha ("%7.3lf " each, "\n" before
//                   the 11th, 21st, ... value), "\n\n"; with constraints "Average of Constrained
//                   Betas\n", the same layout, "\n\n"; then, for levelCount <= 1000,
//                   "Estimated Covariances\n" and per level g "%2d\n" and row g of E * S * E^T in the
//                   same layout and "\n"; for levelCount > 1000 "Estimated Covariances: Last level for
//                   each attribute omitted\n\n" and the p x p mean covariance, "%7.3lf " each, one row
//                   per line.

#include <span>
#include <string>
#include <vector>

#include "estimator/chain/LevelExpansion.h"
#include "estimator/chain/Matrix.h"

namespace ombrel {

// The largest levelCount whose covariance ".sum" expands to levels.
inline constexpr int kMaxExpandedCovarianceLevels = 1000;

// line = a ".alp" or ".bet" line of the expanded values.
void FormatLevelHistoryLine(const double* expanded, int levelCount, std::string& line);
// line = a ".cov" line of covariance.
void FormatCovarianceHistoryLine(const SquareMatrix& covariance, std::string& line);

// Expanded covariance E * S * E^T (levelCount x levelCount) of the p x p matrix S, row expansions
// first (S * E^T, one ExpandToLevels per row of S), then column expansions of that table.
SquareMatrix ExpandCovariance(const LevelExpansion& expansion, const SquareMatrix& covariance);

// The summary accumulators of the used sampled iterations, as the run keeps them.
struct SummarySums {
    std::vector<double> alphaSum;            // p values
    std::vector<double> constrainedBetaSum;  // p values with constraints in use, else empty
    std::vector<double> covarianceSum;       // p(p+1)/2 values, upper triangle row by row
};

// Adds one used sampled iteration: alpha, the covariance's upper triangle row by row and, with
// constraints (constrainedBetaSum not empty), the average constrained betas.
void AddToSums(SummarySums& sums, const std::vector<double>& alpha, const SquareMatrix& covariance,
               std::span<const double> averageBetas);

// Writes the summary file at path (the study's ".sum") from the sums over drawsPerRespondent used iterations.
// Written beside the target and renamed into place; throws OmbrelError ("\nUnable to open %s file" or a write
// failure) when it cannot be written.
void WriteSummary(const std::string& path, const SummarySums& sums, int drawsPerRespondent,
                  const LevelExpansion& expansion);

}  // namespace ombrel
