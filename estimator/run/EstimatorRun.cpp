#include "estimator/run/EstimatorRun.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "common/OmbrelError.h"
#include "common/RunLock.h"
#include "estimator/chain/Chain.h"
#include "estimator/files/DrawFiles.h"
#include "estimator/files/PointEstimates.h"
#include "estimator/files/RestartFile.h"
#include "estimator/files/RunLog.h"
#include "estimator/files/Summary.h"
#include "estimator/run/HistoryFiles.h"
#include "estimator/run/LevelBuffer.h"
#include "estimator/run/RunStudy.h"

namespace ombrel {

namespace {

// One estimator process: the start-up sequence, then the loop that wires the chain to its sinks.
class EstimatorRun {
public:
    EstimatorRun(const RunServices& services, const RunOptions& options)
        : services_(services),
          options_(options),
          results_(options.results != nullptr ? *options.results : own_) {}

    int Run();

private:
    void StartUp();
    void OpenOutputs();
    void StartChain(ChainStart& start);
    void Iterate();
    void RecordIteration(const ChainStep& step, bool sampled);
    void Finish();
    void RecordResults(const std::string& sentence);

    RunServices services_;
    RunOptions options_;
    RunResults own_;  // the results nobody asked for
    RunResults& results_;

    RunStudy study_;
    std::unique_ptr<Chain> chain_;
    RunSummary run_;  // the counts of the run, fixed at start-up
    int sessionIterations_ = 0;
    bool usingDraws_ = false;
    bool stoppedByUser_ = false;
    long long startTime_ = 0;

