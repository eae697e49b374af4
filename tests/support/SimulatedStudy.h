#pragma once

// A discrete-choice study simulated from known part-worths and written straight into the two
// prepared files the estimator reads ("qebdat.tmp" and "qebatt.tmp"), for estimator tests and the
// benchmark. Attributes are effects-coded part-worth attributes; every task has a None alternative.

#include <cstdint>
#include <string>
#include <vector>

namespace ombrel::test {

struct SimulationSpec {
    int respondents = 200;
    int tasks = 10;
    int concepts = 3;                  // concepts shown per task, the None alternative not counted
    std::vector<int> levels{3, 3, 2};  // levels per attribute
    bool withNone = true;              // estimate a None parameter
    double heterogeneity = 1.0;        // standard deviation of individual part-worths around the mean
    uint64_t seed = 1;
};

struct SimulatedStudy {
    int parameterCount = 0;
    std::vector<double> meanPartWorths;           // parameterCount values
    std::vector<std::vector<double>> partWorths;  // per respondent, parameterCount values
};

// Parameter count of an effects-coded design: sum of (levels - 1), plus 1 for None.
int EffectsParameterCount(const std::vector<int>& levels, bool withNone);

// Simulates the study and writes folder + "qebdat.tmp" and folder + "qebatt.tmp".
SimulatedStudy WriteSimulatedStudy(const std::string& folder, const SimulationSpec& spec);

}  // namespace ombrel::test
