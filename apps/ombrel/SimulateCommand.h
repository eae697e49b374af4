#pragma once

#include <cstdio>
#include <string>

#include "apps/ombrel/DiagnoseCommand.h"

namespace CLI {
class App;
}

namespace ombrel {

// ombrel simulate STUDY SCENARIO [--method share|first-choice] [--exponent X]
struct SimulateRequest {
    std::string dataFile;
    std::string scenarioFile;
    std::string method = "share";
    double exponent = 1.0;
};

CLI::App* AddSimulateCommand(CLI::App& app, SimulateRequest& request);

// Simulates the scenario, writes "<scenario less its extension>_<method>.csv" and prints the shares.
// Returns 0, or 1 after the path check failed; a bad scenario line, a missing or damaged file throws
// OmbrelError with its message, and then nothing is written.
int SimulateCommand(const SimulateRequest& request, std::FILE* out, Messenger& messenger,
                    DataPathCheck check);

}  // namespace ombrel
