#pragma once

#include <vector>

#include "common/StudyFiles.h"
#include "common/StudySettings.h"
#include "estimator/diagnostics/DiagnosticsReport.h"
#include "estimator/diagnostics/QuantityMeter.h"

namespace ombrel {

// A run's settings as a diagnosis reads them. Throws OmbrelError naming the file when it is missing
// or damaged, or gives fewer than one draw per respondent.
StudySettings ReadRunSettings(const StudyFiles& run);

// The runs a diagnosis reads: the study itself for one chain, else its chains 1 to chainCount.
std::vector<StudyFiles> DiagnosedRuns(const StudyFiles& study, int chainCount);

// The diagnostics of the runs' histories: each run's last D lines of ".alp" and ".cov" (D the draws
// per respondent of the run's ".set", which a resumed run's longer history also ends with), labelled
// from the first run's ".lay" or the prepared label file, and, when every run saved its draws
// (".dra"), every respondent value's R-hat. Throws OmbrelError naming the file (and the line) for a
// missing or damaged file, a history shorter than D lines, and runs or histories of different
// lengths or sizes.
DiagnosticsReport DiagnoseStudy(const StudyFiles& study, int chainCount);
DiagnosticsReport DiagnoseStudy(const StudyFiles& study, int chainCount, QuantityMeter& meter);

// How many chains a diagnosis of the study reads when nobody says: the chain folders 1, 2, ... that
// hold a ".alp", when there are at least two and the study has no ".alp" of its own or chain 1's is
// newer; else 1, the study's own files.
int DetectChainCount(const StudyFiles& study);

}  // namespace ombrel
