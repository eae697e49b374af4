#pragma once

#include <cstdio>
#include <filesystem>

#include "apps/ombrel/ChainEstimate.h"
#include "common/Messenger.h"
#include "common/StudyFiles.h"

namespace ombrel {

// A single run's results were written after since: kivotra ends with 0 after a stop too, and only a
// completed run writes its summary.
bool ResultsWrittenSince(const StudyFiles& study, std::filesystem::file_time_type since);

// Called by `ombrel estimate` after every completed estimate (any number of chains): writes the
// convergence diagnostics of its histories beside the study and prints the verdict on out. False,
// with the reason shown, when they could not be written.
bool AfterCompletedEstimate(const StudyFiles& study, const ChainRunReport& report, std::FILE* out,
                            Messenger& messenger);

}  // namespace ombrel
