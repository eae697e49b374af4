#include "apps/ombrel/ImportancesCommand.h"

#include <CLI/CLI.hpp>

#include "analysis/Importances.h"
#include "common/StudyFiles.h"

namespace ombrel {

CLI::App* AddImportancesCommand(CLI::App& app, ImportancesRequest& request) {
    CLI::App* command = app.add_subcommand(
        "importances",
        "Compute each attribute's importance (the range of its part-worths as a percent of the sum of all "
        "ranges) per respondent, write the means and standard deviations (_importances.csv) and print them.");
    command->add_option("STUDY", request.dataFile, "The study's data file (.cho or .chs)")
        ->required()
        ->type_name("");
    return command;
}

int ImportancesCommand(const ImportancesRequest& request, std::FILE* out, Messenger& messenger,
                       DataPathCheck check) {
    std::string path;
    if (!check(request.dataFile, messenger, path)) return 1;
    const StudyFiles study = *StudyFiles::ForDataFile(path);
    const ImportanceResult result = ComputeImportances(study);
    WriteImportances(study, result);
    const std::string text = ImportancesTable(result) + "\nWritten to " + study.Importances() + "\n";
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
    return 0;
}

}  // namespace ombrel
