#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/Messenger.h"
#include "common/StudyFiles.h"
#include "common/StudySettings.h"
#include "estimator/chain/ChainState.h"
#include "estimator/chain/ConstraintEnforcement.h"
#include "estimator/chain/LevelExpansion.h"
#include "estimator/chain/Matrix.h"
#include "estimator/files/AttributeModel.h"
#include "estimator/files/DrawFiles.h"
#include "estimator/files/PreparedDataSource.h"
#include "estimator/files/RunLog.h"
#include "estimator/files/Summary.h"

namespace ombrel {

// The study a run works on, loaded step by step in the order whose messages come first.
struct RunStudy {
    StudySettings settings;
    std::optional<StudyFiles> files;  // set by LoadRunSettings
    AttributeModel model;
    LevelExpansion expansion;
    std::unique_ptr<ConstraintModel> constraints;
    const ConstraintTies* ties = nullptr;  // null while no constraints are in use
    int constraintCount = 0;
    std::unique_ptr<PreparedDataSource> data;

    const StudyFiles& Files() const { return *files; }
};

// Where the chain starts: the restart file's state, or the start values of a fresh chain.
struct ChainStart {
    ChainState state;
    bool resumed = false;  // from a restart file, whose log-likelihoods belong to its betas
    // A restart file of another parameter count: the message the first respondent pass would stop with,
    // reported where that pass would run (see BuildRunPrior).
    std::optional<std::string> variableCountMessage;
};

// Settings that the load or the front end's validation refused, having shown why.
struct SettingsRefused {};

// The settings through the names file in namesFolder, and the study's file names. Throws OmbrelError
// when the data file is neither ".cho" nor ".chs", SettingsRefused when the settings file holds a
// number too large for its field or a setting fails the main or the advanced validation.
void LoadRunSettings(const std::string& namesFolder, Messenger& messages, RunStudy& study);
// The attribute labels, their expansion and the constraints.
void LoadRunModel(Messenger& messages, RunStudy& study);
// Opens the prepared data ("Can't open binary data file.").
void OpenRunData(uint64_t memoryBudget, RunStudy& study);
// The restart file matched against the prepared data, or the start values. Throws OmbrelError when
// the restart file holds another number of respondents or the study holds none.
ChainStart LoadChainStart(RunStudy& study);
// The settings and counts of a run starting from state. Its total iterations are the previous ones
// plus this session's (preliminary ones and draws x skip); throws OmbrelError when that does not fit
// the run's counters.
RunSummary SummarizeRun(const RunStudy& study, const ChainState& state);

// Writes the results after a completed run with used draws: the sorted draws file (saved draws), the
// point estimates, the spreadsheet, the standard deviations (accumulated draws) and the summary.
void WriteRunResults(const RunStudy& study, int respondentCount, int parameterCount, const SummarySums& sums,
                     DrawScratchFile& drawScratch, const OutputProgress& progress);

// The prior covariance V0 for parameterCount parameters (the custom prior file over the built one).
// Throws the start's variable-count message, after the custom prior file has been read.
SquareMatrix BuildRunPrior(const RunStudy& study, const ChainStart& start);

}  // namespace ombrel
