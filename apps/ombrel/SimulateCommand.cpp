#include "apps/ombrel/SimulateCommand.h"

#include <CLI/CLI.hpp>
#include <cmath>

#include "analysis/Simulation.h"
#include "common/OmbrelError.h"
#include "common/StudyFiles.h"
#include "common/TextConversion.h"

namespace ombrel {

CLI::App* AddSimulateCommand(CLI::App& app, SimulateRequest& request) {
    CLI::App* command = app.add_subcommand(
        "simulate",
        "Simulate the market of a scenario file (one product a line: a name and a level per attribute; NONE "
        "for "
        "the None alternative) from the study's part-worths, write the shares (<scenario>_<method>.csv) and "
        "print "
        "them.  With saved draws (.dra) the shares also get their standard errors and 95% intervals.");
    command->add_option("STUDY", request.dataFile, "The study's data file (.cho or .chs)")
        ->required()
        ->type_name("");
    command->add_option("SCENARIO", request.scenarioFile, "The scenario file")->required()->type_name("");
    command
        ->add_option(
            "--method", request.method,
            "share: the mean of each respondent's logit shares (default); first-choice: each respondent's "
            "highest-utility product, ties split equally")
        ->check(CLI::IsMember(
            {ShareMethodName(ShareMethod::ShareOfPreference), ShareMethodName(ShareMethod::FirstChoice)}))
        ->type_name("METHOD");
    command
        ->add_option("--exponent", request.exponent,
                     "Multiply the utilities by X before the shares of preference are taken (default 1)")
        ->check(CLI::NonNegativeNumber)
        ->type_name("X");
    return command;
}

int SimulateCommand(const SimulateRequest& request, std::FILE* out, Messenger& messenger,
                    DataPathCheck check) {
    std::string path;
    if (!check(request.dataFile, messenger, path)) return 1;
    if (!std::isfinite(request.exponent)) {
        throw OmbrelError(Format("The exponent must be a finite number, not %g.", request.exponent));
    }
    const StudyFiles study = *StudyFiles::ForDataFile(path);
    SimulationOptions options;
    options.method = request.method == ShareMethodName(ShareMethod::FirstChoice)
                         ? ShareMethod::FirstChoice
                         : ShareMethod::ShareOfPreference;
    options.exponent = request.exponent;
    const AnalysisStudy loaded = LoadAnalysisStudy(study);
    const Scenario scenario = ReadScenarioFile(request.scenarioFile, loaded);
    const SimulationResult result = Simulate(study, loaded, scenario, options);
    const std::string output = SimulationOutputPath(request.scenarioFile, options.method);
    WriteSimulation(output, result);
    const std::string text = SimulationTable(result) + "\nWritten to " + output + "\n";
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
    return 0;
}

}  // namespace ombrel
