#pragma once

// The convergence diagnostics of a run and their two files:
//
//   "<name>_diagnostics.csv"  "kind,index,label,mean,sd,rhat,ess_bulk,ess_tail\n", then one line per
//                             alpha value (kind "alpha", index the 1-based level) and per variance
//                             (kind "variance", index the 1-based parameter); labels quoted as RFC
//                             4180 when they hold a comma, a quote, CR or LF; reals "%.6g", NA for a
//                             measure that is not defined; "\n" line ends.
//   "<name>.diag"             the verdict text (VerdictText).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/StudyFiles.h"
#include "estimator/diagnostics/ConvergenceDiagnostics.h"

namespace ombrel {

// A run has converged when every R-hat is below this and every bulk and tail ESS at least the other.
inline constexpr double kConvergedRhatBelow = 1.01;
inline constexpr double kConvergedEssAtLeast = 400.0;

enum class QuantityKind { Alpha, Variance };

struct QuantityDiagnostics {
    QuantityKind kind = QuantityKind::Alpha;
    int index = 0;  // from 1
    std::string label;
    ConvergenceMeasures measures;
};

// R-hat and bulk ESS of every respondent's every level value over the chains' saved draws.
struct RespondentDiagnostics {
    int64_t valueCount = 0;      // respondent values with an R-hat
    int64_t constantCount = 0;   // respondent values without one (constant over every draw)
    int64_t aboveThreshold = 0;  // R-hat at or above kConvergedRhatBelow
    // The value of the largest R-hat; meaningful when valueCount > 0.
    int32_t worstRespondent = 0;
    std::string worstLabel;
    double worstRhat = 0.0;
    // The value of the smallest bulk ESS; meaningful when essCount > 0.
    int64_t essCount = 0;
    int32_t smallestEssRespondent = 0;
    std::string smallestEssLabel;
    double smallestEss = 0.0;
};

struct DiagnosticsReport {
    std::string studyName;       // the study's base name
    std::vector<int32_t> seeds;  // per chain, from its settings; 0: from the clock
    int drawsPerChain = 0;
    std::vector<QuantityDiagnostics> quantities;       // the alpha rows, then the variance rows
    std::optional<RespondentDiagnostics> respondents;  // when every chain saved its draws
};

const char* QuantityKindName(QuantityKind kind);

// A label as a CSV field: as it is, or quoted with its quotes doubled when it holds a comma, a
// quote, CR or LF.
std::string CsvField(const std::string& text);

std::string DiagnosticsTableText(const DiagnosticsReport& report);
std::string VerdictText(const DiagnosticsReport& report);

// Writes the table and the verdict of study, each beside its target and renamed into place once both
// are complete. Throws OmbrelError naming the file that could not be written.
void WriteDiagnostics(const StudyFiles& study, const DiagnosticsReport& report);

}  // namespace ombrel
