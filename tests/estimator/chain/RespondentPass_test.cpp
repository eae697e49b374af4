// The respondent pass on several threads: every result, every draw handed to the sink and every
// failure must be those of one thread, bit for bit, whatever the thread count.

#include "estimator/chain/RespondentPass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/ByteStream.h"
#include "common/OmbrelError.h"
#include "common/StudyFiles.h"
#include "estimator/chain/Chain.h"
#include "estimator/chain/StartValues.h"
#include "tests/support/SimulatedSettingsFolder.h"
#include "tests/support/SimulatedStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::Bytes;

const int kThreadCounts[] = {2, 3, 8};

// Everything a run shows, as bit patterns: NaN or -0.0 would compare by their bits too.
class Record {
public:
    void Add(double value) { bits_.push_back(std::bit_cast<uint64_t>(value)); }
    void Add(const double* values, int count) {
        for (int i = 0; i < count; ++i) Add(values[i]);
    }
    void AddInt(int64_t value) { bits_.push_back(static_cast<uint64_t>(value)); }
    const std::vector<uint64_t>& Bits() const { return bits_; }

private:
    std::vector<uint64_t> bits_;
};

// Every draw in the order it comes.
class RecordingSink : public DrawSink {
public:
    RecordingSink(Record& record, int parameterCount) : record_(record), parameterCount_(parameterCount) {}
    void RecordDraw(int respondentIndex, int32_t respondentNumber, double respondentRlh, const double* betas,
                    const double* constrainedBetas) override {
        record_.AddInt(respondentIndex);
        record_.AddInt(respondentNumber);
        record_.Add(respondentRlh);
        record_.Add(betas, parameterCount_);
        record_.Add(constrainedBetas, parameterCount_);
    }

private:
    Record& record_;
    int parameterCount_;
};

// Ties the second parameter to at least the first, so that the tied copies differ from the betas.
class OrderTies : public ConstraintTies {
public:
    void ApplyConstraints(double* betas) const override { betas[1] = std::max(betas[0], betas[1]); }
};

// Six iterations of a chain on the simulated study, every draw recorded, everything the chain
// shows after each Step written down.
std::vector<uint64_t> RunChain(const std::string& folder, int threads, bool inMemory, bool tied) {
    std::unique_ptr<PreparedDataSource> data =
        OpenPreparedData(PreparedDataPath(folder), inMemory ? DefaultMemoryBudget() : 0);
    PopulationState start;
    const int p = 4;
    start.Resize(p);
    ChainState state;
    OrderTies ties;
    InitializeStartValues(true, true, tied ? &ties : nullptr, *data, start, state.store);
    state.alpha = start.alpha;
    state.covariance = start.covariance;
    SquareMatrix prior(p);
    prior.SetIdentity();
    ChainOptions options;
    options.seed = 11;
    options.threads = threads;
    options.ties = tied ? &ties : nullptr;
    Chain chain(std::move(state), false, prior, options);
    Record record;
    RecordingSink sink(record, p);
    for (int iteration = 0; iteration < 6; ++iteration) {
        const ChainStep step = chain.Step(*data, &sink);
        const IterationStatistics& s = step.statistics;
        for (double value :
             {s.jumpSize, s.acceptanceRate, s.pctCert, s.rlh, s.averageVariance, s.parameterRms})
            record.Add(value);
        record.Add(step.meanBetas.data(), p);
        record.Add(step.averageBetas.data(), p);
        record.Add(chain.Population().alpha.data(), p);
        for (int i = 0; i < p; ++i) record.Add(chain.Population().covariance.Row(i), p);
        const RespondentStore& store = chain.Store();
        for (int n = 0; n < store.Count(); ++n) {
            record.AddInt(store.Number(n));
            record.Add(store.Betas(n), p);
            record.Add(store.LogLikelihood(n));
        }
    }
    return record.Bits();
}

class ThreadedChain : public ::testing::Test {
protected:
    // 330 respondents: six chunks, the last one short, so that several threads get some.
    void SetUp() override { test::WriteSimulatedStudy(dir_.Folder(), test::SmallDesign(330, 3)); }
    test::TempDir dir_;
};

TEST_F(ThreadedChain, StepsAreBitIdenticalForAnyThreadCount) {
    for (bool tied : {false, true}) {
        const std::vector<uint64_t> single = RunChain(dir_.Folder(), 1, true, tied);
        ASSERT_GT(single.size(), 6u * 330u);
        for (int threads : kThreadCounts)
            EXPECT_EQ(single, RunChain(dir_.Folder(), threads, true, tied))
                << threads << " threads" << (tied ? ", tied" : "");
    }
}

