#pragma once

// The results of several chains of one study pooled into the study's own result files, in the formats
// of a single run, as if one chain had given all the chains' used draws: ".hbu", ".lay", ".csv", ".sum",
// and ".std" (accumulated draws) or ".dra" (saved draws).

#include <string>
#include <vector>

#include "common/StudyFiles.h"
#include "estimator/files/Summary.h"
#include "estimator/run/EstimatorRun.h"

namespace ombrel {

// The summary sums of every chain added up, element by element.
SummarySums SumChainSums(const std::vector<RunResults>& chains);

// Writes the pooled results of chains (chain k's files are study.ForChain(k), its results
// chains[k - 1], every one of them Completed) from the study folder's prepared label file and
// effectsCoding. Without saved draws the chains' "betas.upd" are added up record by record into the
// study folder's "betas.upd" and the estimates use K x D draws per respondent: the means over all the
// draws, and standard deviations that hold both the variance within the chains and that of the chain
// means. With saved draws the study's ".dra" holds, respondent by respondent, chain 1's D records, then
// chain 2's, ..., and the estimates are read from it. Throws OmbrelError naming the chain and file when
// the chains do not fit together; every result file is written beside its target and renamed, and the
// draws file, when there is one, is complete before any estimate is written.
void WritePooledResults(const StudyFiles& study, const std::vector<RunResults>& chains, bool effectsCoding);

}  // namespace ombrel
