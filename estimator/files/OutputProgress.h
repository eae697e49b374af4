#pragma once

#include <functional>

namespace ombrel {

// The steps of writing a run's results, reported as they go; a console turns them into its texts.
enum class OutputPhase {
    SavingOutputFiles,        // before anything is written (no steps)
    SortingDraws,             // step: the draw being sorted, of drawsPerRespondent
    ExpandingDraws,           // step: the draw just expanded, of drawsPerRespondent
    ComputingPointEstimates,  // step: the respondent being averaged, of respondentCount
};

// phase is at step of total (both 0 for a phase without steps). May be empty: nothing is reported.
using OutputProgress = std::function<void(OutputPhase phase, int step, int total)>;

}  // namespace ombrel
