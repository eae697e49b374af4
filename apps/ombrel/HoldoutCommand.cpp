#include "apps/ombrel/HoldoutCommand.h"

#include <CLI/CLI.hpp>

#include "analysis/Holdout.h"
#include "common/StudyFiles.h"

namespace ombrel {

CLI::App* AddHoldoutCommand(CLI::App& app, HoldoutRequest& request) {
    CLI::App* command = app.add_subcommand(
        "holdout",
        "Predict the tasks that the task subset file (.sub) left out of the estimation: per task the hit "
        "rate and "
        "the mean absolute error of the predicted shares; write them (_holdout.csv) and print them.");
    command->add_option("STUDY", request.dataFile, "The study's data file (.cho or .chs)")
        ->required()
        ->type_name("");
    return command;
}

int HoldoutCommand(const HoldoutRequest& request, std::FILE* out, Messenger& messenger, DataPathCheck check) {
    std::string path;
    if (!check(request.dataFile, messenger, path)) return 1;
    const StudyFiles study = *StudyFiles::ForDataFile(path);
    const HoldoutResult result = ComputeHoldout(study);
    std::string text = HoldoutTable(result);
    if (!result.nothingToHoldOut) {
        WriteHoldout(study, result);
        text += "\nWritten to " + study.Holdout() + "\n";
    }
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
    return 0;
}

}  // namespace ombrel
