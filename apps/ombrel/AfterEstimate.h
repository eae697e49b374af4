#pragma once

#include "apps/ombrel/ChainEstimate.h"
#include "common/StudyFiles.h"

namespace ombrel {

// Called by `ombrel estimate` after every estimate that ended well (any number of chains; with one
// chain, whenever kivotra ended with status 0), with the study and what the estimate did.
void AfterCompletedEstimate(const StudyFiles& study, const ChainRunReport& report);

}  // namespace ombrel