TEST_F(ThreadedChain, AStreamedSourceGivesTheSameStepsAsTheDataInMemory) {
    const std::vector<uint64_t> single = RunChain(dir_.Folder(), 1, true, true);
    for (int threads : {1, 2, 8}) EXPECT_EQ(single, RunChain(dir_.Folder(), threads, false, true)) << threads;
}

// A respondent of two variables and one task of two alternatives, the first chosen; variables gives
// the task's variable count as written, and the first design value is firstValue.
void AddRespondent(Bytes& bytes, int32_t number, int32_t variables = 2, double firstValue = 1.0) {
    bytes.I32(number).I32(1).I32(2).I32(variables);
    for (int r = 0; r < 2; ++r) {
        bytes.F64(r == 0 ? firstValue : 0.0);
        for (int v = 1; v < variables; ++v) bytes.F64(0.5 * v);
        bytes.I32(r == 0 ? 1 : 0);
    }
    bytes.F64(1.0);
}

// Refuses the betas of one respondent: its stored first beta is a marker no proposal reaches.
constexpr double kMarker = 777.0;
class FailingTies : public ConstraintTies {
public:
    void ApplyConstraints(double* betas) const override {
        if (betas[0] == kMarker) throw OmbrelError("The ties refused a respondent.");
    }
};

struct FailedPass {
    std::string message;
    std::vector<uint64_t> draws;
};

// One pass over respondentCount stored respondents of p parameters; marked gets the marker as its
// first beta.
FailedPass RunFailingPass(const std::vector<unsigned char>& bytes, int respondentCount, int threads,
                          bool inMemory, int marked = -1, int p = 2) {
    PopulationState population;
    population.Resize(p);
    population.covariance.SetIdentity();
    population.covarianceInverse.SetIdentity();
    RespondentStore store(p);
    std::vector<double> betas(static_cast<size_t>(p));
    for (int n = 0; n < respondentCount; ++n) {
        for (int k = 0; k < p; ++k) betas[static_cast<size_t>(k)] = (k % 2 == 0 ? 0.01 : -0.02) * n;
        if (n == marked) betas[0] = kMarker;
        store.Append(0, betas.data(), 0.0);
    }
    MemoryByteSource memory(bytes);
    std::unique_ptr<PreparedDataSource> data =
        inMemory ? LoadPreparedDataInMemory(memory)
                 : StreamPreparedData(std::make_unique<MemoryByteSource>(bytes));
    RandomGenerator random;
    random.SeedGenerator(5);
    FailingTies ties;
    RespondentPass pass(p, threads);
    FailedPass failed;
    Record record;
    RecordingSink sink(record, p);
    failed.message = test::FailureMessage(
        [&] { pass.UpdateRespondents(0.5, false, true, population, *data, store, random, &ties, &sink); });
    failed.draws = record.Bits();
    return failed;
}

// The draws of the respondents before the failing one, and nothing else, reached the sink.
void ExpectSameFailure(const std::vector<unsigned char>& bytes, int respondentCount, bool inMemory,
                       const std::string& message, int drawsBefore, int marked = -1) {
    const FailedPass single = RunFailingPass(bytes, respondentCount, 1, inMemory, marked);
    EXPECT_EQ(single.message, message);
    EXPECT_EQ(single.draws.size(), static_cast<size_t>(drawsBefore) * 7u);
    for (int threads : {8, 2, 3}) {
        const FailedPass threaded = RunFailingPass(bytes, respondentCount, threads, inMemory, marked);
        EXPECT_EQ(threaded.message, single.message) << threads << " threads";
        EXPECT_EQ(threaded.draws, single.draws) << threads << " threads";
    }
}

std::vector<unsigned char> Respondents(int count, int wrongVariables = -1, int notFinite = -1, int p = 2) {
    Bytes bytes;
    for (int n = 0; n < count; ++n)
        AddRespondent(bytes, 100 + n, n == wrongVariables ? p + 1 : p, n == notFinite ? INFINITY : 1.0);
    return bytes.Get();
}

