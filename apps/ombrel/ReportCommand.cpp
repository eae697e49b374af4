#include "apps/ombrel/ReportCommand.h"

#include <CLI/CLI.hpp>

#include "analysis/Report.h"
#include "common/StudyFiles.h"

namespace ombrel {

CLI::App* AddReportCommand(CLI::App& app, ReportRequest& request) {
    CLI::App* command = app.add_subcommand(
        "report",
        "Write the study's report (_report.html), one self-contained page to open in a browser or mail: "
        "the preparation summary, the average part-worths, the importances, the traces of the population "
        "means, the respondents' fit, the convergence diagnostics and the holdout validation.");
    command->add_option("STUDY", request.dataFile, "The study's data file (.cho or .chs)")
        ->required()
        ->type_name("");
    return command;
}

int ReportCommand(const ReportRequest& request, std::FILE* out, Messenger& messenger, DataPathCheck check) {
    std::string path;
    if (!check(request.dataFile, messenger, path)) return 1;
    const StudyFiles study = *StudyFiles::ForDataFile(path);
    WriteReportFile(study, GatherReport(study));
    const std::string text = "The report was written to " + study.Report() + "\n";
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
    return 0;
}

}  // namespace ombrel
