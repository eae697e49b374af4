#pragma once

#include <cstdint>
#include <string>

#include "estimator/files/PreparedDataSource.h"
#include "estimator/run/RunSinks.h"

namespace ombrel {

// One run of the estimator: loads the settings (through the names file in namesFolder, "" for the
// working directory), the prepared study and the restart file or start values, iterates, and writes
// the restart and result files. Returns the process exit status: 0 after a normal end or a stop,
// 1 after a fatal message. Prepared data up to memoryBudget bytes is held in memory, a larger file is
// streamed from disk every pass; both give the same chain.
int RunEstimator(const RunServices& services, const std::string& namesFolder = "",
                 uint64_t memoryBudget = DefaultMemoryBudget());

}  // namespace ombrel
