#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "common/StudyFiles.h"
#include "common/StudySettings.h"

namespace ombrel {

// Runs the study preparation for the settings and returns its report text. Failures throw
// OmbrelError with the user's message.
using PrepareStudy = std::function<std::string(const StudySettings& settings)>;

// What the command line needs from its surroundings; tests replace every part of it.
struct OmbrelEnvironment {
    std::string programFolder;      // holds kivotra, with a trailing "/"; empty: ProgramFolder()
    std::string settingsFolder;     // holds the names file, with a trailing "/"; empty: SettingsFolder()
    std::string temporaryFolder;    // parent of the private working folders; empty: the system's
    bool outputIsTerminal = false;  // standard output is a terminal: kivotra draws its screen there
    std::FILE* out = stdout;        // reports and help
    std::FILE* err = stderr;        // messages and usage errors
    PrepareStudy prepare;           // empty: the study preparation of this build
    // Several chains stop on SIGTERM, SIGINT and SIGHUP (the program's own run; tests leave it off).
    bool watchStopSignals = false;
    // Called when chain k's folder is ready, just before the chain runs (tests damage a chain here).
    std::function<void(int chain, const StudyFiles& chainFiles)> chainReady;
};

// The ombrel batch command line:
//   ombrel prepare DATAFILE
//   ombrel estimate DATAFILE [--resume | --fresh] [--chains K [--jobs J]] [--threads N] [setting options]
//   ombrel convert DATAFILE.cho [--responses FILE]
//   ombrel tie-draws HBUFILE [DRAFILE] [CONFILE]
//   ombrel diagnose DATAFILE [--chains K]
//   ombrel importances DATAFILE
//   ombrel simulate DATAFILE SCENARIO [--method share|first-choice] [--exponent X]
//   ombrel holdout DATAFILE
//   ombrel report DATAFILE
// Returns the process's exit status: 0 on success, kivotra's own status after an estimation of one
// chain (several chains: 0 after pooling or a stop, 1 after a failed chain), 1 after a failure shown
// on standard error (the diagnostics of a completed estimate included), CLI11's usage codes for a
// command line it cannot parse.
int RunOmbrel(int argc, char** argv);
int RunOmbrel(int argc, char** argv, const OmbrelEnvironment& environment);

// The preparation of this build, as the front end runs it.
std::string PrepareStudyOfThisBuild(const StudySettings& settings);

}  // namespace ombrel
