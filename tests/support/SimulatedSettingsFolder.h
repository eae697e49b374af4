#pragma once

#include <cstdint>
#include <string>

#include "common/StudySettings.h"
#include "tests/support/SimulatedStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel::test {

// A settings folder holding a small simulated study, ready for the estimator: the prepared files,
// the names file naming the absolute path of "study.cho", and that study's ".set" file (seed 5, 10
// draws per respondent, log every 10th iteration). The estimator runs with it as working directory.
struct SimulatedSettingsFolder {
    TempDir dir;
    StudySettings settings;

    SimulatedSettingsFolder(const SimulationSpec& spec, int preliminaryIterations, int drawSkip);

    // Preliminary iterations plus the used ones.
    int TotalIterations() const;
    bool Exists(const std::string& extension) const;  // "study" + extension
    std::string Log() const;
    // The completed-iteration count of the restart file (its third number); -1 without one.
    int CompletedIterations() const;
};

// The small design both the console and the estimator's own tests run: 6 tasks of 3 concepts on
// attributes of 3 and 2 levels, with None.
SimulationSpec SmallDesign(int respondents, uint64_t seed);

}  // namespace ombrel::test
