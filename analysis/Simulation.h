#pragma once

// Market simulation over a scenario file: text, one product per line,
//   NAME L1 L2 ... LN      a name without blanks, then per attribute in attribute-file order its
//                          level number (1-based) or, for a linear attribute, the value itself
//   NONE                   the None alternative
// Blank lines and lines starting with '#' are ignored.

#include <string>
#include <vector>

#include "analysis/AnalysisStudy.h"
#include "analysis/PartWorthDraws.h"
#include "common/StudyFiles.h"
#include "common/TextSource.h"

namespace ombrel {

enum class ShareMethod { ShareOfPreference, FirstChoice };

// "share" and "first-choice": the command line's names, also in the output file's name.
const char* ShareMethodName(ShareMethod method);

struct ScenarioProduct {
    std::string name;  // "NONE" for the None alternative
    bool none = false;
    int line = 0;  // 1-based line of the scenario file
    CodedConcept coded;
    // Per linear attribute whose value lies outside the range of its values: a note naming the
    // attribute, the value and the range.
    std::vector<std::string> extrapolations;
    // Per attribute, the number the line gives (empty for None).
    std::vector<double> numbers;
};

struct Scenario {
    std::string path;
    std::vector<ScenarioProduct> products;  // in file order
};

// Reads a scenario for the study. Throws OmbrelError naming path and the line for a line with the
// wrong number of levels, a level outside its attribute, a number that cannot be read, a name used
// twice, NONE in a study without None, and a scenario without any product other than NONE.
Scenario ReadScenario(TextSource& source, const std::string& path, const AnalysisStudy& study);
Scenario ReadScenarioFile(const std::string& path, const AnalysisStudy& study);

// A scenario line to write: the name ("NONE" for None) and per attribute its level number or value.
struct ScenarioLine {
    std::string name;
    std::vector<double> numbers;
};

// The lines as a scenario file, each number in the fewest digits that read back as the same value.
std::string ScenarioText(const std::vector<ScenarioLine>& lines);
// Writes the file in one go; throws OmbrelError when it cannot.
void WriteScenarioFile(const std::string& path, const std::vector<ScenarioLine>& lines);

struct SimulationOptions {
    ShareMethod method = ShareMethod::ShareOfPreference;
    double exponent = 1.0;  // utilities are multiplied by it (share of preference only)
};

struct ProductShare {
    std::string name;
    double share = 0.0;  // percent, from the point estimates; the shares sum to 100
    // Over the saved draws: the standard deviation over draws of the share computed at each draw
    // index, and its 2.5% and 97.5% quantiles (linear interpolation, type 7). 0 without draws.
    double se = 0.0;
    double low = 0.0;
    double high = 0.0;
    std::vector<std::string> extrapolations;
};

struct SimulationResult {
    ShareMethod method = ShareMethod::ShareOfPreference;
    double exponent = 1.0;
    bool overDraws = false;  // the study's saved draws gave se, low and high
    int drawCount = 0;       // draws per respondent
    int respondentCount = 0;
    std::vector<ProductShare> products;  // in scenario order
};

// Shares of one respondent's utilities, in percent: the logit probabilities of the utilities times
// exponent, or 100 for the highest utility with ties split equally. Utilities within a relative
// 1e-9 of the highest tie with it.
std::vector<double> RespondentShares(const std::vector<double>& utilities, ShareMethod method,
                                     double exponent);

// Which utilities are the highest, ties (within a relative 1e-9) included.
std::vector<bool> Highest(const std::vector<double>& utilities);

// The shares from the point estimates, without se, low and high.
SimulationResult SimulatePointEstimates(const AnalysisStudy& loaded, const Scenario& scenario,
                                        const SimulationOptions& options);

// Adds se, low and high over the study's saved draws (".dra") to a result of SimulatePointEstimates
// for the same scenario and options; nothing when the study saved no draws. The draws are read with
// ForEachDraw, told of progress: it throws DrawsCancelled when progress stops the reading and
// OmbrelError for damaged draws, leaving result as it was in both cases.
void AddIntervalsOverDraws(const StudyFiles& study, const AnalysisStudy& loaded, const Scenario& scenario,
                           const SimulationOptions& options, SimulationResult& result,
                           DrawProgress* progress = nullptr);

// The shares from the point estimates, and over the draws when the study saved them.
SimulationResult Simulate(const StudyFiles& study, const AnalysisStudy& loaded, const Scenario& scenario,
                          const SimulationOptions& options);

// The output file: the scenario file's path less its extension, then "_<method>.csv".
std::string SimulationOutputPath(const std::string& scenarioPath, ShareMethod method);
// The CSV: "product,share", with ",se,low,high" over draws; four decimals, '.' as the point.
std::string SimulationCsv(const SimulationResult& result);
// The table the command prints, with a note per extrapolation.
std::string SimulationTable(const SimulationResult& result);
// Writes the CSV in one go; throws OmbrelError when it cannot.
void WriteSimulation(const std::string& path, const SimulationResult& result);

}  // namespace ombrel
