#include "apps/ombrel/DiagnoseCommand.h"

#include <CLI/CLI.hpp>

#include "apps/ombrel/ChainEstimate.h"
#include "common/StudyFiles.h"
#include "estimator/diagnostics/StudyDiagnostics.h"

namespace ombrel {

CLI::App* AddDiagnoseCommand(CLI::App& app, DiagnoseRequest& request) {
    CLI::App* command = app.add_subcommand(
        "diagnose",
        "Measure the convergence of the study's estimation (R-hat and effective sample sizes of the "
        "alpha and covariance histories, and of every respondent's saved draws), write the table "
        "(_diagnostics.csv) and the verdict (.diag) and print the verdict.");
    command->add_option("DATAFILE", request.dataFile, "The study's data file (.cho or .chs)")
        ->required()
        ->type_name("");
    command
        ->add_option("--chains", request.chains,
                     "The number of chains (the folders <name>_chain1, ...); 1: the study's own results. "
                     "Default: the chain folders when they hold newer results than the study")
        ->check(CLI::Range(1, kMaxChains))
        ->type_name("K");
    return command;
}

int DiagnoseCommand(const DiagnoseRequest& request, std::FILE* out, Messenger& messenger,
                    DataPathCheck check) {
    std::string path;
    if (!check(request.dataFile, messenger, path)) return 1;
    const StudyFiles study = *StudyFiles::ForDataFile(path);
    const int chains = request.chains > 0 ? request.chains : DetectChainCount(study);
    const DiagnosticsReport report = DiagnoseStudy(study, chains);
    WriteDiagnostics(study, report);
    const std::string verdict = VerdictText(report);
    std::fwrite(verdict.data(), 1, verdict.size(), out);
    std::fflush(out);
    return 0;
}

}  // namespace ombrel
