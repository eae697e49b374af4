#include "apps/ombrel/OmbrelCommand.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <sstream>
#include <system_error>
#include <vector>

#include "common/AtomicFile.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/StderrMessenger.h"
#include "platform/TerminalScreen.h"
#include "prepare/Cho2ChsConverter.h"
#include "prepare/StudyPreparation.h"
#include "tools/TieDraws.h"

namespace ombrel {

namespace {

namespace fs = std::filesystem;

constexpr int kFailure = 1;
// Option text that is not a number becomes a value outside every setting's range, so that the
// setting's own validation message reports it.
constexpr int32_t kUnreadableInteger = std::numeric_limits<int32_t>::min();

int32_t SettingInteger(const std::string& text) {
    const std::string trimmed = Trim(text);
    const char* first = trimmed.data();
    const char* last = first + trimmed.size();
    if (first != last && *first == '+') ++first;
    if (first == last || *first == '+') return kUnreadableInteger;
    int32_t value = 0;
    auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) return kUnreadableInteger;
    return value;
}

double SettingReal(const std::string& text) {
    const std::string trimmed = Trim(text);
    const char* first = trimmed.data();
    const char* last = first + trimmed.size();
    if (first != last && *first == '+') ++first;
    double value = 0.0;
    auto [end, error] = std::from_chars(first, last, value, std::chars_format::fixed);
    if (first == last || *first == '+' || error != std::errc() || end != last || !std::isfinite(value)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return value;
}

// The eleven settings as given on the command line; an option not given leaves the study's value.
struct SettingOptions {
    std::string iterations;
    std::string draws;
    std::string drawSkip;
    std::string logSkip;
    std::string taskWeight;
    std::string priorDegreesOfFreedom;
    std::string priorVariance;
    std::string seed;

    CLI::Option* iterationsOption = nullptr;
    CLI::Option* drawsOption = nullptr;
    CLI::Option* drawSkipOption = nullptr;
    CLI::Option* logSkipOption = nullptr;
    CLI::Option* saveDrawsOption = nullptr;
    CLI::Option* noSaveDrawsOption = nullptr;
    CLI::Option* taskWeightOption = nullptr;
    CLI::Option* smartStartOption = nullptr;
    CLI::Option* noSmartStartOption = nullptr;
    CLI::Option* priorDegreesOfFreedomOption = nullptr;
    CLI::Option* priorVarianceOption = nullptr;
    CLI::Option* effectsCodingOption = nullptr;
    CLI::Option* dummyCodingOption = nullptr;
    CLI::Option* seedOption = nullptr;

    void AddTo(CLI::App& command) {
        const char* group = "Settings (default: the study's .set file, else the usual defaults)";
        iterationsOption = command.add_option("--iterations", iterations,
                                              "Number of iterations before using results (0 to 1000000)");
        drawsOption = command.add_option("--draws", draws,
                                         "Number of draws to be used for each respondent (1 to 10000)");
        drawSkipOption =
            command.add_option("--draw-skip", drawSkip, "Skip factor for using draws (1 to 100)");
        logSkipOption =
            command.add_option("--log-skip", logSkip, "Skip factor for printing in log file (1 to 100000)");
        saveDrawsOption = command.add_flag("--save-draws")->description("Save random draws");
        noSaveDrawsOption = command.add_flag("--no-save-draws")
                                ->description("Do not save random draws")
                                ->excludes(saveDrawsOption);
        taskWeightOption = command.add_option("--task-weight", taskWeight,
                                              "Total task weight (1.0 to 10.0; always 1.0 for .cho data)");
        smartStartOption = command.add_flag("--smart-start")->description("Use smart starting betas");
        noSmartStartOption = command.add_flag("--no-smart-start")
                                 ->description("Do not use smart starting betas")
                                 ->excludes(smartStartOption);
        priorDegreesOfFreedomOption =
            command.add_option("--prior-df", priorDegreesOfFreedom, "Prior degrees of freedom (2 to 100000)");
        priorVarianceOption =
            command.add_option("--prior-variance", priorVariance, "Prior variance (0.1 to 100.0)");
        effectsCodingOption = command.add_flag("--effects-coding")->description("Use effects coding");
        dummyCodingOption = command.add_flag("--dummy-coding")
                                ->description("Use dummy coding")
                                ->excludes(effectsCodingOption);
        seedOption =
            command.add_option("--seed", seed, "Random starting seed (0 to 32000; 0: the time of day)");
        for (CLI::Option* option : {iterationsOption, drawsOption, drawSkipOption, logSkipOption,
                                    priorDegreesOfFreedomOption, seedOption}) {
            option->type_name("N");
        }
        for (CLI::Option* option : {taskWeightOption, priorVarianceOption}) option->type_name("X");
        for (CLI::Option* option : {iterationsOption, drawsOption, drawSkipOption, logSkipOption,
                                    saveDrawsOption, noSaveDrawsOption, taskWeightOption, smartStartOption,
                                    noSmartStartOption, priorDegreesOfFreedomOption, priorVarianceOption,
                                    effectsCodingOption, dummyCodingOption, seedOption}) {
            option->group(group);
        }
    }

    void ApplyTo(StudySettings& settings) const {
        if (iterationsOption->count() > 0) settings.preliminaryIterations = SettingInteger(iterations);
        if (drawsOption->count() > 0) settings.drawsPerRespondent = SettingInteger(draws);
        if (drawSkipOption->count() > 0) settings.drawSkip = SettingInteger(drawSkip);
        if (logSkipOption->count() > 0) settings.logSkip = SettingInteger(logSkip);
        if (saveDrawsOption->count() > 0) settings.saveDraws = true;
        if (noSaveDrawsOption->count() > 0) settings.saveDraws = false;
        if (taskWeightOption->count() > 0) settings.totalTaskWeight = SettingReal(taskWeight);
        if (smartStartOption->count() > 0) settings.smartStart = true;
        if (noSmartStartOption->count() > 0) settings.smartStart = false;
        if (priorDegreesOfFreedomOption->count() > 0) {
            settings.priorDegreesOfFreedom = SettingInteger(priorDegreesOfFreedom);
        }
        if (priorVarianceOption->count() > 0) settings.priorVariance = SettingReal(priorVariance);
        if (effectsCodingOption->count() > 0) settings.effectsCoding = true;
        if (dummyCodingOption->count() > 0) settings.effectsCoding = false;
        if (seedOption->count() > 0) settings.randomSeed = SettingInteger(seed);
    }
};

// A folder of one's own under parent, removed with its contents when this ends: several estimations
// may run at once, each giving kivotra a names file of its own.
class PrivateFolder {
public:
    explicit PrivateFolder(const std::string& parent) {
        std::string pattern = (fs::path(parent) / "ombrel-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) == nullptr) {
            throw OmbrelError(Format("No private working folder could be created in %s (%s).", parent.c_str(),
                                     std::strerror(errno)));
        }
        path_ = buffer.data();
    }
    ~PrivateFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

void Write(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

// The data file as an absolute path, so that kivotra, started in another folder, finds the same
// study. Refuses what cannot name a study: a wrong extension, a line break (the names file holds
// one line), a file that is not there.
bool StudyDataPath(const std::string& given, Messenger& messenger, std::string& path) {
    const std::string trimmed = Trim(given);
    if (!EndsWithNoCase(trimmed, ".cho") && !EndsWithNoCase(trimmed, ".chs")) {
        messenger.Show("An invalid data file was specified.", MessageIcon::Information);
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

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

struct EstimateRequest {
    std::string dataFile;
    bool resume = false;
    bool fresh = false;
};

int PrepareCommand(const std::string& dataFile, const OmbrelEnvironment& environment, Messenger& messenger) {
    std::string path;
    if (!StudyDataPath(dataFile, messenger, path)) return kFailure;
    StudySettings settings;
    settings.LoadSettingsForDataFile(path, messenger);
    const std::string report =
        environment.prepare ? environment.prepare(settings) : PrepareStudyOfThisBuild(settings);
    Write(environment.out, report + "\n");
    return 0;
}

int EstimateCommand(const EstimateRequest& request, const SettingOptions& options,
                    const OmbrelEnvironment& environment, Messenger& messenger) {
    std::string path;
    if (!StudyDataPath(request.dataFile, messenger, path)) return kFailure;

    // The study's own settings, changed by the options, validated and saved as the front end does.
    StudySettings settings;
    settings.namesFolder =
        WithSlash(environment.settingsFolder.empty() ? SettingsFolder() : environment.settingsFolder);
    settings.LoadSettingsForDataFile(path, messenger);
    if (settings.dataFileName.empty()) return kFailure;  // the load has shown why
    options.ApplyTo(settings);
    if (!settings.ValidateMainSettings(messenger) || !settings.ValidateAdvancedSettings(messenger))
        return kFailure;
    if (!settings.SaveSettings(messenger)) {
        messenger.Show(Format("The settings could not be saved to %s and %s.",
                              settings.NamesFilePath().c_str(), settings.SettingsFileName().c_str()),
                       MessageIcon::Exclamation);
        return kFailure;
    }

    // Nobody to ask here: the command line says what to do with a restart file.
    const std::string restartFile = settings.StudyName() + ".res";
    std::error_code error;
    bool resume = false;
    if (fs::exists(restartFile, error)) {
        if (request.resume) {
            resume = true;
        } else if (request.fresh) {
            if (!fs::remove(restartFile, error) || error) {
                messenger.Show(Format("The restart file %s could not be deleted (%s).", restartFile.c_str(),
                                      error ? error.message().c_str() : "it is still there"),
                               MessageIcon::Exclamation);
                return kFailure;
            }
        } else {
            messenger.Show(
                Format("A restart file is available: %s.  Use --resume to resume estimation from it, "
                       "or --fresh to delete it and estimate from the start.",
                       restartFile.c_str()),
                MessageIcon::Question);
            return kFailure;
        }
    } else if (request.resume) {
        Write(environment.out,
              Format("There is no restart file %s; the estimation starts from the beginning.\n",
                     restartFile.c_str()));
    }

    if (!resume) {
        const std::string report =
            environment.prepare ? environment.prepare(settings) : PrepareStudyOfThisBuild(settings);
        Write(environment.out, report + "\n");
    }

    const std::string programFolder =
        WithSlash(environment.programFolder.empty() ? ProgramFolder() : environment.programFolder);
    std::string temporaryFolder = environment.temporaryFolder;
    if (temporaryFolder.empty()) {
        temporaryFolder = fs::temp_directory_path(error).string();
        if (error) temporaryFolder = "/tmp";
    }
    PrivateFolder workingFolder(temporaryFolder);
    const std::string namesFile = (fs::path(workingFolder.Path()) / settings.namesFileName).string();
    if (!WriteFileAtomically(namesFile, settings.dataFileName, false)) {
        throw OmbrelError(Format("The names file %s could not be written.", namesFile.c_str()));
    }

    // On a terminal kivotra draws its screen there; the window position means nothing to a terminal,
    // so it gets zeros and stays where it is.
    std::vector<std::string> arguments;
    if (!environment.outputIsTerminal) arguments.push_back("--headless");
    for (int i = 0; i < 4; ++i) arguments.push_back("0");
    std::fflush(environment.out);
    std::fflush(environment.err);
    return RunProgram(programFolder + "kivotra", arguments, workingFolder.Path(), true);
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

}  // namespace

std::string PrepareStudyOfThisBuild(const StudySettings& settings) {
    StudyPreparation preparation(settings);
    preparation.Prepare();
    return preparation.report;
}

int RunOmbrel(int argc, char** argv) {
    OmbrelEnvironment environment;
    environment.outputIsTerminal = IsTerminal(STDOUT_FILENO);
    return RunOmbrel(argc, argv, environment);
}

int RunOmbrel(int argc, char** argv, const OmbrelEnvironment& environment) {
    CLI::App app(
        "Ombrel: hierarchical Bayes estimation of part-worth utilities from choice-based conjoint data.",
        "ombrel");
    app.require_subcommand(1);

    std::string prepareFile;
    CLI::App* prepare =
        app.add_subcommand("prepare",
                           "Prepare the study: read its input files, write the prepared files and "
                           "the log entry, and print the report.");
    prepare->add_option("DATAFILE", prepareFile, "The study's data file (.cho or .chs)")
        ->required()
        ->type_name("");

    EstimateRequest estimateRequest;
    SettingOptions settingOptions;
    CLI::App* estimate = app.add_subcommand(
        "estimate",
        "Save the settings, prepare the study, print the report and run the estimator kivotra; "
        "the exit status is kivotra's.");
    estimate->add_option("DATAFILE", estimateRequest.dataFile, "The study's data file (.cho or .chs)")
        ->required()
        ->type_name("");
    CLI::Option* resume =
        estimate->add_flag("--resume", estimateRequest.resume, "Resume from the study's restart file (.res)");
    CLI::Option* fresh =
        estimate->add_flag("--fresh", estimateRequest.fresh,
                           "Delete the study's restart file (.res) and estimate from the start");
    resume->excludes(fresh);
    settingOptions.AddTo(*estimate);

    std::string convertFile;
    std::string responseFile;
    CLI::App* convert = app.add_subcommand(
        "convert",
        "Convert a discrete-choice data file (.cho) into an allocation data file (.chs) beside it.");
    convert->add_option("DATAFILE", convertFile, "The discrete-choice data file (.cho)")
        ->required()
        ->type_name("");
    convert->add_option("--responses", responseFile,
                        "A response file: one number of points per concept (None included), replacing the "
                        "choices of the data file");

    std::string tiePartWorthFile;
    std::string tieDrawsFile;
    std::string tieConstraintsFile;
    CLI::App* tieDraws = app.add_subcommand(
        "tie-draws",
        "Enforce the constraints of a constraints file (.con) on the saved draws (.dra) of an unconstrained "
        "estimation, and write the tied part-worth file (_tiedraws.hbu) and its spreadsheet (.csv).");
    tieDraws->add_option("HBUFILE", tiePartWorthFile, "The part-worth file (.hbu)")
        ->required()
        ->type_name("");
    tieDraws->add_option("DRAFILE", tieDrawsFile, "The draws file (default: the part-worth file's .dra)")
        ->type_name("");
    tieDraws
        ->add_option("CONFILE", tieConstraintsFile,
                     "The constraints file (default: the part-worth file's .con)")
        ->type_name("");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& failure) {
        std::ostringstream out;
        std::ostringstream err;
        int status = app.exit(failure, out, err);
        Write(environment.out, out.str());
        Write(environment.err, err.str());
        return status;
    }

    StderrMessenger messenger(environment.err);
    try {
        if (prepare->parsed()) return PrepareCommand(prepareFile, environment, messenger);
        if (estimate->parsed())
            return EstimateCommand(estimateRequest, settingOptions, environment, messenger);
        if (convert->parsed()) return ConvertCommand(convertFile, responseFile, environment, messenger);
        if (tieDraws->parsed())
            return TieDrawsCommand(tiePartWorthFile, tieDrawsFile, tieConstraintsFile, environment,
                                   messenger);
    } catch (const OmbrelError& failure) {
        messenger.Show(failure.what(), MessageIcon::Exclamation);
        return kFailure;
    } catch (const std::exception& failure) {
        messenger.Show(failure.what(), MessageIcon::Exclamation);
        return kFailure;
    }
    return kFailure;
}

}  // namespace ombrel
