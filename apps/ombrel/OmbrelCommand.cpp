#include "apps/ombrel/OmbrelCommand.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <vector>

#include "apps/ombrel/AfterEstimate.h"
#include "apps/ombrel/ChainEstimate.h"
#include "apps/ombrel/DiagnoseCommand.h"
#include "apps/ombrel/HoldoutCommand.h"
#include "apps/ombrel/ImportancesCommand.h"
#include "apps/ombrel/PrivateFolder.h"
#include "apps/ombrel/ReportCommand.h"
#include "apps/ombrel/SettingOptions.h"
#include "apps/ombrel/SimulateCommand.h"
#include "common/AtomicFile.h"
#include "common/OmbrelError.h"
#include "common/StudyFiles.h"
#include "common/TextConversion.h"
#include "estimator/chain/RespondentPass.h"
#include "estimator/run/EstimatorRun.h"
#include "frontend/EstimateLaunch.h"
#include "frontend/EstimatorLaunch.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/StderrMessenger.h"
#include "platform/TerminalScreen.h"
#include "prepare/Cho2ChsConverter.h"
#include "tools/TieDraws.h"

namespace ombrel {

namespace {

namespace fs = std::filesystem;

constexpr int kFailure = 1;

void Write(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

// The data file as an absolute path, so that kivotra, started in another folder, finds the same
// study. Refuses what cannot name a study: a wrong extension, a line break (the names file holds
// one line), a file that is not there.
bool StudyDataPath(const std::string& given, Messenger& messenger, std::string& path) {
    const std::string trimmed = Trim(given);
    if (!StudyFiles::KindOf(trimmed)) {
        messenger.Show(kInvalidDataFileMessage, MessageIcon::Information);
        return false;
    }
    if (trimmed.find_first_of("\r\n", 0) != std::string::npos || trimmed.find('\0') != std::string::npos) {
        messenger.Show(
            "The data file path holds a line break or a NUL character, which the names file cannot carry.",
            MessageIcon::Exclamation);
        return false;
    }
    std::error_code error;
    path = fs::absolute(trimmed, error).lexically_normal().string();
    if (error || !fs::is_regular_file(path, error)) {
        messenger.Show(Format("Cannot locate %s.", trimmed.c_str()), MessageIcon::Exclamation);
        return false;
    }
    return true;
}

// A study is estimated in its own folder; one that cannot be written (the example study of an
// installed package, say) is refused with how to make a copy to estimate instead.
bool StudyFolderWritable(const std::string& dataFile, Messenger& messenger) {
    const fs::path folder = fs::path(dataFile).parent_path();
    if (::access(folder.c_str(), W_OK) == 0) return true;
    messenger.Show(Format("The folder %s cannot be written, so the study cannot be estimated there.  Copy "
                          "the folder to one of your own and estimate the copy, for example:\n"
                          "  cp -r %s ~/%s\n  ombrel estimate ~/%s/%s",
                          folder.c_str(), folder.c_str(), folder.filename().c_str(),
                          folder.filename().c_str(), fs::path(dataFile).filename().c_str()),
                   MessageIcon::Exclamation);
    return false;
}

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

struct EstimateRequest {
    std::string dataFile;
    bool resume = false;
    bool fresh = false;
    int chains = 1;
    int jobs = DefaultJobs();
    int threads = 0;  // of the respondent pass; 0: kivotra's default, one per core
    double checkpointSeconds = kDefaultCheckpointSeconds;
};

// The environment's preparation, else the one of this build.
std::string PrepareWith(const OmbrelEnvironment& environment, const StudySettings& settings) {
    return environment.prepare ? environment.prepare(settings) : PrepareStudyOfThisBuild(settings);
}

int PrepareCommand(const std::string& dataFile, const OmbrelEnvironment& environment, Messenger& messenger) {
    std::string path;
    if (!StudyDataPath(dataFile, messenger, path) || !StudyFolderWritable(path, messenger)) return kFailure;
    StudySettings settings;
    if (!settings.LoadSettingsForDataFile(path, messenger)) return kFailure;
    Write(environment.out, PrepareWith(environment, settings) + "\n");
    return 0;
}

// Nobody to ask here: the command line says what to do with a restart file.
RestartChoice RestartChoiceOfRequest(const EstimateRequest& request, const std::string& restartFile,
                                     Messenger& messenger) {
    if (request.resume) return RestartChoice::Resume;
    if (request.fresh) return RestartChoice::StartOver;
    messenger.Show(Format("A restart file is available: %s.  Use --resume to resume estimation from it, "
                          "or --fresh to delete it and estimate from the start.",
                          restartFile.c_str()),
                   MessageIcon::Question);
    return RestartChoice::Cancel;
}

// The parent of the private working folders.
std::string TemporaryFolderOf(const OmbrelEnvironment& environment) {
    std::string temporaryFolder = environment.temporaryFolder;
    if (temporaryFolder.empty()) {
        std::error_code error;
        temporaryFolder = fs::temp_directory_path(error).string();
        if (error) temporaryFolder = "/tmp";
    }
    return temporaryFolder;
}

// kivotra in a private working folder with a names file of its own; returns its exit status.
int RunKivotra(const StudySettings& settings, const OmbrelEnvironment& environment, int threads,
               double checkpointSeconds) {
    const std::string programFolder =
        WithSlash(environment.programFolder.empty() ? ProgramFolder() : environment.programFolder);
    PrivateFolder workingFolder(TemporaryFolderOf(environment));
    const std::string namesFile = (fs::path(workingFolder.Path()) / settings.namesFileName).string();
    if (!WriteFileAtomically(namesFile, settings.dataFileName, false)) {
        throw OmbrelError(Format("The names file %s could not be written.", namesFile.c_str()));
    }

    // On a terminal kivotra draws its screen there; the window position means nothing to a terminal,
    // so it gets zeros and stays where it is.
    std::vector<std::string> arguments;
    if (!environment.outputIsTerminal) arguments.push_back("--headless");
    for (int i = 0; i < 4; ++i) arguments.push_back("0");
    if (threads > 0) {
        arguments.push_back("--threads");
        arguments.push_back(std::to_string(threads));
    }
    if (checkpointSeconds != kDefaultCheckpointSeconds) {
        arguments.push_back("--checkpoint-seconds");
        arguments.push_back(Format("%.17g", checkpointSeconds));
    }
    std::fflush(environment.out);
    std::fflush(environment.err);
    return RunProgram(programFolder + kEstimatorProgramName, arguments, workingFolder.Path(), true);
}

// Several chains run in this process and settle their own restart files instead of the study's.
void UseChains(const EstimateRequest& request, const OmbrelEnvironment& environment,
               const StudySettings& settings, Messenger& messenger, ChainRunReport& report,
               EstimateLaunchSteps& steps) {
    steps.restartFiles = ChainRestartFiles(*StudyFiles::ForDataFile(settings.dataFileName), request.chains);
    steps.startEstimator = [&request, &environment, &settings, &messenger, &report] {
        ChainRunRequest chains;
        chains.chainCount = request.chains;
        chains.jobs = request.jobs;
        chains.threads = request.threads > 0 ? request.threads : DefaultRunThreads();
        chains.checkpointSeconds = request.checkpointSeconds;
        chains.temporaryFolder = TemporaryFolderOf(environment);
        chains.watchStopSignals = environment.watchStopSignals;
        chains.out = environment.out;
        chains.err = environment.err;
        chains.chainReady = environment.chainReady;
        return RunChains(settings, chains, messenger, report);
    };
}

// The study's own settings, changed by the options, then the launch the front end runs.
int EstimateCommand(const EstimateRequest& request, const SettingOptions& options,
                    const OmbrelEnvironment& environment, Messenger& messenger) {
    std::string path;
    if (!StudyDataPath(request.dataFile, messenger, path) || !StudyFolderWritable(path, messenger))
        return kFailure;
    StudySettings settings;
    settings.namesFolder =
        WithSlash(environment.settingsFolder.empty() ? SettingsFolder() : environment.settingsFolder);
    // The load has shown why it failed; a hand-edited value out of range meets the validation below.
    if (!settings.LoadSettingsForDataFile(path, messenger)) return kFailure;
    options.ApplyTo(settings);
    ChainRunReport report;
    report.seeds = {settings.randomSeed};
    const std::string seedFailure = ChainSeedFailure(settings.randomSeed, request.chains);
    if (!seedFailure.empty()) {
        messenger.Show(seedFailure, MessageIcon::Exclamation);
        return kFailure;
    }

    EstimateLaunchSteps steps{
        .messenger = messenger,
        .saved = nullptr,
        .askAboutRestart =
            [&](const std::string& restartFile) {
                return RestartChoiceOfRequest(request, restartFile, messenger);
            },
        .noRestartFile =
            [&](const std::string& restartFile) {
                if (!request.resume) return;
                Write(environment.out,
                      Format("There is no restart file %s; the estimation starts from the beginning.\n",
                             restartFile.c_str()));
            },
        .prepare = [&](const StudySettings& prepared) { return PrepareWith(environment, prepared); },
        .showReport =
            [&](const std::string& report) {
                Write(environment.out, report + "\n");
                return true;
            },
        .startEstimator =
            [&] { return RunKivotra(settings, environment, request.threads, request.checkpointSeconds); },
    };
    if (request.chains > 1) UseChains(request, environment, settings, messenger, report, steps);
    const fs::file_time_type launched = fs::file_time_type::clock::now();
    const LaunchResult result = LaunchEstimation(settings, steps);
    if (result.outcome != LaunchOutcome::EstimatorRan) return kFailure;
    const StudyFiles study = *StudyFiles::ForDataFile(settings.dataFileName);
    if (request.chains == 1)
        report.completed = result.estimatorStatus == 0 && ResultsWrittenSince(study, launched);
    if (report.completed && !AfterCompletedEstimate(study, report, environment.out, messenger))
        return kFailure;
    return result.estimatorStatus;
}

int ConvertCommand(const std::string& dataFile, const std::string& responseFile,
                   const OmbrelEnvironment& environment, Messenger& messenger) {
    std::string output;
    if (!ConvertChoToChs(dataFile, responseFile, messenger, &output)) return kFailure;
    Write(environment.out, output + "\n");
    return 0;
}

// Missing draws and constraints paths are filled in from the part-worth file, as the dialog does.
int TieDrawsCommand(const std::string& partWorthFile, std::string drawsFile, std::string constraintsFile,
                    const OmbrelEnvironment& environment, Messenger& messenger) {
    if (drawsFile.empty()) drawsFile = TieDrawsCompanionPath(partWorthFile, ".dra");
    if (constraintsFile.empty()) constraintsFile = TieDrawsCompanionPath(partWorthFile, ".con");
    std::string report;
    if (!RunTieDraws(partWorthFile, drawsFile, constraintsFile, messenger, report)) return kFailure;
    Write(environment.out, report);
    if (!report.empty() && report.back() != '\n') Write(environment.out, "\n");
    return 0;
}

// The command line's subcommands and what each was given.
class OmbrelCommandLine {
public:
    OmbrelCommandLine()
        : app_(
              "Ombrel: hierarchical Bayes estimation of part-worth utilities from choice-based conjoint "
              "data.",
              "ombrel") {
        app_.require_subcommand(1);
        AddPrepare();
        AddEstimate();
        AddConvert();
        AddTieDraws();
        AddDiagnose();
        importances_ = AddImportancesCommand(app_, importancesRequest_);
        simulate_ = AddSimulateCommand(app_, simulateRequest_);
        holdout_ = AddHoldoutCommand(app_, holdoutRequest_);
        report_ = AddReportCommand(app_, reportRequest_);
    }

    // Parses the arguments; a usage error or a help request writes CLI11's text and sets status.
    bool Parse(int argc, char** argv, const OmbrelEnvironment& environment, int& status) {
        try {
            app_.parse(argc, argv);
        } catch (const CLI::ParseError& failure) {
            std::ostringstream out;
            std::ostringstream err;
            status = app_.exit(failure, out, err);
            Write(environment.out, out.str());
            Write(environment.err, err.str());
            return false;
        }
        return true;
    }

    // Runs the parsed subcommand; failures are shown on standard error, once, here.
    int Run(const OmbrelEnvironment& environment) const {
        StderrMessenger messenger(environment.err);
        try {
            return RunParsed(environment, messenger);
        } catch (const std::exception& failure) {
            messenger.Show(failure.what(), MessageIcon::Exclamation);
            return kFailure;
        }
    }

private:
    void AddPrepare() {
        prepare_ =
            app_.add_subcommand("prepare",
                                "Prepare the study: read its input files, write the prepared files and "
                                "the log entry, and print the report.");
        prepare_->add_option("DATAFILE", prepareFile_, "The study's data file (.cho or .chs)")
            ->required()
            ->type_name("");
    }

    void AddEstimate() {
        estimate_ = app_.add_subcommand(
            "estimate",
            "Save the settings, prepare the study, print the report and run the estimator kivotra; "
            "the exit status is kivotra's.  With --chains K the chains run in this program, and the "
            "status is 1 after a failed chain.");
        estimate_->add_option("DATAFILE", estimateRequest_.dataFile, "The study's data file (.cho or .chs)")
            ->required()
            ->type_name("");
        CLI::Option* resume = estimate_->add_flag(
            "--resume", estimateRequest_.resume,
            "Resume from the study's restart file (.res; with several chains, each chain's own)");
        CLI::Option* fresh = estimate_->add_flag(
            "--fresh", estimateRequest_.fresh,
            "Delete the study's restart file (.res; with several chains, every chain's) and estimate "
            "from the start");
        resume->excludes(fresh);
        estimate_
            ->add_option(
                "--chains", estimateRequest_.chains,
                "Run K chains side by side, each in the folder <name>_chain<k> beside the study, and pool "
                "their draws into the study's results (1: kivotra runs)")
            ->type_name("K")
            ->default_val(1)
            ->check(CLI::Range(1, kMaxChains));
        estimate_
            ->add_option("--jobs", estimateRequest_.jobs,
                         "Run at most J chains at a time (default: one per core)")
            ->type_name("J")
            ->check(CLI::Range(1, kMaxJobs));
        estimate_
            ->add_option("--threads", estimateRequest_.threads,
                         "Update the respondents on N threads (default: one per core); with several "
                         "chains, each chain gets N / J of them, at least one.  The results are the same "
                         "for any N")
            ->type_name("N")
            ->check(CLI::Range(1, kMaxPassThreads));
        estimate_
            ->add_option("--checkpoint-seconds", estimateRequest_.checkpointSeconds,
                         "Rewrite the restart state at most every S seconds while the run goes on, so that a "
                         "run killed at any moment resumes from its last checkpoint (0: never)")
            ->type_name("S")
            ->default_val(kDefaultCheckpointSeconds)
            ->check(CLI::NonNegativeNumber);
        settingOptions_.AddTo(*estimate_);
    }

    void AddConvert() {
        convert_ = app_.add_subcommand(
            "convert",
            "Convert a discrete-choice data file (.cho) into an allocation data file (.chs) beside it.");
        convert_->add_option("DATAFILE", convertFile_, "The discrete-choice data file (.cho)")
            ->required()
            ->type_name("");
        convert_->add_option(
            "--responses", responseFile_,
            "A response file: one number of points per concept (None included), replacing the "
            "choices of the data file");
    }

    void AddTieDraws() {
        tieDraws_ = app_.add_subcommand(
            "tie-draws",
            "Enforce the constraints of a constraints file (.con) on the saved draws (.dra) of an "
            "unconstrained "
            "estimation, and write the tied part-worth file (_tiedraws.hbu) and its spreadsheet (.csv).");
        tieDraws_->add_option("HBUFILE", tiePartWorthFile_, "The part-worth file (.hbu)")
            ->required()
            ->type_name("");
        tieDraws_
            ->add_option("DRAFILE", tieDrawsFile_, "The draws file (default: the part-worth file's .dra)")
            ->type_name("");
        tieDraws_
            ->add_option("CONFILE", tieConstraintsFile_,
                         "The constraints file (default: the part-worth file's .con)")
            ->type_name("");
    }

    void AddDiagnose() { diagnose_ = AddDiagnoseCommand(app_, diagnoseRequest_); }

    int RunParsed(const OmbrelEnvironment& environment, Messenger& messenger) const {
        if (prepare_->parsed()) return PrepareCommand(prepareFile_, environment, messenger);
        if (estimate_->parsed())
            return EstimateCommand(estimateRequest_, settingOptions_, environment, messenger);
        if (convert_->parsed()) return ConvertCommand(convertFile_, responseFile_, environment, messenger);
        if (tieDraws_->parsed()) {
            return TieDrawsCommand(tiePartWorthFile_, tieDrawsFile_, tieConstraintsFile_, environment,
                                   messenger);
        }
        if (diagnose_->parsed())
            return DiagnoseCommand(diagnoseRequest_, environment.out, messenger, StudyDataPath);
        if (importances_->parsed())
            return ImportancesCommand(importancesRequest_, environment.out, messenger, StudyDataPath);
        if (simulate_->parsed())
            return SimulateCommand(simulateRequest_, environment.out, messenger, StudyDataPath);
        if (holdout_->parsed())
            return HoldoutCommand(holdoutRequest_, environment.out, messenger, StudyDataPath);
        if (report_->parsed())
            return ReportCommand(reportRequest_, environment.out, messenger, StudyDataPath);
        return kFailure;
    }

    CLI::App app_;
    CLI::App* prepare_ = nullptr;
    CLI::App* estimate_ = nullptr;
    CLI::App* convert_ = nullptr;
    CLI::App* tieDraws_ = nullptr;
    std::string prepareFile_;
    EstimateRequest estimateRequest_;
    SettingOptions settingOptions_;
    std::string convertFile_;
    std::string responseFile_;
    std::string tiePartWorthFile_;
    std::string tieDrawsFile_;
    std::string tieConstraintsFile_;
    CLI::App* diagnose_ = nullptr;
    DiagnoseRequest diagnoseRequest_;
    CLI::App* importances_ = nullptr;
    ImportancesRequest importancesRequest_;
    CLI::App* simulate_ = nullptr;
    SimulateRequest simulateRequest_;
    CLI::App* holdout_ = nullptr;
    HoldoutRequest holdoutRequest_;
    CLI::App* report_ = nullptr;
    ReportRequest reportRequest_;
};

}  // namespace

std::string PrepareStudyOfThisBuild(const StudySettings& settings) { return RunStudyPreparation(settings); }

int RunOmbrel(int argc, char** argv) {
    OmbrelEnvironment environment;
    environment.outputIsTerminal = IsTerminal(STDOUT_FILENO);
    environment.watchStopSignals = true;
    return RunOmbrel(argc, argv, environment);
}

int RunOmbrel(int argc, char** argv, const OmbrelEnvironment& environment) {
    OmbrelCommandLine commandLine;
    int status = 0;
    if (!commandLine.Parse(argc, argv, environment, status)) return status;
    return commandLine.Run(environment);
}

}  // namespace ombrel
