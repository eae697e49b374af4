#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "estimator/chain/Matrix.h"
#include "estimator/chain/PopulationDraws.h"
#include "estimator/chain/RandomGenerator.h"
#include "estimator/chain/RespondentStore.h"
#include "estimator/chain/RespondentUpdate.h"
#include "estimator/chain/WorkerPool.h"
#include "estimator/files/PreparedDataSource.h"

namespace ombrel {

// The largest thread count a pass accepts (the command lines refuse more).
inline constexpr int kMaxPassThreads = 1024;

// One Metropolis-Hastings step for every respondent, on a fixed number of threads with the same
// results for any number. One thread (the caller) draws every respondent's random numbers in the
// order of the single-threaded pass (p normals, then the accept uniform, respondent by respondent)
// and fetches the blocks, chunk by chunk, while the other threads update the respondents of the
// chunks already drawn; it joins them once it is done. Blocks streamed from the file are read into
// the chunks' storage by a thread of their own: the last of several, which joins the others once the
// reading is done, or one beside a single thread. The pass sums are then taken in
// one sweep in respondent order, as one thread would take them. Holds all working storage of the pass.
class RespondentPass {
public:
    // threads below 1 count as 1, which starts no thread at all.
    RespondentPass(int parameterCount, int threads);
    ~RespondentPass();
    RespondentPass(const RespondentPass&) = delete;
    RespondentPass& operator=(const RespondentPass&) = delete;

    // Runs the pass. storedLikelihoodsValid says whether the store's log-likelihoods belong to its betas.
    // When recordDraws, every respondent's draw goes to sink, in respondent order, from the calling
    // thread. Throws OmbrelError on a block whose variable count differs from the parameter count, or
    // when the prepared data ends before the store does: the failure of the first failing respondent
    // in data order, after the sink got the draws of the respondents before it, as a single thread
    // would. After a throw the store's records from the failing respondent on are unspecified.
    // drawAhead: when given, drawAheadCount deviates' parts that follow the pass's own in the
    // generator's order are drawn into it once the pass's are drawn, while the respondents are still
    // being updated (not after a failure).
    void UpdateRespondents(double jumpSize, bool storedLikelihoodsValid, bool recordDraws,
                           const PopulationState& population, PreparedDataSource& data,
                           RespondentStore& store, RandomGenerator& random, const ConstraintTies* ties,
                           DrawSink* sink, NormalParts* drawAhead = nullptr, int64_t drawAheadCount = 0);

    const PassStatistics& Statistics() const { return statistics_; }
    int Threads() const { return pool_ ? pool_->Threads() : 1; }
    // The pass's threads, for other work between passes; null for a single thread.
    WorkerPool* Pool() { return pool_.get(); }

private:
    struct Chunk;
    struct Context;

    void BeginPass(double jumpSize, const PopulationState& population, PreparedDataSource& data,
                   int respondentCount, bool copyConstrained);
    void RunChunks();
    void Work(int worker);
    // The drawing thread's part: every chunk in order, helping with updates while a chunk's storage
    // is still in use.
    void DrawChunks();
    void DrawChunk(int chunk);
    void DrawRespondent(Chunk& slot, int index);
    // The reading part of a chunk, on the drawing thread or on the reader of a streamed source.
    void ReadChunks();
    void ReadChunk(int chunk);
    void ReadRespondent(int n, Chunk& slot, int index);
    // Waits until the chunk's slot is free; helps with updates meanwhile when help is true.
    void WaitForSlot(int chunk, bool help);
    Chunk& SlotOf(int chunk) { return *slots_[static_cast<size_t>(chunk % activeSlots_)]; }
    // Tells every waiting thread that the pass moved on.
    void Announce();
    // Claims the next drawn chunk; -1 when none is waiting.
    int TryClaim();
    void UpdateChunk(int chunk, int worker);
    void RecordFailure(int respondent, std::exception_ptr failure);
    // Adds the used tasks to the null log-likelihood and the choice weight; returns the respondent's
    // weight. Throws on a task of another variable count.
    double AddTaskWeights(const RespondentBlock& block);
    // The sums of the respondents before end, in respondent order, and their draws to the sink.
    void SumInOrder(int end, bool recordDraws, DrawSink* sink, double& squaresSum, int& accepted);
    void FinishPass(int respondentCount, int accepted, double squaresSum);

    int parameterCount_;
    int chunkSize_;
    std::unique_ptr<WorkerPool> pool_;
    std::vector<RespondentUpdater> updaters_;  // one per thread
    std::vector<std::unique_ptr<Chunk>> slots_;
    int baseSlots_ = 1;                         // the slots a pass over blocks in memory uses
    int activeSlots_ = 1;                       // the slots this pass uses
    std::unique_ptr<BackgroundThread> reader_;  // a single thread's reader, from its first streamed pass
    std::unique_ptr<Context> context_;
    PassStatistics statistics_;
    SquareMatrix proposalInput_;
    SquareMatrix proposalFactor_;
    std::vector<double> logAlternatives_;  // ln(R) for R = 1 .. 1000
    // Per respondent of the pass: accepted, the respondent's choice weight, the tied current betas.
    std::vector<char> accepted_;
    std::vector<double> respondentWeights_;
    std::vector<double> constrained_;

    // The hand-over between the drawing thread, the reader and the others: the chunks drawn and read
    // so far (a chunk is ready once both are done), whether each has ended, and a counter that moves
    // on every change of these or of a slot, which is what waiting threads wait on.
    std::atomic<int> drawnChunks_{0};
    std::atomic<int> readChunks_{0};
    std::atomic<bool> drawingEnded_{false};
    std::atomic<bool> readingEnded_{false};
    std::atomic<unsigned> progress_{0};
    std::atomic<int> nextChunk_{0};
    std::atomic<int> firstFailure_{0};  // the first failing respondent known so far; the count if none
    std::mutex failureMutex_;
    std::exception_ptr failure_;
};

}  // namespace ombrel
