#include "estimator/chain/RespondentPass.h"

#include <algorithm>
#include <cmath>

#include "common/OmbrelError.h"
#include "estimator/chain/MatrixAlgebra.h"

namespace ombrel {

namespace {

// Respondents per chunk: enough that the hand-over between threads costs little next to the
// updates (on the reference case 64 beat 16), few enough that a thousand respondents spread over
// the threads.
constexpr int kChunkSize = 64;

}  // namespace

// One chunk's random numbers and blocks, in one of the slots the chunks take turns in.
struct RespondentPass::Chunk {
    explicit Chunk(int chunkSize, int parameterCount)
        : normals(static_cast<size_t>(chunkSize) * static_cast<size_t>(parameterCount)),
          uniforms(static_cast<size_t>(chunkSize)),
          blocks(static_cast<size_t>(chunkSize)),
          firstTask(static_cast<size_t>(chunkSize)) {}

    std::atomic<int> finished{-1};     // the last chunk of the pass whose updates ended in this slot
    int first = 0;                     // the chunk's first respondent
    int count = 0;                     // its respondents drawn
    int readCount = 0;                 // its respondents read
    std::vector<NormalParts> normals;  // p per respondent
    std::vector<double> uniforms;
    std::vector<RespondentBlock> blocks;
    // The blocks of a source whose blocks last only until its next read, read into the chunk's own
    // storage, and where each respondent's tasks begin in it.
    BlockStorage storage;
    std::vector<size_t> firstTask;
};

// What the threads of one pass share besides the chunks.
struct RespondentPass::Context {
    PreparedDataSource* data = nullptr;
    RespondentStore* store = nullptr;
    RandomGenerator* random = nullptr;
    PassInputs inputs;
    int respondentCount = 0;
    int chunkCount = 0;
    bool copyBlocks = false;
    bool copyConstrained = false;
    bool separateReader = false;  // the reader thread reads the blocks
    NormalParts* drawAhead = nullptr;
    int64_t drawAheadCount = 0;
};

RespondentPass::RespondentPass(int parameterCount, int threads)
    : parameterCount_(parameterCount),
      chunkSize_(kChunkSize),
      context_(std::make_unique<Context>()),
      proposalInput_(parameterCount),
      proposalFactor_(parameterCount),
      logAlternatives_(kMaxAlternatives + 1) {
    threads = std::clamp(threads, 1, kMaxPassThreads);
    if (threads > 1) pool_ = std::make_unique<WorkerPool>(threads);
    updaters_.assign(static_cast<size_t>(threads), RespondentUpdater(parameterCount));
    // A single thread draws a chunk and updates it before it draws the next; more threads keep a few
    // chunks each drawn ahead.
    baseSlots_ = threads == 1 ? 1 : 4 * threads;
    for (int s = 0; s < baseSlots_; ++s)
        slots_.push_back(std::make_unique<Chunk>(chunkSize_, parameterCount));
    // ln(R) for every possible alternative count: the same values std::log gives, looked up.
    for (int r = 1; r <= kMaxAlternatives; ++r)
        logAlternatives_[static_cast<size_t>(r)] = std::log(static_cast<double>(r));
    statistics_.meanBetas.assign(static_cast<size_t>(parameterCount), 0.0);
    statistics_.averageBetas.assign(static_cast<size_t>(parameterCount), 0.0);
}

RespondentPass::~RespondentPass() = default;

void RespondentPass::UpdateRespondents(double jumpSize, bool storedLikelihoodsValid, bool recordDraws,
                                       const PopulationState& population, PreparedDataSource& data,
                                       RespondentStore& store, RandomGenerator& random,
                                       const ConstraintTies* ties, DrawSink* sink, NormalParts* drawAhead,
                                       int64_t drawAheadCount) {
    const int respondentCount = store.Count();
    Context& c = *context_;
    c.data = &data;
    c.store = &store;
    c.random = &random;
    c.inputs.population = &population;
    c.inputs.proposalFactor = &proposalFactor_;
    c.inputs.ties = ties;
    c.inputs.storedLikelihoodsValid = storedLikelihoodsValid;
    c.drawAhead = drawAhead;
    c.drawAheadCount = drawAhead != nullptr ? drawAheadCount : 0;
    BeginPass(jumpSize, population, data, respondentCount, ties != nullptr);
    RunChunks();

    double squaresSum = 0.0;
    int accepted = 0;
    const int end = firstFailure_.load();
    SumInOrder(end, recordDraws, sink, squaresSum, accepted);
    if (end < respondentCount) std::rethrow_exception(failure_);
    FinishPass(respondentCount, accepted, squaresSum);
}

void RespondentPass::BeginPass(double jumpSize, const PopulationState& population, PreparedDataSource& data,
                               int respondentCount, bool copyConstrained) {
    const int p = parameterCount_;
    PassStatistics& s = statistics_;
    s.acceptanceRate = 0.0;
    s.totalLogLikelihood = 0.0;
    s.nullLogLikelihood = 0.0;
    s.totalChoiceWeight = 0.0;

    double varianceSum = 0.0;
    for (int k = 0; k < p; ++k) varianceSum += population.covariance(k, k);
    s.averageVariance = varianceSum / p;

    for (int i = 0; i < p; ++i)
        for (int j = 0; j < p; ++j) proposalInput_(i, j) = jumpSize * population.covariance(i, j);
    CholeskyFactor(proposalInput_, proposalFactor_);

    std::fill(s.meanBetas.begin(), s.meanBetas.end(), 0.0);
    std::fill(s.averageBetas.begin(), s.averageBetas.end(), 0.0);
    data.Rewind();

    Context& c = *context_;
    c.respondentCount = respondentCount;
    c.chunkCount = (respondentCount + chunkSize_ - 1) / chunkSize_;
    c.copyBlocks = !data.BlocksOutliveNext();
    c.copyConstrained = copyConstrained;
    // Streamed blocks cost about as much to read as to update, so a thread of their own reads them,
    // a few chunks ahead: the pass's last thread, which updates once the reading is done, or beside
    // a single thread one more thread kept for it.
    c.separateReader = c.copyBlocks;
    activeSlots_ = c.separateReader ? std::max(baseSlots_, 8) : baseSlots_;
    while (static_cast<int>(slots_.size()) < activeSlots_)
        slots_.push_back(std::make_unique<Chunk>(chunkSize_, parameterCount_));
    if (c.separateReader && !pool_ && !reader_) reader_ = std::make_unique<BackgroundThread>();
    const size_t count = static_cast<size_t>(respondentCount);
    if (accepted_.size() != count) {
        accepted_.assign(count, 0);
        respondentWeights_.assign(count, 0.0);
    }
    if (copyConstrained) constrained_.resize(count * static_cast<size_t>(p));
    for (const std::unique_ptr<Chunk>& slot : slots_) slot->finished.store(-1);
    drawnChunks_.store(0);
    readChunks_.store(0);
    drawingEnded_.store(false);
    readingEnded_.store(false);
    nextChunk_.store(0);
    firstFailure_.store(respondentCount);
    failure_ = nullptr;
}

void RespondentPass::RunChunks() {
    if (!pool_) {
        auto read = [this] { ReadChunks(); };
        if (context_->separateReader) reader_->Start(read);
        Work(0);
        if (context_->separateReader) reader_->Wait();
    } else {
        auto job = [this](int worker) { Work(worker); };
        pool_->Run(job);
    }
}

void RespondentPass::Announce() {
    progress_.fetch_add(1, std::memory_order_release);
    progress_.notify_all();
}

void RespondentPass::Work(int worker) {
    if (worker == 0) DrawChunks();
    if (context_->separateReader && pool_ && worker == pool_->Threads() - 1) ReadChunks();
    for (;;) {
        const unsigned seen = progress_.load(std::memory_order_acquire);
        const bool ended =
            drawingEnded_.load(std::memory_order_acquire) && readingEnded_.load(std::memory_order_acquire);
        const int chunk = TryClaim();
        if (chunk >= 0) {
            UpdateChunk(chunk, worker);
            continue;
        }
        if (ended) return;
        SpinThenWait(progress_, seen);
    }
}

int RespondentPass::TryClaim() {
    const int limit =
        std::min(drawnChunks_.load(std::memory_order_acquire), readChunks_.load(std::memory_order_acquire));
    int chunk = nextChunk_.load(std::memory_order_relaxed);
    while (chunk < limit) {
        if (nextChunk_.compare_exchange_weak(chunk, chunk + 1, std::memory_order_acq_rel)) return chunk;
    }
    return -1;
}

void RespondentPass::DrawChunks() {
    const Context& c = *context_;
    for (int chunk = 0; chunk < c.chunkCount; ++chunk) {
        WaitForSlot(chunk, true);
        // Nothing after a failure counts; but a reader of its own may meet a failure in this chunk or
        // a later one before this chunk is drawn, and the respondents before it still count.
        if (firstFailure_.load() < chunk * chunkSize_) break;
        DrawChunk(chunk);
        if (!c.separateReader) {
            ReadChunk(chunk);
            readChunks_.store(chunk + 1, std::memory_order_release);
        }
        drawnChunks_.store(chunk + 1, std::memory_order_release);
        Announce();
    }
    if (firstFailure_.load() == c.respondentCount) c.random->DrawNormalParts(c.drawAhead, c.drawAheadCount);
    if (!c.separateReader) readingEnded_.store(true, std::memory_order_release);
    drawingEnded_.store(true, std::memory_order_release);
    Announce();
}

void RespondentPass::ReadChunks() {
    const Context& c = *context_;
    for (int chunk = 0; chunk < c.chunkCount; ++chunk) {
        WaitForSlot(chunk, false);
        if (firstFailure_.load() < c.respondentCount) break;
        ReadChunk(chunk);
        readChunks_.store(chunk + 1, std::memory_order_release);
        Announce();
    }
    readingEnded_.store(true, std::memory_order_release);
    Announce();
}

// The chunk's slot is free once the chunk that last used it is updated; until then the drawing
// thread updates chunks itself, and waits only while every ready chunk is in another thread's hands.
// The reader only waits.
void RespondentPass::WaitForSlot(int chunk, bool help) {
    if (chunk < activeSlots_) return;
    const Chunk& slot = SlotOf(chunk);
    for (;;) {
        const unsigned seen = progress_.load(std::memory_order_acquire);
        if (slot.finished.load(std::memory_order_acquire) == chunk - activeSlots_) return;
        // Past a failure no slot may come free: nothing after it is updated.
        if (!help && firstFailure_.load() < context_->respondentCount) return;
        const int claimed = help ? TryClaim() : -1;
        if (claimed >= 0) {
            UpdateChunk(claimed, 0);
            continue;
        }
        SpinThenWait(progress_, seen);
    }
}

// Draws the chunk's respondents' random numbers; a failure of the reading ends the drawing at the
// next chunk.
void RespondentPass::DrawChunk(int chunk) {
    const Context& c = *context_;
    Chunk& slot = SlotOf(chunk);
    slot.first = chunk * chunkSize_;
    slot.count = std::min(chunkSize_, c.respondentCount - slot.first);
    for (int i = 0; i < slot.count; ++i) DrawRespondent(slot, i);
}

// The single-threaded pass's order for one respondent: its p normals, then its accept uniform (its
// block is read in between, which draws nothing).
void RespondentPass::DrawRespondent(Chunk& slot, int index) {
    const Context& c = *context_;
    const int p = parameterCount_;
    c.random->DrawNormalParts(slot.normals.data() + static_cast<size_t>(index) * static_cast<size_t>(p), p);
    slot.uniforms[static_cast<size_t>(index)] = c.random->DrawUniform();
}

// Reads the chunk's blocks; a failure ends the chunk at the failing respondent and stops the reading
// (the chunk is still handed over, so that the respondents before it are updated).
void RespondentPass::ReadChunk(int chunk) {
    const Context& c = *context_;
    Chunk& slot = SlotOf(chunk);
    const int first = chunk * chunkSize_;
    slot.storage.Clear();
    const int count = std::min(chunkSize_, c.respondentCount - first);
    int read = 0;
    for (; read < count; ++read) {
        try {
            ReadRespondent(first + read, slot, read);
        } catch (...) {
            RecordFailure(first + read, std::current_exception());
            break;
        }
    }
    slot.readCount = read;
    if (!c.copyBlocks) return;
    // The chunk's storage is complete, so the views can point into it now.
    const TaskBlock* tasks = slot.storage.Seal();
    for (int i = 0; i < read; ++i)
        slot.blocks[static_cast<size_t>(i)].tasks = tasks + slot.firstTask[static_cast<size_t>(i)];
}

void RespondentPass::ReadRespondent(int n, Chunk& slot, int index) {
    const Context& c = *context_;
    RespondentBlock& block = slot.blocks[static_cast<size_t>(index)];
    const RecordOutcome outcome =
        c.copyBlocks ? c.data->NextInto(block, slot.storage, slot.firstTask[static_cast<size_t>(index)])
                     : c.data->Next(block);
    if (outcome != RecordOutcome::Read) throw OmbrelError(kPrematureEndMessage);
    c.store->Number(n) = block.number;
    respondentWeights_[static_cast<size_t>(n)] = AddTaskWeights(block);
}

void RespondentPass::UpdateChunk(int chunk, int worker) {
    const Context& c = *context_;
    const size_t p = static_cast<size_t>(parameterCount_);
    Chunk& slot = SlotOf(chunk);
    RespondentUpdater& updater = updaters_[static_cast<size_t>(worker)];
    const int count = std::min(slot.count, slot.readCount);
    for (int i = 0; i < count; i += RespondentUpdater::kGroupSize) {
        const int n = slot.first + i;
        if (firstFailure_.load(std::memory_order_relaxed) < n) break;  // nothing after a failure counts
        const size_t index = static_cast<size_t>(i);
        GroupWork work;
        work.first = n;
        work.count = std::min(RespondentUpdater::kGroupSize, count - i);
        work.blocks = slot.blocks.data() + index;
        work.normals = slot.normals.data() + index * p;
        work.uniforms = slot.uniforms.data() + index;
        work.constrained = c.copyConstrained ? constrained_.data() + static_cast<size_t>(n) * p : nullptr;
        work.accepted = accepted_.data() + n;
        std::exception_ptr failure;
        const int updated = updater.UpdateGroup(work, c.inputs, *c.store, failure);
        if (updated < work.count) {
            RecordFailure(n + updated, failure);
            break;
        }
    }
    slot.finished.store(chunk, std::memory_order_release);
    Announce();
}

void RespondentPass::RecordFailure(int respondent, std::exception_ptr failure) {
    std::lock_guard<std::mutex> lock(failureMutex_);
    if (respondent >= firstFailure_.load()) return;
    failure_ = std::move(failure);
    firstFailure_.store(respondent);
}

double RespondentPass::AddTaskWeights(const RespondentBlock& block) {
    const int p = parameterCount_;
    PassStatistics& s = statistics_;
    double respondentWeight = 0.0;
    for (int t = 0; t < block.taskCount; ++t) {
        const TaskBlock& task = block.tasks[t];
        if (task.variableCount != p)
            throw OmbrelError(VariableCountMessage(block.number, p, task.variableCount));
        if (task.chosenRow < 0) continue;
        s.nullLogLikelihood -= logAlternatives_[static_cast<size_t>(task.alternativeCount)] * task.weight;
        s.totalChoiceWeight += task.weight;
        respondentWeight += task.weight;
    }
    return respondentWeight;
}

void RespondentPass::SumInOrder(int end, bool recordDraws, DrawSink* sink, double& squaresSum,
                                int& accepted) {
    const Context& c = *context_;
    const RespondentStore& store = *c.store;
    const int p = parameterCount_;
    PassStatistics& s = statistics_;
    for (int n = 0; n < end; ++n) {
        if (accepted_[static_cast<size_t>(n)] != 0) ++accepted;
        const double logLikelihood = store.LogLikelihood(n);
        const double* current = store.Betas(n);
        // Without ties the tied copy of the betas is the betas themselves.
        const double* constrained =
            c.copyConstrained ? constrained_.data() + static_cast<size_t>(n) * static_cast<size_t>(p)
                              : current;
        s.totalLogLikelihood += logLikelihood;
        for (int k = 0; k < p; ++k) {
            const double value = current[k];
            s.meanBetas[static_cast<size_t>(k)] += value;
            s.averageBetas[static_cast<size_t>(k)] += constrained[k];
            squaresSum += value * value;
        }
        if (recordDraws && sink != nullptr) {
            // A respondent without tasks has no choice weight.
            const double weight = respondentWeights_[static_cast<size_t>(n)];
            const double respondentRlh = weight > 0.0 ? std::exp(logLikelihood / weight) : 0.0;
            sink->RecordDraw(n, store.Number(n), respondentRlh, current, constrained);
        }
    }
}

void RespondentPass::FinishPass(int respondentCount, int accepted, double squaresSum) {
    PassStatistics& s = statistics_;
    const int p = parameterCount_;
    if (respondentCount != 0) {
        for (int k = 0; k < p; ++k) {
            s.meanBetas[static_cast<size_t>(k)] /= respondentCount;
            s.averageBetas[static_cast<size_t>(k)] /= respondentCount;
        }
        s.parameterRms = squaresSum / respondentCount / p;
        if (s.parameterRms > 0.0) s.parameterRms = std::sqrt(s.parameterRms);
        s.acceptanceRate = static_cast<double>(accepted) / respondentCount;
    }
}

}  // namespace ombrel