    StudyRunLock runLock_;  // released last, once every output is closed
    RunLog log_;
    HistoryFiles histories_;
    DrawScratchFile drawScratch_;
    std::unique_ptr<DrawSink> drawSink_;
    SummarySums sums_;
    LevelBuffer levels_;
};

void EstimatorRun::StartUp() {
    ProgressSink& progress = services_.progress;
    progress.RunStarting();
    LoadRunSettings(options_.namesFolder, services_.messages, study_);
    progress.StudyOpened(study_.Files().BaseName());
    LoadRunModel(services_.messages, study_);
    OpenRunData(options_.memoryBudget, study_);
    ChainStart start = LoadChainStart(study_);
    run_ = SummarizeRun(study_, start.state);
    progress.RunCounted(run_);
    OpenOutputs();
    StartChain(start);
    progress.IterationsStarting(study_.model.levelCount);
    startTime_ = services_.clock.Now();
}

void EstimatorRun::OpenOutputs() {
    const StudyFiles& files = study_.Files();
    runLock_.Acquire(files.RunLock());
    if (!log_.Open(files.Log())) throw OmbrelError(OpenFailureMessage("<studyname>.log"));
    log_.WriteHeader(run_, services_.clock.LocalTime());
    CreateDrawScratchFile(files.Folder(), study_.settings.saveDraws, drawScratch_);
    histories_.Open(files, run_.previousIterations != 0, study_.constraintCount > 0);
}

void EstimatorRun::StartChain(ChainStart& start) {
    const SquareMatrix prior = BuildRunPrior(study_, start);
    ChainOptions options;
    options.priorDegreesOfFreedom = study_.settings.priorDegreesOfFreedom;
    options.ties = study_.ties;
    options.seed = study_.settings.randomSeed != 0 ? static_cast<uint32_t>(study_.settings.randomSeed)
                                                   : static_cast<uint32_t>(services_.clock.Now());
    options.overdispersedStart = options_.overdispersedStart;
    options.threads = options_.threads;
    results_.seed = options.seed;
    chain_ = std::make_unique<Chain>(std::move(start.state), start.resumed, prior, options);

    const int p = run_.parameterCount;
    if (study_.settings.saveDraws)
        drawSink_ = std::make_unique<SavedDrawWriter>(drawScratch_, p);
    else
        drawSink_ = std::make_unique<DrawAccumulator>(drawScratch_, study_.expansion, study_.ties);
    sums_.alphaSum.assign(static_cast<size_t>(p), 0.0);
    if (study_.constraintCount > 0) sums_.constrainedBetaSum.assign(static_cast<size_t>(p), 0.0);
    sums_.covarianceSum.assign(static_cast<size_t>(p) * static_cast<size_t>(p + 1) / 2, 0.0);
    levels_.Resize(p, study_.model.levelCount);
}

void EstimatorRun::Iterate() {
    const StudySettings& settings = study_.settings;
    while (chain_->CompletedIterations() < run_.totalIterations) {
        const int iteration = chain_->CompletedIterations() + 1;
        if (!usingDraws_ && iteration > run_.previousIterations + settings.preliminaryIterations) {
            usingDraws_ = true;
            services_.progress.DrawsStarting(settings.saveDraws);
        }
        const bool sampled = settings.drawSkip > 0 && iteration % settings.drawSkip == 0;
        const ChainStep step = chain_->Step(*study_.data, usingDraws_ && sampled ? drawSink_.get() : nullptr);
        ++sessionIterations_;
        RecordIteration(step, sampled);
        if (settings.logSkip > 0 && iteration % settings.logSkip == 0) log_.WriteLine(step.statistics);
        if (services_.stop.StopRequested()) {
            stoppedByUser_ = true;
            return;
        }
    }
}

void EstimatorRun::RecordIteration(const ChainStep& step, bool sampled) {
    const PopulationState& population = chain_->Population();
    IterationProgress progress;
    progress.statistics = step.statistics;
    progress.totalIterations = run_.totalIterations;
    if (sampled) {
        int count = 0;
        const double* expandedAlpha =
            levels_.Expand(study_.expansion, population.alpha.data(), study_.ties, count);
        histories_.WriteAlpha(expandedAlpha, count);
        histories_.WriteCovariance(population.covariance);
        if (usingDraws_) AddToSums(sums_, population.alpha, population.covariance, step.averageBetas);
        progress.expandedLevels =
            levels_.Expand(study_.expansion, step.averageBetas.data(), study_.ties, count);
        if (study_.constraintCount > 0) histories_.WriteConstrainedBetas(progress.expandedLevels, count);
        progress.levelCount = study_.model.levelCount;
        progress.averageBetas = step.averageBetas.data();
        progress.parameterCount = run_.parameterCount;
    }
    services_.progress.IterationDone(progress);
}

void EstimatorRun::Finish() {
    services_.progress.OutputStep(OutputPhase::SavingOutputFiles, 0, 0);
    if (drawSink_) drawSink_->Flush();
    histories_.Close();
    if (sessionIterations_ > 0)
        WriteRestartFile(study_.Files().Restart(),
                         chain_->State(stoppedByUser_ ? ChainEnd::Stopped : ChainEnd::Completed));
    if (usingDraws_ && !stoppedByUser_) {
        ProgressSink& sink = services_.progress;
        WriteRunResults(
            study_, run_.respondentCount, run_.parameterCount, sums_, drawScratch_,
            [&sink](OutputPhase phase, int step, int total) { sink.OutputStep(phase, step, total); });
    }
    std::remove(study_.Files().DrawSortScratch().c_str());

    const std::string sentence = ClosingSentence(sessionIterations_, services_.clock.Now() - startTime_);
    RecordResults(sentence);
    services_.progress.RunFinished(sentence);
    log_.WriteClosing(sentence);
    log_.Close();
    drawScratch_.Close();
    runLock_.Release();
    services_.progress.HoldFinalScreen();
}

void EstimatorRun::RecordResults(const std::string& sentence) {
    results_.end = !usingDraws_ || stoppedByUser_ ? RunEnd::Stopped : RunEnd::Completed;
    results_.respondentCount = run_.respondentCount;
    results_.parameterCount = run_.parameterCount;
    results_.levelCount = study_.model.levelCount;
    results_.drawsPerRespondent = study_.settings.drawsPerRespondent;
    results_.saveDraws = study_.settings.saveDraws;
    results_.hasNone = study_.model.hasNone;
    results_.sums = sums_;
    results_.closingSentence = sentence;
}

int EstimatorRun::Run() {
    try {
        StartUp();
        Iterate();
        Finish();
        return 0;
    } catch (const ConsoleError& failure) {
        results_.end = RunEnd::Failed;
        services_.progress.ConsoleFailure(failure.what());
        return 1;
    } catch (const OmbrelError& error) {
        results_.end = RunEnd::Failed;
        services_.messages.Show(error.what(), MessageIcon::Exclamation);
        return 1;
    } catch (const SettingsRefused&) {
        results_.end = RunEnd::Failed;
        return 1;
    }
}

}  // namespace

int DefaultRunThreads() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

int RunEstimator(const RunServices& services, const std::string& namesFolder, uint64_t memoryBudget) {
    RunOptions options;
    options.namesFolder = namesFolder;
    options.memoryBudget = memoryBudget;
    return RunEstimator(services, options);
}

int RunEstimator(const RunServices& services, const RunOptions& options) {
    if (options.results != nullptr) *options.results = RunResults();
    EstimatorRun run(services, options);
    return run.Run();
}

}  // namespace ombrel
