#pragma once

#include <cstdio>
#include <string>

#include "apps/ombrel/DiagnoseCommand.h"

namespace CLI {
class App;
}

namespace ombrel {

// ombrel report STUDY
struct ReportRequest {
    std::string dataFile;
};

CLI::App* AddReportCommand(CLI::App& app, ReportRequest& request);

// Writes the study's report page and prints where. Returns 0, or 1 after the path check failed; a
// missing or damaged file throws OmbrelError with its message, and no report is written.
int ReportCommand(const ReportRequest& request, std::FILE* out, Messenger& messenger, DataPathCheck check);

}  // namespace ombrel
