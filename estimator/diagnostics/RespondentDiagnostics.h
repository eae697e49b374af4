#pragma once

#include <string>
#include <vector>

#include "estimator/diagnostics/DiagnosticsReport.h"
#include "estimator/diagnostics/QuantityMeter.h"

namespace ombrel {

// The R-hat and the bulk ESS of every respondent's every level value over the chains' draws files (".dra",
// laid out by FormatDrawRecord: draws records per respondent, respondent-major), read together respondent by
// respondent so that only one respondent's draws of all chains are held at a time. levelLabels gives
// the level count and the worst value's label. Throws OmbrelError naming the file and the line (and
// the respondent) for a record that cannot be read, a record of another level count, respondents
// that differ between the chains or within a respondent's records, and files that end apart.
RespondentDiagnostics DiagnoseRespondents(const std::vector<std::string>& drawsFiles, int draws,
                                          const std::vector<std::string>& levelLabels, QuantityMeter& meter);

}  // namespace ombrel
