#pragma once

#include <cstdio>
#include <string>

#include "apps/ombrel/DiagnoseCommand.h"

namespace CLI {
class App;
}

namespace ombrel {

// ombrel holdout STUDY
struct HoldoutRequest {
    std::string dataFile;
};

CLI::App* AddHoldoutCommand(CLI::App& app, HoldoutRequest& request);

// Scores the tasks the subset file left out, writes the study's holdout file and prints the table;
// without holdout tasks only says so, and writes nothing. Returns 0, or 1 after the path check
// failed; a missing or damaged file throws OmbrelError with its message.
int HoldoutCommand(const HoldoutRequest& request, std::FILE* out, Messenger& messenger, DataPathCheck check);

}  // namespace ombrel
