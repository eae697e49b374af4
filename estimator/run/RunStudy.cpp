#include "estimator/run/RunStudy.h"

#include <cstdint>
#include <limits>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "estimator/chain/PopulationDraws.h"
#include "estimator/chain/StartValues.h"
#include "estimator/files/Constraints.h"
#include "estimator/files/PointEstimates.h"
#include "estimator/files/PriorMatrixFile.h"
#include "estimator/files/RestartFile.h"

namespace ombrel {

namespace {

constexpr int kMaxLevelCount = 2000;

// What a restart file is matched against: the complete respondent blocks of the prepared data, and
// the first expanded task whose variable count differs from the restart file's parameter count (the
// message the first respondent pass would stop with).
struct PreparedDataScan {
    int respondentCount = 0;
    std::optional<std::string> variableCountMessage;
};

PreparedDataScan ScanPreparedData(PreparedDataSource& data, int parameterCount) {
    data.Rewind();
    PreparedDataScan scan;
    RespondentBlock block;
    for (;;) {
        RecordOutcome outcome = data.Next(block);
        if (outcome == RecordOutcome::EndOfData) break;
        if (outcome == RecordOutcome::PrematureEnd) throw OmbrelError(kPrematureEndMessage);
        for (int t = 0; t < block.taskCount && !scan.variableCountMessage; ++t) {
            if (block.tasks[t].variableCount != parameterCount)
                scan.variableCountMessage =
                    VariableCountMessage(block.number, parameterCount, block.tasks[t].variableCount);
        }
        ++scan.respondentCount;
    }
    data.Rewind();
    return scan;
}

ChainStart ResumedStart(RunStudy& study, ChainState restart) {
    ChainStart start;
    const PreparedDataScan scan = ScanPreparedData(*study.data, restart.ParameterCount());
    start.variableCountMessage = scan.variableCountMessage;
    if (!start.variableCountMessage && restart.RespondentCount() != scan.respondentCount)
        throw OmbrelError(RestartRespondentMismatchMessage(study.Files().Restart(), restart.RespondentCount(),
                                                           scan.respondentCount));
    start.state = std::move(restart);
    start.resumed = true;
    return start;
}

ChainStart FreshStart(RunStudy& study) {
    const int p = CountParameters(study.model);
    PopulationState population;
    population.Resize(p);
    ChainStart start;
    InitializeStartValues(study.settings.smartStart, study.settings.effectsCoding, study.ties, *study.data,
                          population, start.state.store);
    study.data->Rewind();
    start.state.alpha = std::move(population.alpha);
    start.state.covariance = std::move(population.covariance);
    return start;
}

}  // namespace

void LoadRunSettings(const std::string& namesFolder, Messenger& messages, RunStudy& study) {
    study.settings.namesFolder = namesFolder;
    const bool loaded = study.settings.LoadSettings(messages);
    if (study.settings.IsChoiceData() || study.settings.IsAllocationData())
        study.files = StudyFiles::ForDataFile(study.settings.dataFileName);
    if (!study.files) throw OmbrelError(kInvalidDataFileMessage);
    if (!loaded) throw SettingsRefused();
    // A hand-edited settings file gets the front end's checks before any file of the study is read:
    // a skip factor of 0 or a prior variance of NaN would give results that mean nothing.
    if (!study.settings.ValidateMainSettings(messages) || !study.settings.ValidateAdvancedSettings(messages))
        throw SettingsRefused();
}

void LoadRunModel(Messenger& messages, RunStudy& study) {
    const bool effectsCoding = study.settings.effectsCoding;
    LoadAttributeLabels(study.Files().Folder(), messages, study.model);
    if (study.model.levelCount > kMaxLevelCount)
        throw OmbrelError(Format("The total number of levels (%d) exceeds the limit of %d.",
                                 study.model.levelCount, kMaxLevelCount));
    study.expansion = LevelExpansion(study.model, effectsCoding);

    std::vector<Constraint> constraints = ReadConstraints(study.Files().Name(), study.model, effectsCoding);
    study.constraintCount = static_cast<int>(constraints.size());
    if (study.constraintCount > 0) {
        study.constraints =
            std::make_unique<ConstraintModel>(std::move(constraints), study.model, effectsCoding);
        study.ties = study.constraints.get();
    }
}

void OpenRunData(uint64_t memoryBudget, RunStudy& study) {
    study.data = OpenPreparedData(study.Files().PreparedData(), memoryBudget);
    if (!study.data) throw OmbrelError("Can't open binary data file.");
}

ChainStart LoadChainStart(RunStudy& study) {
    std::optional<ChainState> restart = LoadRestartFile(study.Files().Restart());
    ChainStart start = restart ? ResumedStart(study, std::move(*restart)) : FreshStart(study);
    if (start.state.RespondentCount() == 0)
        throw OmbrelError(
            "The qebdat.tmp file holds no respondents, so there is nothing to estimate.  Please "
            "check the data file and the qualifiers, and prepare the study again.");
    return start;
}

RunSummary SummarizeRun(const RunStudy& study, const ChainState& state) {
    const StudySettings& settings = study.settings;
    const int64_t total = int64_t{state.completedIterations} + settings.preliminaryIterations +
                          int64_t{settings.drawsPerRespondent} * settings.drawSkip;
    if (total > std::numeric_limits<int>::max() - 1)
        throw OmbrelError(
            "The settings ask for more iterations than one run can count.  Please reduce the "
            "number of iterations or draws.");
    RunSummary run;
    run.previousIterations = state.completedIterations;
    run.preliminaryIterations = settings.preliminaryIterations;
    run.drawsPerRespondent = settings.drawsPerRespondent;
    run.drawSkip = settings.drawSkip;
    run.totalIterations = static_cast<int>(total);
    run.logSkip = settings.logSkip;
    run.respondentCount = state.RespondentCount();
    run.parameterCount = state.ParameterCount();
    run.choiceData = settings.IsChoiceData();
    run.totalTaskWeight = settings.totalTaskWeight;
    run.constraintCount = study.constraintCount;
    run.saveDraws = settings.saveDraws;
    return run;
}

void WriteRunResults(const RunStudy& study, int respondentCount, int parameterCount, const SummarySums& sums,
                     DrawScratchFile& drawScratch, const OutputProgress& progress) {
    const StudySettings& settings = study.settings;
    const StudyFiles& files = study.Files();
    DrawLayout layout;
    layout.respondentCount = respondentCount;
    layout.parameterCount = parameterCount;
    layout.drawsPerRespondent = settings.drawsPerRespondent;
    layout.hasNone = study.model.hasNone;
    if (settings.saveDraws) SortDraws(drawScratch, files, layout, study.expansion, study.ties, progress);
    EstimateInputs inputs;
    inputs.files = &files;
    inputs.layout = layout;
    inputs.saveDraws = settings.saveDraws;
    inputs.accumulators = settings.saveDraws ? nullptr : &drawScratch;
    inputs.progress = progress;
    WritePointEstimates(study.model, inputs);
    WriteCsv(study.model, inputs);
    if (!settings.saveDraws)
        WriteStandardDeviations(files.StandardDeviations(), drawScratch, layout, study.model.levelCount);
    WriteSummary(files.Summary(), sums, settings.drawsPerRespondent, study.expansion);
}

SquareMatrix BuildRunPrior(const RunStudy& study, const ChainStart& start) {
    const int p = start.state.ParameterCount();
    SquareMatrix prior(p);
    if (start.variableCountMessage) {
        // Nothing may be built for betas of another length; a faulty custom prior would still have
        // been reported before the first pass.
        ReadPriorMatrixFile(study.Files().Name(), prior);
        throw OmbrelError(*start.variableCountMessage);
    }
    // Every later expansion of the betas relies on this (a restart file of tasks-free respondents only
    // would otherwise reach the level expansion with betas of another length).
    CheckParameterCount(study.expansion, p);
    if (study.settings.effectsCoding)
        BuildEffectsPrior(study.model, study.settings.priorVariance, prior);
    else
        BuildDummyPrior(study.model, study.settings.priorVariance, prior);
    ReadPriorMatrixFile(study.Files().Name(), prior);
    return prior;
}

}  // namespace ombrel
