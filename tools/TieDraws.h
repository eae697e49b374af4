#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/ByteStream.h"
#include "common/Messenger.h"
#include "common/TextSource.h"
#include "estimator/files/Constraints.h"
#include "tools/DrawsFile.h"
#include "tools/PartWorthFile.h"
#include "tools/TieDrawsPaths.h"

namespace ombrel {

// An ordering counts as violated, and is tied, only when the lower level leads by more than this.
inline constexpr double kDrawTieThreshold = 0.0001;

// Adds 1 to counters[c] for every constraint c (in list order) that the untied draw violates.
void CountDrawViolations(const TieDrawsModel& model, const std::vector<Constraint>& constraints,
                         const double* draw, std::vector<int64_t>& counters);

// Ties the draw in place: a violated ordering sets every level from the lower to the higher of its
// two level numbers to their mean, a violated sign sets the coefficient to 0; passes over each
// attribute's constraints repeat until one ties nothing. The None value is never touched.
void TieDraw(const TieDrawsModel& model, const std::vector<Constraint>& constraints, double* draw);

struct TieDrawsOutcome {
    std::string report;  // LF line ends
    std::string tiedPath;
    std::string spreadsheetPath;
    int drawsPerRespondent = 0;
    int respondentCount = 0;
    std::vector<int64_t> violations;  // per constraint, in file order
};

// The three inputs of a run, open, each with the path its messages name.
struct TieDrawsInputs {
    const std::string& partWorthPath;
    TextSource& partWorths;
    const std::string& drawsPath;
    DrawsText& draws;
    const std::string& constraintsPath;
    TextSource& constraints;
};

// Tied part-worth file written: the header lines copied, then per respondent "%d %d %d %d %d\n" (the
// record of its last draw) and the means of its tied draws, P values "%7.3lf " with a line break
// before the 11th, 21st, ... value and a final line break.
// Spreadsheet written: "Respondent,RLH,Merged Variables,Parameters,None" and ",label" per label
// line; per respondent "%d,%d,%d,%d,%d" and ",%7.3lf" per value.
//
// Reads the part-worth file's header, the constraints and every draw, writes the tied part-worth
// text to tied and the spreadsheet text to spreadsheet, and returns the outcome without its two
// paths. Throws OmbrelError with the user's message on the first failure; the sinks then hold an
// incomplete text. A failed write is the sink's own to report.
TieDrawsOutcome TieDrawsFromText(const TieDrawsInputs& inputs, ByteSink& tied, ByteSink& spreadsheet);

// TieDrawsFromText over the three files, writing the tied part-worth file and its spreadsheet twin
// (TiedPartWorthPath, TiedSpreadsheetPath). Throws OmbrelError with the user's message on the first
// failure, "Cannot open <path>" for a file that cannot be opened; the output files are then left as
// they were before (each is written to a temporary file that only a complete run renames into place).
TieDrawsOutcome TieDraws(const std::string& partWorthPath, const std::string& drawsPath,
                         const std::string& constraintsPath);

// The tool's command: trims the three paths, runs TieDraws, and on failure shows its message
// (exclamation icon) and returns false. On success stores the report in report.
bool RunTieDraws(const std::string& partWorthPath, const std::string& drawsPath,
                 const std::string& constraintsPath, Messenger& messenger, std::string& report);

// The report as the results dialog shows it: every LF becomes CR LF.
std::string ReportForDialog(const std::string& report);

}  // namespace ombrel
