#include "estimator/run/EstimatorRun.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "common/AtomicFile.h"
#include "common/OmbrelError.h"
#include "common/RunLock.h"
#include "common/TextConversion.h"
#include "estimator/chain/Chain.h"
#include "estimator/files/DrawFiles.h"
#include "estimator/files/PointEstimates.h"
#include "estimator/files/RestartFile.h"
#include "estimator/files/ResumeFile.h"
#include "estimator/files/RunLog.h"
#include "estimator/files/Summary.h"
#include "estimator/run/HistoryFiles.h"
#include "estimator/run/LevelBuffer.h"
#include "estimator/run/RunStudy.h"

namespace ombrel {

namespace {

// A finished run's restart file holds the adapted jump size, a stop's or a checkpoint's the one the
// last iteration used.
ChainEnd RestartEnd(ResumeKind kind) {
    return kind == ResumeKind::Finished ? ChainEnd::Completed : ChainEnd::Stopped;
}

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
    // A restart file with its own resume file: the exact state it was taken from.
    void TryExactResume(ChainStart& start);
    bool BringRestartFileUpToDate(const ResumeRecord& record);
    ResumeExpectation ExpectedResume(uint64_t restartCheck, const ChainState& state) const;
    void OpenOutputs();
    void OpenDrawScratch();
    void StartChain(ChainStart& start);
    void Iterate();
    bool CheckpointDue();
    void WriteCheckpoint();
    // Writes the restart file and its resume file (kind Stop or Checkpoint) of the chain as it is.
    ResumeRecord CaptureResume(ResumeKind kind);
    void PrepareResume(AtomicFile& file, ResumeRecord& record, uint64_t restartCheck);
    void WriteRestartState(ResumeKind kind);
    void WriteEndState(ResumeKind kind);
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
    // The iteration count the schedule's preliminary iterations follow: the session's start, or that
    // of the interrupted session an exact resume goes on with.
    int scheduleStart_ = 0;
    std::optional<ResumeRecord> resume_;  // what an exact resume goes on from, until it has started
    std::string resumeNote_;              // why a resume file was not used, for the log
    bool resumedExactly_ = false;
    uint64_t lastRestartCheck_ = 0;  // of the restart file on disk, which the next one replaces
    double lastCheckpoint_ = 0.0;

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
    if (start.resumed) TryExactResume(start);
    run_ = SummarizeRun(study_, start.state);
    scheduleStart_ = run_.previousIterations;
    if (resume_) {
        scheduleStart_ = resume_->scheduleStart;
        run_.totalIterations = resume_->totalIterations;
    }
    progress.RunCounted(run_);
    OpenOutputs();
    StartChain(start);
    progress.IterationsStarting(study_.model.levelCount);
    if (usingDraws_) progress.DrawsStarting(study_.settings.saveDraws);
    startTime_ = services_.clock.Now();
    lastCheckpoint_ = services_.clock.SteadySeconds();
}

ResumeExpectation EstimatorRun::ExpectedResume(uint64_t restartCheck, const ChainState& state) const {
    const StudySettings& settings = study_.settings;
    std::error_code error;
    const uintmax_t prepared = std::filesystem::file_size(study_.Files().PreparedData(), error);
    ResumeExpectation expected;
    expected.restartCheck = restartCheck;
    expected.settingsCheck =
        ResumeSettingsCheck(settings.dataFileName + "\n" + settings.SettingsText(), error ? 0 : prepared);
    expected.respondentCount = state.RespondentCount();
    expected.parameterCount = state.ParameterCount();
    expected.levelCount = study_.model.levelCount;
    expected.constrained = study_.constraintCount > 0;
    expected.saveDraws = settings.saveDraws;
    expected.completedIterations = state.completedIterations;
    return expected;
}

// The restart file that belongs to record, as the interrupted checkpoint would have renamed it.
bool EstimatorRun::BringRestartFileUpToDate(const ResumeRecord& record) {
    ChainState state = record.chain.state;
    if (RestartEnd(record.kind) == ChainEnd::Stopped) state.jumpSize = record.chain.lastJumpUsed;
    try {
        return WriteRestartFile(study_.Files().Restart(), state) == record.restartCheck;
    } catch (const OmbrelError&) {
        return false;
    }
}

void EstimatorRun::TryExactResume(ChainStart& start) {
    const StudyFiles& files = study_.Files();
    const std::optional<uint64_t> restartCheck = FileCheck(files.Restart());
    if (!restartCheck) return;
    lastRestartCheck_ = *restartCheck;
    std::string reason;
    std::optional<ResumeRecord> record =
        LoadResumeFile(files.Resume(), ExpectedResume(*restartCheck, start.state), reason);
    if (record && !CutHistories(files, record->alphaHistoryLength, record->betaHistoryLength,
                                record->covarianceHistoryLength, record->constrained)) {
        record.reset();
        reason = "the histories are shorter than it says";
    }
    if (record && record->restartPending && !BringRestartFileUpToDate(*record)) {
        record.reset();
        reason = "its restart file could not be written anew";
    }
    if (!reason.empty()) resumeNote_ = Format("The resume file is not used (%s).", reason.c_str());
    if (!record) return;
    lastRestartCheck_ = record->restartCheck;
    start.state = record->chain.state;
    resume_ = std::move(record);
    resumedExactly_ = true;
}

void EstimatorRun::OpenOutputs() {
    const StudyFiles& files = study_.Files();
    // Holding the lock, no other run writes the study: checkpoints a killed run left half-written go.
    if (runLock_.Acquire(files.RunLock())) {
        RemoveStaleTemporaryFiles(files.Restart());
        RemoveStaleTemporaryFiles(files.Resume());
    }
    if (!log_.Open(files.Log())) throw OmbrelError(OpenFailureMessage("<studyname>.log"));
    log_.WriteHeader(run_, services_.clock.LocalTime());
    if (!resumeNote_.empty()) log_.WriteNote(resumeNote_);
    if (resume_) {
        const int completed = resume_->chain.state.completedIterations;
        log_.WriteNote(
            resume_->kind == ResumeKind::Stop
                ? Format("The run resumes exactly where it stopped, after iteration %d.", completed)
                : Format("The run resumes from its checkpoint after iteration %d.", completed));
    }
    OpenDrawScratch();
    histories_.Open(files, run_.previousIterations != 0, study_.constraintCount > 0);
}

void EstimatorRun::OpenDrawScratch() {
    const StudyFiles& files = study_.Files();
    if (resume_ && resume_->usingDraws) {
        ReopenDrawScratchFile(files.Folder(), study_.settings.saveDraws,
                              static_cast<uint64_t>(resume_->drawScratchLength), resume_->accumulatorBytes,
                              drawScratch_);
        return;
    }
    CreateDrawScratchFile(files.Folder(), study_.settings.saveDraws, drawScratch_);
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
    if (resume_) chain_->Restore(resume_->chain);

    const int p = run_.parameterCount;
    if (study_.settings.saveDraws)
        drawSink_ = std::make_unique<SavedDrawWriter>(drawScratch_, p);
    else
        drawSink_ = std::make_unique<DrawAccumulator>(drawScratch_, study_.expansion, study_.ties);
    sums_.alphaSum.assign(static_cast<size_t>(p), 0.0);
    if (study_.constraintCount > 0) sums_.constrainedBetaSum.assign(static_cast<size_t>(p), 0.0);
    sums_.covarianceSum.assign(static_cast<size_t>(p) * static_cast<size_t>(p + 1) / 2, 0.0);
    levels_.Resize(p, study_.model.levelCount);
    if (resume_) {
        sums_ = std::move(resume_->sums);
        usingDraws_ = resume_->usingDraws;
        if (auto* accumulator = dynamic_cast<DrawAccumulator*>(drawSink_.get()))
            accumulator->ResumeWith(resume_->accumulatorRecords);
        resume_.reset();  // its storage is the chain's now
    }
}

void EstimatorRun::Iterate() {
    const StudySettings& settings = study_.settings;
    while (chain_->CompletedIterations() < run_.totalIterations) {
        const int iteration = chain_->CompletedIterations() + 1;
        if (!usingDraws_ && iteration > scheduleStart_ + settings.preliminaryIterations) {
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
        if (CheckpointDue()) WriteCheckpoint();
    }
}

bool EstimatorRun::CheckpointDue() {
    if (options_.checkpointSeconds <= 0.0 || chain_->CompletedIterations() >= run_.totalIterations)
        return false;
    const double now = services_.clock.SteadySeconds();
    if (now - lastCheckpoint_ < options_.checkpointSeconds) return false;
    lastCheckpoint_ = now;
    return true;
}

// Between two iterations: a failed checkpoint leaves the previous one whole (both files are renamed
// into place only when complete) and the run goes on.
void EstimatorRun::WriteCheckpoint() {
    try {
        WriteRestartState(ResumeKind::Checkpoint);
    } catch (const std::exception& failure) {
        const std::string text =
            Format("The checkpoint after iteration %d could not be written, so the previous one is kept: %s",
                   chain_->CompletedIterations(), failure.what());
        log_.WriteNote(text);
        services_.progress.CheckpointFailed(text);
    }
}

// Everything of the resume file but its tie to the restart file. Throws OmbrelError when the draw
// or history files cannot be flushed or read back.
ResumeRecord EstimatorRun::CaptureResume(ResumeKind kind) {
    ResumeRecord record;
    record.kind = kind;
    if (drawSink_) drawSink_->Flush();
    if (!drawScratch_.Flush() || !histories_.Lengths(record.alphaHistoryLength, record.betaHistoryLength,
                                                     record.covarianceHistoryLength))
        throw OmbrelError("The draw and history files could not be flushed.");
    record.drawScratchLength = static_cast<int64_t>(drawScratch_.Size());
    if (auto* accumulator = dynamic_cast<DrawAccumulator*>(drawSink_.get())) {
        record.accumulatorRecords = accumulator->RecordsWritten();
        record.accumulatorBytes.resize(static_cast<size_t>(record.drawScratchLength));
        if (!drawScratch_.Rewind() ||
            drawScratch_.Read(record.accumulatorBytes.data(), record.accumulatorBytes.size()) !=
                record.accumulatorBytes.size())
            throw OmbrelError(Format("%s could not be read.", drawScratch_.Path().c_str()));
    }
    record.chain = chain_->Snapshot();
    record.levelCount = study_.model.levelCount;
    record.constrained = study_.constraintCount > 0;
    record.saveDraws = study_.settings.saveDraws;
    record.scheduleStart = scheduleStart_;
    record.totalIterations = run_.totalIterations;
    record.usingDraws = usingDraws_;
    record.sums = sums_;
    return record;
}

void EstimatorRun::PrepareResume(AtomicFile& file, ResumeRecord& record, uint64_t restartCheck) {
    record.restartCheck = restartCheck;
    record.previousRestartCheck = lastRestartCheck_;
    record.settingsCheck = ExpectedResume(restartCheck, record.chain.state).settingsCheck;
    PrepareResumeFile(file, study_.Files().Resume(), record);
}

// Both files are complete before either is renamed, so a full disk leaves the previous pair whole.
// The resume file goes first: a crash before its restart file follows leaves it beside the restart
// file it names as the previous one, and the next start writes the restart file anew from it.
void EstimatorRun::WriteRestartState(ResumeKind kind) {
    const StudyFiles& files = study_.Files();
    ResumeRecord record = CaptureResume(kind);
    AtomicFile restart;
    AtomicFile resume;
    const uint64_t restartCheck =
        PrepareRestartFile(restart, files.Restart(), chain_->State(RestartEnd(kind)));
    PrepareResume(resume, record, restartCheck);
    if (!resume.Commit())
        throw OmbrelError(Format("The resume file %s could not be written.", files.Resume().c_str()));
    if (!restart.Commit()) throw OmbrelError(Format("%s could not be written.", files.Restart().c_str()));
    lastRestartCheck_ = restartCheck;
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
    // The resume file records the histories' lengths, so they close after it.
    const bool finished = (sessionIterations_ > 0 || resumedExactly_) && !stoppedByUser_;
    if (sessionIterations_ > 0 && stoppedByUser_) WriteEndState(ResumeKind::Stop);
    if (finished) WriteEndState(ResumeKind::Finished);
    histories_.Close();
    if (usingDraws_ && !stoppedByUser_) {
        ProgressSink& sink = services_.progress;
        WriteRunResults(
            study_, run_.respondentCount, run_.parameterCount, sums_, drawScratch_,
            [&sink](OutputPhase phase, int step, int total) { sink.OutputStep(phase, step, total); });
    }
    // Once the results are written the run is over: a resume from the restart file alone is a new
    // session of the chain.
    if (finished) std::remove(study_.Files().Resume().c_str());
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

// The restart file as it always was, with its failures; the resume file is a bonus: when it cannot
// be written the next run resumes from the restart file alone, as from any other.
// The restart file at the end of a session (a stop's or a finished run's), with its own failures as
// it always had them. The resume file beside it is a bonus (a finished run's lets a run killed while
// it writes the results write them after all): when it cannot be written, the next run resumes from
// the restart file alone.
void EstimatorRun::WriteEndState(ResumeKind kind) {
    try {
        WriteRestartState(kind);
        return;
    } catch (const ConsoleError&) {
        throw;
    } catch (const OmbrelError& failure) {
        log_.WriteNote(
            Format("The resume file could not be written (%s); the next run resumes from the "
                   "restart file alone.",
                   failure.what()));
    }
    std::remove(study_.Files().Resume().c_str());
    WriteRestartFile(study_.Files().Restart(), chain_->State(RestartEnd(kind)));
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

double SteadyClockSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

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
