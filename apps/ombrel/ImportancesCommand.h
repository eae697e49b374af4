#pragma once

#include <cstdio>
#include <string>

#include "apps/ombrel/DiagnoseCommand.h"

namespace CLI {
class App;
}

namespace ombrel {

// ombrel importances STUDY
struct ImportancesRequest {
    std::string dataFile;
};

CLI::App* AddImportancesCommand(CLI::App& app, ImportancesRequest& request);

// Writes the study's importances file and prints it as a table on out. Returns 0, or 1 after the
// path check failed; a missing or damaged file throws OmbrelError with its message.
int ImportancesCommand(const ImportancesRequest& request, std::FILE* out, Messenger& messenger,
                       DataPathCheck check);

}  // namespace ombrel