TEST(ThreadedPassFailure, AWrongVariableCountStopsAtTheSameRespondent) {
    ExpectSameFailure(Respondents(200, 137), 200, true, VariableCountMessage(237, 2, 3), 137);
    ExpectSameFailure(Respondents(200, 137), 200, false, VariableCountMessage(237, 2, 3), 137);
}

TEST(ThreadedPassFailure, DataEndingBeforeTheStoreIsAPrematureEnd) {
    ExpectSameFailure(Respondents(40), 50, true, kPrematureEndMessage, 40);
    std::vector<unsigned char> cut = Respondents(40);
    cut.resize(cut.size() - 5);
    ExpectSameFailure(cut, 50, false, kPrematureEndMessage, 39);
}

// With many parameters, reading a respondent costs less than drawing its normals, so the reader
// meets the end of the streamed file while chunks before it are still to be drawn: they are drawn
// and updated all the same.
TEST(ThreadedPassFailure, AStreamedEndTheReaderMeetsFirstStillLetsTheChunksBeforeItBeUpdated) {
    constexpr int p = 300;
    std::vector<unsigned char> cut = Respondents(300, -1, -1, p);
    cut.resize(cut.size() - 5);
    const FailedPass single = RunFailingPass(cut, 310, 1, false, -1, p);
    EXPECT_EQ(single.message, kPrematureEndMessage);
    ASSERT_EQ(single.draws.size(), 299u * (3u + 2u * p));
    // Which thread gets there first varies from run to run.
    for (int run = 0; run < 4; ++run)
        for (int threads : {2, 8})
            EXPECT_EQ(RunFailingPass(cut, 310, threads, false, -1, p).draws, single.draws) << threads;
}

TEST(ThreadedPassFailure, ADamagedStreamedBlockStopsAtItsRespondent) {
    ExpectSameFailure(
        Respondents(60, -1, 21), 60, false,
        "The qebdat.tmp file is damaged: respondent 121 has a design value that is not a finite "
        "number.",
        21);
}

TEST(ThreadedPassFailure, TheFirstFailureInDataOrderWinsWhicheverThreadMetIt) {
    // A refusal in an update (respondent 12) before a wrong block (respondent 30), and the other way.
    ExpectSameFailure(Respondents(256, 130), 256, true, "The ties refused a respondent.", 70, 70);
    ExpectSameFailure(Respondents(256, 70), 256, true, VariableCountMessage(170, 2, 3), 70, 130);
    ExpectSameFailure(Respondents(256), 256, false, "The ties refused a respondent.", 255, 255);
}

TEST(ThreadedPassFailure, APassAfterAFailureStartsAfresh) {
    // The same pass object: a failed pass leaves nothing behind that changes the next one.
    PopulationState population;
    population.Resize(2);
    population.covariance.SetIdentity();
    population.covarianceInverse.SetIdentity();
    const std::vector<unsigned char> good = Respondents(50);
    const std::vector<unsigned char> bad = Respondents(50, 20);
    std::vector<std::vector<uint64_t>> results;
    for (int threads : {1, 3}) {
        RespondentPass pass(2, threads);
        RespondentStore store(2);
        const double zero[2] = {0.0, 0.0};
        for (int n = 0; n < 50; ++n) store.Append(0, zero, 0.0);
        RandomGenerator random;
        random.SeedGenerator(9);
        MemoryByteSource badSource(bad);
        std::unique_ptr<PreparedDataSource> badData = LoadPreparedDataInMemory(badSource);
        EXPECT_EQ(test::FailureMessage([&] {
                      pass.UpdateRespondents(0.5, false, false, population, *badData, store, random, nullptr,
                                             nullptr);
                  }),
                  VariableCountMessage(120, 2, 3));
        RespondentStore fresh(2);
        for (int n = 0; n < 50; ++n) fresh.Append(0, zero, 0.0);
        random.SeedGenerator(9);
        MemoryByteSource goodSource(good);
        std::unique_ptr<PreparedDataSource> goodData = LoadPreparedDataInMemory(goodSource);
        pass.UpdateRespondents(0.5, false, false, population, *goodData, fresh, random, nullptr, nullptr);
        Record record;
        for (int n = 0; n < 50; ++n) record.Add(fresh.Betas(n), 2);
        record.Add(pass.Statistics().acceptanceRate);
        record.Add(pass.Statistics().totalLogLikelihood);
        results.push_back(record.Bits());
    }
    EXPECT_EQ(results[0], results[1]);
}

}  // namespace
}  // namespace ombrel
