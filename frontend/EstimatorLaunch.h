#pragma once

#include <string>

#include "common/StudySettings.h"
#include "frontend/FrontEndServices.h"

namespace ombrel {

// "%s %d %d %d %d": the program, then top, left, bottom and right of the main window.
std::string EstimatorCommandLine(const std::string& program, const WindowRect& rect);

// programFolder + kEstimatorProgramName with the rectangle's four numbers, run in settingsFolder (both
// folders with their trailing "/"), its console placed at (left + 6, top + 29) so that it opens over the
// window.
EstimatorLaunch BuildEstimatorLaunch(const std::string& programFolder, const std::string& settingsFolder,
                                     const WindowRect& rect);

// The report as the "Preparing Data Files" dialog shows it: every CR removed, so that each LF is
// one line break of the multi-line text.
std::string ReportDisplayText(const std::string& report);

// Runs the whole preparation on a copy of settings and returns its report. Throws OmbrelError with
// the user's message when it fails.
std::string RunStudyPreparation(const StudySettings& settings);

}  // namespace ombrel
