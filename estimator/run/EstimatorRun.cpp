#include "estimator/run/EstimatorRun.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "common/OmbrelError.h"
#include "common/StudySettings.h"
#include "common/TextConversion.h"
#include "estimator/chain/ConstraintEnforcement.h"
#include "estimator/chain/LevelExpansion.h"
#include "estimator/chain/MatrixAlgebra.h"
#include "estimator/chain/PopulationDraws.h"
#include "estimator/chain/RandomGenerator.h"
#include "estimator/chain/RespondentStore.h"
#include "estimator/chain/RespondentUpdate.h"
#include "estimator/chain/StartValues.h"
#include "estimator/files/AttributeModel.h"
#include "estimator/files/Constraints.h"
#include "estimator/files/DrawFiles.h"
#include "estimator/files/PointEstimates.h"
#include "estimator/files/PreparedDataSource.h"
#include "estimator/files/PriorMatrixFile.h"
#include "estimator/files/ProgressLog.h"
#include "estimator/files/RestartFile.h"
#include "estimator/files/Summary.h"

namespace ombrel {

namespace {

constexpr const char* kProgramTitle = "Feldrin Software Ombrel";
constexpr int kMaxLevelCount = 2000;
constexpr double kStartingJumpSize = 0.1;
constexpr double kTargetAcceptance = 0.3;

// A text file the run appends to or rewrites, closed when the run state goes away.
class TextFile {
public:
    TextFile() = default;
    ~TextFile() { Close(); }
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    bool Open(const std::string& path, const char* mode) {
        Close();
        file_ = std::fopen(path.c_str(), mode);
        return file_ != nullptr;
    }
    void Close() {
        if (file_ != nullptr) std::fclose(file_);
        file_ = nullptr;
    }
    void Write(const std::string& text) {
        if (file_ != nullptr) std::fwrite(text.data(), 1, text.size(), file_);
    }
    std::FILE* Get() const { return file_; }

private:
    std::FILE* file_ = nullptr;
};

std::string OpenFailureMessage(const char* file) {
    return Format(
        "The %s file could not be opened.  Please check the file for read-only attributes and access "
        "restrictions.",
        file);
}

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

// The run state of one estimator process and the steps of its run.
class EstimatorRun {
public:
    EstimatorRun(EstimatorConsole& console, const std::string& namesFolder, uint64_t memoryBudget)
        : console_(console), namesFolder_(namesFolder), memoryBudget_(memoryBudget) {}

    int Run();

private:
    void StartUp();
    void Iterate();
    void Finish();
    void ShowStatus(const std::string& message) { console_.Draw({ProgressScreen::Status(message)}); }
    RunSummary Summary() const;

    EstimatorConsole& console_;
    std::string namesFolder_;
    uint64_t memoryBudget_;

    StudySettings settings_;
    std::string studyName_;
    std::string studyFolder_;
    AttributeModel model_;
    LevelExpansion expansion_;
    std::unique_ptr<ConstraintModel> constraints_;
    const ConstraintTies* ties_ = nullptr;  // null while no constraints are in use
    int constraintCount_ = 0;
    std::unique_ptr<PreparedDataSource> data_;
    RespondentStore store_;
    PopulationState population_;
    std::unique_ptr<RespondentUpdater> updater_;
    RandomGenerator random_;

    int respondentCount_ = 0;
    int parameterCount_ = 0;
    int iteration_ = 1;
    int previousIterations_ = 0;
    int totalIterations_ = 0;
    int remainingIterations_ = 0;
    double jumpSize_ = kStartingJumpSize;
    bool storedLikelihoodsValid_ = false;
    bool usingDraws_ = false;
    bool stoppedByUser_ = false;
    long long startTime_ = 0;
    std::optional<std::string> restartVariableCountMessage_;

    TextFile log_;
    TextFile alphaHistory_;
    TextFile betaHistory_;
    TextFile covarianceHistory_;
    DrawScratchFile drawScratch_;
    std::unique_ptr<DrawSink> drawSink_;

