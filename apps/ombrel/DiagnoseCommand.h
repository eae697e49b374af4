#pragma once

#include <cstdio>
#include <string>

#include "common/Messenger.h"

namespace CLI {
class App;
}

namespace ombrel {

// ombrel diagnose DATAFILE [--chains K]
struct DiagnoseRequest {
    std::string dataFile;
    int chains = 0;  // 0: as DetectChainCount finds
};

// The command's check of the data file path: shows why it names no study and returns false, else
// gives the absolute path.
using DataPathCheck = bool (*)(const std::string& given, Messenger& messenger, std::string& path);

// Adds the "diagnose" subcommand to app, filling request.
CLI::App* AddDiagnoseCommand(CLI::App& app, DiagnoseRequest& request);

// Reads the study's histories (or its chains'), writes the diagnostics table and verdict beside them
// and prints the verdict on out. Returns 0, or 1 after the path check failed; a damaged or missing
// file throws OmbrelError with its message.
int DiagnoseCommand(const DiagnoseRequest& request, std::FILE* out, Messenger& messenger,
                    DataPathCheck check);

}  // namespace ombrel
