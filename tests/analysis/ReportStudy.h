#pragma once

// A small estimated study on disk for the report's tests: brand (3 levels, labels that need escaping)
// and colour (2 levels) with None, three respondents with known part-worths and fits, two tasks each
// of which the task subset keeps the first, histories of the diagnostics tests' shape, and a log with
// two preparations and an estimator entry.

#include <string>

#include "common/StudyFiles.h"
#include "common/StudySettings.h"
#include "tests/estimator/diagnostics/DiagnosticsStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel::test {

inline const std::string kReportBrandB = "B & <Co>";
inline const std::string kReportBrandC = "\"C\"";

// Per respondent: number, RLH x 1000, then brand A, B, C, red, blue, None.
// Means: brand 1, 1/6, -7/6; red 0.3, blue -0.3; None 0.2.
inline const std::string kReportPartWorths =
    "2 1 6 1 1\n3 2 \n1 0 \n0 1 \n1 1 Brand A\n1 2 " + kReportBrandB + "\n1 3 " + kReportBrandC +
    "\n2 1 Red\n2 2 Blue\nNONE\n"
    "      1     500  0 6 -1\n  1.000   0.000  -1.000   0.500  -0.500   0.300 \n"
    "      2     650  0 6 -1\n  2.000  -0.500  -1.500   0.300  -0.300  -0.100 \n"
    "      3    1000  0 6 -1\n  0.000   1.000  -1.000   0.100  -0.100   0.400 \n";

inline const std::string kReportPreparation =
    "Preparing Files For HB Analysis\nData file: study.cho\n\nEstimation will include main effects and no "
    "interactions.\n\nFiles built for 3 respondents.";

inline std::string ReportLog() {
    const std::string rule(53, '=');
    return "\n\n09:00:00AM   Monday, December 07, 2026\n" + rule +
           "\nPreparing Files For HB Analysis\nData file: old.cho\n\nFiles built for 2 respondents." +
           "\n\n10:00:00AM   Monday, December 07, 2026\n" + rule + "\n" + kReportPreparation +
           "\n\n10:00:05AM   Monday, December 07, 2026\n" + rule +
           "\nPrevious Iterations               0\n\nIteration   Jump Size\n     100    0.100" +
           "\n\nThis session did 100 iterations in 1 seconds.\n";
}

// Per respondent two tasks of two concepts (brand colour) and a None alternative.
inline const std::string kReportChoices =
    "1 0 2 2 1\n2 1\n1 1\n2 2\n1 0\n2 1\n3 1\n1 2\n2 0\n"
    "2 0 2 2 1\n2 1\n1 1\n2 2\n1 0\n2 1\n3 1\n1 2\n3 0\n"
    "3 0 2 2 1\n2 1\n1 1\n2 2\n2 0\n2 1\n3 1\n1 2\n1 0\n";

inline void WriteReportSettings(const StudyFiles& run, int draws, int drawSkip, int seed) {
    StudySettings settings;
    settings.dataFileName = run.DataFile();
    settings.drawsPerRespondent = draws;
    settings.drawSkip = drawSkip;
    settings.randomSeed = seed;
    settings.effectsCoding = true;
    WriteFileText(run.Settings(), settings.SettingsText());
}

// One run's settings, histories of lines lines and layout; draws 3, skip 10.
inline void WriteReportRun(const StudyFiles& run, int chain, int lines, int seed) {
    WriteRun(run, chain, 3, lines, seed);
    WriteReportSettings(run, 3, 10, seed);
    WriteFileText(run.Layout(), "1 1 Brand A\n1 2 " + kReportBrandB + "\n1 3 " + kReportBrandC +
                                    "\n2 1 Red\n2 2 Blue\nNONE\n");
}

// The study's own files; with chains > 1 its histories are the chains' (lines lines each).
inline StudyFiles WriteReportStudy(const TempDir& folder, int chains = 1, int lines = 5) {
    const StudyFiles study = *StudyFiles::ForDataFile(folder.File("study.cho"));
    WriteFileText(study.DataFile(), kReportChoices);
    WriteFileText(study.Attributes(),
                  "Brand A\n\n" + kReportBrandB + "\n\n" + kReportBrandC + "\n\n\nRed\n\nBlue\n");
    WriteFileText(study.PartWorths(), kReportPartWorths);
    WriteFileText(study.Log(), ReportLog());
    WriteFileText(study.TaskSubset(), "1\n");
    if (chains == 1) {
        WriteReportRun(study, 1, lines, 7);
    } else {
        WriteReportSettings(study, 3, 10, 7);
        for (int k = 1; k <= chains; ++k) WriteReportRun(study.ForChain(k), k, lines, 6 + k);
    }
    return study;
}

}  // namespace ombrel::test