    ProgressScreen screen_;
    SummarySums sums_;
    std::vector<double> expandedLevels_;
    std::vector<double> expandInput_;
    std::string line_;
};

RunSummary EstimatorRun::Summary() const {
    RunSummary run;
    run.previousIterations = previousIterations_;
    run.preliminaryIterations = settings_.preliminaryIterations;
    run.drawsPerRespondent = settings_.drawsPerRespondent;
    run.drawSkip = settings_.drawSkip;
    run.totalIterations = totalIterations_;
    run.logSkip = settings_.logSkip;
    run.respondentCount = respondentCount_;
    run.parameterCount = parameterCount_;
    run.choiceData = settings_.IsChoiceData();
    run.totalTaskWeight = settings_.totalTaskWeight;
    run.constraintCount = constraintCount_;
    run.saveDraws = settings_.saveDraws;
    return run;
}

void EstimatorRun::StartUp() {
    console_.SetTitle(kProgramTitle);
    console_.ClearScreen();

    settings_.namesFolder = namesFolder_;
    settings_.LoadSettings(console_.Messages());
    if (!settings_.IsChoiceData() && !settings_.IsAllocationData())
        throw OmbrelError("An invalid data file was specified.");
    studyName_ = settings_.StudyName();
    studyFolder_ = settings_.StudyFolder();
    const size_t slash = studyName_.find_last_of('/');
    console_.SetTitle(std::string(kProgramTitle) + " - " +
                      (slash == std::string::npos ? studyName_ : studyName_.substr(slash + 1)));

    LoadAttributeLabels(studyFolder_, console_.Messages(), model_);
    if (model_.levelCount > kMaxLevelCount)
        throw OmbrelError(Format("The total number of levels (%d) exceeds the limit of %d.",
                                 model_.levelCount, kMaxLevelCount));
    expansion_ = LevelExpansion(model_, settings_.effectsCoding);

    std::vector<Constraint> constraints = ReadConstraints(studyName_, model_, settings_.effectsCoding);
    constraintCount_ = static_cast<int>(constraints.size());
    if (constraintCount_ > 0) {
        constraints_ =
            std::make_unique<ConstraintModel>(std::move(constraints), model_, settings_.effectsCoding);
        ties_ = constraints_.get();
    }

    data_ = OpenPreparedData(studyFolder_ + kPreparedDataFileName, memoryBudget_);
    if (!data_) throw OmbrelError("Can't open binary data file.");

    std::optional<RestartState> restart = LoadRestartFile(studyName_);
    if (restart) {
        const PreparedDataScan scan = ScanPreparedData(*data_, restart->ParameterCount());
        // A restart file of another parameter count is reported as the first respondent pass reports
        // it, at the point where that pass would run (see the prior below).
        restartVariableCountMessage_ = scan.variableCountMessage;
        if (!restartVariableCountMessage_ && restart->RespondentCount() != scan.respondentCount)
            throw OmbrelError(RestartRespondentMismatchMessage(studyName_, restart->RespondentCount(),
                                                               scan.respondentCount));
        respondentCount_ = restart->RespondentCount();
        parameterCount_ = restart->ParameterCount();
        previousIterations_ = restart->previousIterations;
        jumpSize_ = restart->jumpSize;
        population_.Resize(parameterCount_);
        population_.alpha = restart->alpha;
        population_.covariance = restart->covariance;
        store_ = std::move(restart->store);
        storedLikelihoodsValid_ = true;
        iteration_ += previousIterations_;
    } else {
        parameterCount_ = CountParameters(model_);
        population_.Resize(parameterCount_);
        respondentCount_ = InitializeStartValues(settings_.smartStart, settings_.effectsCoding, ties_, *data_,
                                                 population_, store_);
        data_->Rewind();
        storedLikelihoodsValid_ = false;
    }
    if (respondentCount_ == 0)
        throw OmbrelError(
            "The qebdat.tmp file holds no respondents, so there is nothing to estimate.  Please "
            "check the data file and the qualifiers, and prepare the study again.");
    updater_ = std::make_unique<RespondentUpdater>(parameterCount_);

    const int64_t total = int64_t{previousIterations_} + settings_.preliminaryIterations +
                          int64_t{settings_.drawsPerRespondent} * settings_.drawSkip;
    if (total > std::numeric_limits<int>::max() - 1)
        throw OmbrelError(
            "The settings ask for more iterations than one run can count.  Please reduce the "
            "number of iterations or draws.");
    totalIterations_ = static_cast<int>(total);

    const RunSummary run = Summary();
    console_.Draw(screen_.HeaderBlock(run));

    if (!log_.Open(studyName_ + ".log", "a")) throw OmbrelError(OpenFailureMessage("<studyname>.log"));
    WriteLogHeader(log_.Get(), run, console_.LocalTime());

    CreateDrawScratchFile(studyFolder_, settings_.saveDraws, drawScratch_);
    const char* historyMode = previousIterations_ == 0 ? "w" : "a";
    if (!alphaHistory_.Open(studyName_ + ".alp", historyMode))
        throw OmbrelError(OpenFailureMessage("<studyname>.alp"));
    if (constraintCount_ > 0 && !betaHistory_.Open(studyName_ + ".bet", historyMode))
        throw OmbrelError(OpenFailureMessage("<studyname>.bet"));
    if (!covarianceHistory_.Open(studyName_ + ".cov", historyMode))
        throw OmbrelError(OpenFailureMessage("<studyname>.cov"));

    if (restartVariableCountMessage_) {
        // Nothing may be built for betas of another length; a faulty custom prior would still have
        // been reported before the first pass.
        ReadPriorMatrixFile(studyName_, population_.priorCovariance);
        throw OmbrelError(*restartVariableCountMessage_);
    }
    // Every later expansion of the betas relies on this (a restart file of tasks-free respondents only
    // would otherwise reach the level expansion with betas of another length).
    CheckParameterCount(expansion_, parameterCount_);
    if (settings_.effectsCoding)
        BuildEffectsPrior(model_, settings_.priorVariance, population_.priorCovariance);
    else
        BuildDummyPrior(model_, settings_.priorVariance, population_.priorCovariance);
    ReadPriorMatrixFile(studyName_, population_.priorCovariance);
    InvertCovariance(population_);

    const uint32_t seed = settings_.randomSeed != 0 ? static_cast<uint32_t>(settings_.randomSeed)
                                                    : static_cast<uint32_t>(console_.Now());
    random_.SeedGenerator(seed);

    if (settings_.saveDraws)
        drawSink_ = std::make_unique<SavedDrawWriter>(drawScratch_, parameterCount_);
    else
        drawSink_ = std::make_unique<DrawAccumulator>(drawScratch_, expansion_, ties_);

    std::vector<ScreenWrite> labels = screen_.FixedLabels(model_.levelCount);
    labels.push_back(ProgressScreen::Status("Press ESC to stop"));
    console_.Draw(labels);

    sums_.alphaSum.assign(static_cast<size_t>(parameterCount_), 0.0);
    if (constraintCount_ > 0) sums_.constrainedBetaSum.assign(static_cast<size_t>(parameterCount_), 0.0);
    sums_.covarianceSum.assign(
        static_cast<size_t>(parameterCount_) * static_cast<size_t>(parameterCount_ + 1) / 2, 0.0);
    expandedLevels_.assign(static_cast<size_t>(std::max(model_.levelCount, 1)), 0.0);
    expandInput_.assign(static_cast<size_t>(parameterCount_), 0.0);

    startTime_ = console_.Now();
    remainingIterations_ = totalIterations_ - iteration_;
    screen_.Reset();
    stoppedByUser_ = false;
}

void EstimatorRun::Iterate() {
    const int p = parameterCount_;
    while (iteration_ <= totalIterations_) {
        if (!usingDraws_ && iteration_ > previousIterations_ + settings_.preliminaryIterations) {
            usingDraws_ = true;
            if (settings_.saveDraws) ShowStatus("Press ESC to stop (saved draws will be lost)");
        }
        const bool sampled = settings_.drawSkip > 0 && iteration_ % settings_.drawSkip == 0;

        const double jumpUsed = jumpSize_;
        updater_->UpdateRespondents(jumpSize_, storedLikelihoodsValid_, usingDraws_ && sampled, population_,
                                    *data_, store_, random_, ties_, drawSink_.get());
        const PassStatistics& pass = updater_->Statistics();
        const double pctCert = (pass.nullLogLikelihood - pass.totalLogLikelihood) / pass.nullLogLikelihood;
        const double rlh = std::exp(pass.totalLogLikelihood / pass.totalChoiceWeight);
        storedLikelihoodsValid_ = true;

        DrawAlpha(population_, pass.meanBetas.data(), respondentCount_, random_);
        DrawCovariance(population_, store_, settings_.priorDegreesOfFreedom, random_);

        if (sampled) {
            std::copy(population_.alpha.begin(), population_.alpha.end(), expandInput_.begin());
            const int count =
                ExpandToLevels(expansion_, expandedLevels_.data(), false, expandInput_.data(), ties_);
            FormatLevelHistoryLine(expandedLevels_.data(), count, line_);
            alphaHistory_.Write(line_);
            FormatCovarianceHistoryLine(population_.covariance, line_);
            covarianceHistory_.Write(line_);
        }

        IterationStatistics statistics;
        statistics.iteration = iteration_;
        statistics.jumpSize = jumpUsed;
        statistics.acceptanceRate = pass.acceptanceRate;
        statistics.pctCert = pctCert;
        statistics.rlh = rlh;
        statistics.averageVariance = pass.averageVariance;
        statistics.parameterRms = pass.parameterRms;
        console_.Draw(screen_.RefreshIteration(statistics, console_.Now(), startTime_, remainingIterations_));

        if (sampled) {
            if (usingDraws_) {
                for (int k = 0; k < p; ++k)
                    sums_.alphaSum[static_cast<size_t>(k)] += population_.alpha[static_cast<size_t>(k)];
                size_t next = 0;
                for (int i = 0; i < p; ++i)
                    for (int j = i; j < p; ++j) sums_.covarianceSum[next++] += population_.covariance(i, j);
                if (constraintCount_ > 0)
                    for (int k = 0; k < p; ++k)
                        sums_.constrainedBetaSum[static_cast<size_t>(k)] +=
                            pass.averageBetas[static_cast<size_t>(k)];
            }
            std::copy(pass.averageBetas.begin(), pass.averageBetas.end(), expandInput_.begin());
            const int count =
                ExpandToLevels(expansion_, expandedLevels_.data(), false, expandInput_.data(), ties_);
            if (constraintCount_ > 0) {
                FormatLevelHistoryLine(expandedLevels_.data(), count, line_);
                betaHistory_.Write(line_);
            }
            console_.Draw(screen_.RefreshPartWorths(expandedLevels_.data(), model_.levelCount,
                                                    pass.averageBetas.data(), p));
        }
        console_.ReportProgress(iteration_, totalIterations_, pctCert, rlh,
                                screen_.SessionIterations() >= 10 ? screen_.SecondsLeft() : -1);

        if (settings_.logSkip > 0 && iteration_ % settings_.logSkip == 0)
            WriteLogLine(log_.Get(), statistics);

        if (console_.EscapePressed() || console_.CloseRequested()) {
            stoppedByUser_ = true;
            return;
        }

        if (pass.acceptanceRate > kTargetAcceptance) jumpSize_ *= 1.1;
        if (pass.acceptanceRate < kTargetAcceptance) jumpSize_ *= 0.9;
        if (jumpSize_ < 0) jumpSize_ = 0.01;

        --remainingIterations_;
        ++iteration_;
    }
}

void EstimatorRun::Finish() {
    ShowStatus("Saving output files, please wait...");
    if (drawSink_) drawSink_->Flush();
    alphaHistory_.Close();
    betaHistory_.Close();
    covarianceHistory_.Close();

    if (screen_.SessionIterations() > 0) {
        const int completed = stoppedByUser_ ? iteration_ : iteration_ - 1;
        WriteRestartFile(studyName_, completed, jumpSize_, population_.alpha, population_.covariance, store_);
    }

    if (usingDraws_ && !stoppedByUser_) {
        auto showStatus = [this](const std::string& message) { ShowStatus(message); };
        DrawLayout layout;
        layout.respondentCount = respondentCount_;
        layout.parameterCount = parameterCount_;
        layout.drawsPerRespondent = settings_.drawsPerRespondent;
        layout.hasNone = model_.hasNone;
        if (settings_.saveDraws)
            SortDraws(drawScratch_, studyFolder_, studyName_, layout, expansion_, ties_, showStatus);
        EstimateInputs inputs;
        inputs.studyName = studyName_;
        inputs.layout = layout;
        inputs.saveDraws = settings_.saveDraws;
        inputs.accumulators = settings_.saveDraws ? nullptr : &drawScratch_;
        inputs.showStatus = showStatus;
        WritePointEstimates(model_, inputs);
        WriteCsv(model_, inputs);
        if (!settings_.saveDraws)
            WriteStandardDeviations(studyName_, drawScratch_, layout, model_.levelCount);
        WriteSummary(studyName_, sums_, settings_.drawsPerRespondent, expansion_);
    }

    std::remove((studyFolder_ + "tempb").c_str());

    const std::string sentence = ClosingSentence(screen_.SessionIterations(), console_.Now() - startTime_);
    ShowStatus(sentence + "  Press any key.");
    WriteLogClosing(log_.Get(), sentence);
    log_.Close();
    drawScratch_.Close();
    console_.WaitForKey();
}

int EstimatorRun::Run() {
    try {
        StartUp();
        if (iteration_ <= totalIterations_) Iterate();
        Finish();
        return 0;
    } catch (const ConsoleError& failure) {
        console_.WriteText(failure.what());
        return 1;
    } catch (const OmbrelError& error) {
        console_.Messages().Show(error.what(), MessageIcon::Exclamation);
        return 1;
    }
}

}  // namespace

int RunEstimator(EstimatorConsole& console, const std::string& namesFolder, uint64_t memoryBudget) {
    EstimatorRun run(console, namesFolder, memoryBudget);
    return run.Run();
}

}  // namespace ombrel
