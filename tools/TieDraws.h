#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Messenger.h"
#include "estimator/files/Constraints.h"

namespace ombrel {

// Where each attribute's values sit in a draw of a main-effects part-worth file.
struct TieDrawsModel {
    std::vector<int> levels;      // per attribute, from the level line (1 for a linear attribute)
    std::vector<int> diagonal;    // the model matrix's diagonal: 1 part-worth, -1 linear, 0 not estimated
    std::vector<int> valueStart;  // first value of each attribute in a draw; -1 for one not estimated
    int valueCount = 0;           // values per draw, None included
};

// An ordering counts as violated, and is tied, only when the lower level leads by more than this.
inline constexpr double kDrawTieThreshold = 0.0001;

// Adds 1 to counters[c] for every constraint c (in list order) that the untied draw violates.
void CountDrawViolations(const TieDrawsModel& model, const std::vector<Constraint>& constraints,
                         const double* draw, std::vector<int64_t>& counters);

// Ties the draw in place: a violated ordering sets every level from the lower to the higher of its
// two level numbers to their mean, a violated sign sets the coefficient to 0; passes over each
// attribute's constraints repeat until one ties nothing. The None value is never touched.
void TieDraw(const TieDrawsModel& model, const std::vector<Constraint>& constraints, double* draw);

// The tied part-worth file: the file-name part lower-cased with every ".hbu" turned into
// "_tiedraws.hbu"; the folder part is kept as it is. Empty when the name holds no ".hbu" (the tied
// file would replace the input).
std::string TiedPartWorthPath(const std::string& partWorthPath);
// The spreadsheet twin of the tied file: every ".hbu" in its name replaced by ".csv".
std::string TiedSpreadsheetPath(const std::string& tiedPath);
// The dialog's guess for the draws and constraints files: the part-worth path less every ".hbu"
// (in any case), then extension (".dra" or ".con").
std::string TieDrawsCompanionPath(const std::string& partWorthPath, const std::string& extension);

struct TieDrawsOutcome {
    std::string report;  // LF line ends
    std::string tiedPath;
    std::string spreadsheetPath;
    int drawsPerRespondent = 0;
    int respondentCount = 0;
    std::vector<int64_t> violations;  // per constraint, in file order
};

// Reads the part-worth file's header, the constraints and every draw; writes the tied part-worth
// file and its spreadsheet twin, and returns the report. Throws OmbrelError with the user's message
// on the first failure; the output files are then left as they were before (each is written to a
// temporary file that only a complete run renames into place).
TieDrawsOutcome TieDraws(const std::string& partWorthPath, const std::string& drawsPath,
                         const std::string& constraintsPath);

// The tool's command: trims the three paths, runs TieDraws, and on failure shows its message
// (exclamation icon) and returns false. On success stores the report in report.
bool RunTieDraws(const std::string& partWorthPath, const std::string& drawsPath,
                 const std::string& constraintsPath, Messenger& messenger, std::string& report);

// The report as the results dialog shows it: every LF becomes CR LF.
std::string ReportForDialog(const std::string& report);

}  // namespace ombrel
