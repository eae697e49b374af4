#include "apps/ombrel/ChainEstimate.h"

#include <algorithm>
#include <atomic>
#include <ctime>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "apps/kivotra/ProgressScreen.h"
#include "apps/ombrel/PrivateFolder.h"
#include "common/OmbrelError.h"
#include "common/RunLock.h"
#include "common/SettingsSchema.h"
#include "common/TextConversion.h"
#include "estimator/run/EstimatorRun.h"
#include "estimator/run/PooledResults.h"
#include "platform/StopSignals.h"

namespace ombrel {

namespace {

namespace fs = std::filesystem;

// Seconds between two progress lines of one chain.
constexpr long long kProgressInterval = 2;

int MaxSeed() { return static_cast<int>(Setting(SettingId::RandomSeed).high); }

long long WallClockSeconds() { return static_cast<long long>(std::time(nullptr)); }

// The lines of all chains, one whole line at a time.
class SharedOutput {
public:
    SharedOutput(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}
    void Out(const std::string& line) { Write(out_, line); }
    void Err(const std::string& line) { Write(err_, line); }

private:
    void Write(std::FILE* stream, std::string line) {
        line += '\n';
        std::lock_guard<std::mutex> lock(mutex_);
        std::fwrite(line.data(), 1, line.size(), stream);
        std::fflush(stream);
    }

    std::mutex mutex_;
    std::FILE* out_;
    std::FILE* err_;
};

// What all chains share: the output, and the request to stop every chain.
struct ChainShared {
    SharedOutput output;
    std::atomic<bool> stopAll{false};
    bool watchSignals = true;

    bool StopWanted() const { return stopAll.load() || (watchSignals && ombrel::StopRequested()); }
};

// One chain's services: its progress lines on the shared error stream, its messages kept to be
// reported once the chains are done (a thread shows nothing itself), and the shared stop request.
class ChainConsole : public ProgressSink, public StopToken, public Clock, public Messenger {
public:
    ChainConsole(int chain, int chainCount, ChainShared& shared)
        : prefix_(Format("Chain %d of %d", chain, chainCount)), shared_(shared) {}

    RunServices Services() { return RunServices{*this, *this, *this, *this}; }
    const std::string& Prefix() const { return prefix_; }
    // The messages the run showed, the last (a failure's) at the back.
    const std::vector<std::string>& Messages() const { return messages_; }
    void Keep(const std::string& text) { messages_.push_back(Trim(text)); }

    void IterationDone(const IterationProgress& progress) override {
        const IterationStatistics& s = progress.statistics;
        const long long now = WallClockSeconds();
        if (s.iteration != progress.totalIterations && now - lastReport_ < kProgressInterval) return;
        lastReport_ = now;
        shared_.output.Err(
            prefix_ + ": " +
            FormatHeadlessProgress(s.iteration, progress.totalIterations, s.pctCert, s.rlh, -1));
    }
    void ConsoleFailure(const std::string& text) override { Keep(text); }

    bool StopRequested() override { return shared_.StopWanted(); }
    long long Now() override { return WallClockSeconds(); }
    double SteadySeconds() override { return SteadyClockSeconds(); }
    std::tm LocalTime() override {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        return local;
    }

    void Show(const std::string& text, MessageIcon) override { Keep(text); }
    Answer Ask(const std::string& text, ButtonSet, MessageIcon) override {
        Keep(text);
        return Answer::Cancel;
    }

private:
    std::string prefix_;
    ChainShared& shared_;
    std::vector<std::string> messages_;
    long long lastReport_ = 0;  // the first iteration reports at once
    long long startTime_ = WallClockSeconds();
    long long sessionIterations_ = 0;
};

// to as a hard link of from, else a copy; an earlier to goes first.
void LinkOrCopy(const std::string& from, const std::string& to) {
    std::error_code error;
    fs::remove(to, error);
    fs::create_hard_link(from, to, error);
    if (!error) return;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
    if (error)
        throw OmbrelError(Format("The file %s could not be copied to %s (%s).", from.c_str(), to.c_str(),
                                 error.message().c_str()));
}

// The chain folder with the study's prepared files and its optional constraints and custom prior; an
// optional file the study no longer has is removed from the chain too.
void FillChainFolder(const StudyFiles& study, const StudyFiles& chain) {
    std::error_code error;
    fs::create_directories(chain.Folder(), error);
    if (error)
        throw OmbrelError(Format("The chain folder %s could not be created (%s).", chain.Folder().c_str(),
                                 error.message().c_str()));
    LinkOrCopy(study.PreparedData(), chain.PreparedData());
    LinkOrCopy(study.AttributeLabels(), chain.AttributeLabels());
    const std::pair<std::string, std::string> optional[] = {{study.Constraints(), chain.Constraints()},
                                                            {study.CustomPrior(), chain.CustomPrior()}};
    for (const auto& [from, to] : optional) {
        if (fs::exists(from, error))
            LinkOrCopy(from, to);
        else
            fs::remove(to, error);
    }
}

// The chain's data file name has the study's own extension, so saving its settings has nothing to say.
class SilentMessenger : public Messenger {
public:
    void Show(const std::string&, MessageIcon) override {}
    Answer Ask(const std::string&, ButtonSet, MessageIcon) override { return Answer::Cancel; }
};

// The settings of chain k: the study's, for the chain's copy of the data file, with the chain's seed.
void WriteChainSettings(const StudySettings& settings, const StudyFiles& chain, int32_t seed,
                        const std::string& namesFolder) {
    StudySettings chainSettings(settings);
    chainSettings.dataFileName = chain.DataFile();
    chainSettings.randomSeed = seed;
    chainSettings.namesFolder = namesFolder + "/";
    SilentMessenger silent;
    if (!chainSettings.SaveSettings(silent))
        throw OmbrelError(Format("The settings of the chain could not be saved to %s and %s.",
                                 chainSettings.NamesFilePath().c_str(),
                                 chainSettings.SettingsFileName().c_str()));
}

// The chains, their results and what runs them.
class ChainRunner {
public:
    ChainRunner(const StudySettings& settings, const ChainRunRequest& request, std::vector<int32_t> seeds)
        : settings_(settings),
          study_(*StudyFiles::ForDataFile(settings.dataFileName)),
          request_(request),
          seeds_(std::move(seeds)),
          shared_{SharedOutput(request.out, request.err)},
          results_(static_cast<size_t>(request.chainCount)),
          started_(static_cast<size_t>(request.chainCount), 0) {
        shared_.watchSignals = request.watchStopSignals;
        for (int k = 1; k <= request.chainCount; ++k)
            consoles_.push_back(std::make_unique<ChainConsole>(k, request.chainCount, shared_));
    }

    void RunAll() {
        std::vector<std::thread> threads;
        const int count = std::max(1, std::min(request_.jobs, request_.chainCount));
        for (int t = 0; t < count; ++t) threads.emplace_back([this] { Work(); });
        for (std::thread& thread : threads) thread.join();
    }
    int Finish(Messenger& messenger, ChainRunReport& report);

private:
    void Work() {
        for (;;) {
            const int k = next_.fetch_add(1);
            if (k > request_.chainCount || shared_.StopWanted()) return;
            RunChain(k);
        }
    }
    void RunChain(int k);
    RunResults& Results(int k) { return results_[static_cast<size_t>(k - 1)]; }
    ChainConsole& Console(int k) { return *consoles_[static_cast<size_t>(k - 1)]; }

    const StudySettings& settings_;
    StudyFiles study_;
    const ChainRunRequest& request_;
    std::vector<int32_t> seeds_;
    ChainShared shared_;
    std::vector<RunResults> results_;
    std::vector<char> started_;  // each written by its own chain's thread only, read after the join
    std::vector<std::unique_ptr<ChainConsole>> consoles_;
    std::atomic<int> next_{1};
};

void ChainRunner::RunChain(int k) {
    ChainConsole& console = Console(k);
    started_[static_cast<size_t>(k - 1)] = 1;
    shared_.output.Out(
        Format("%s (seed %d) started.", console.Prefix().c_str(), seeds_[static_cast<size_t>(k - 1)]));
    int status = 1;
    try {
        const StudyFiles chain = study_.ForChain(k);
        FillChainFolder(study_, chain);
        PrivateFolder namesFolder(request_.temporaryFolder);
        WriteChainSettings(settings_, chain, seeds_[static_cast<size_t>(k - 1)], namesFolder.Path());
        if (request_.chainReady) request_.chainReady(k, chain);
        RunOptions options;
        options.namesFolder = namesFolder.Path() + "/";
        options.memoryBudget = DefaultMemoryBudget() / static_cast<uint64_t>(request_.chainCount);
        options.overdispersedStart = k > 1;
        options.threads = std::max(1, request_.threads / std::max(1, request_.jobs));
        options.checkpointSeconds = request_.checkpointSeconds;
        options.results = &Results(k);
        status = RunEstimator(console.Services(), options);
    } catch (const std::exception& failure) {
        console.Keep(failure.what());
        Results(k).end = RunEnd::Failed;
    }
    if (status != 0 || Results(k).end == RunEnd::Failed) {
        Results(k).end = RunEnd::Failed;
        if (console.Messages().empty()) console.Keep("The estimator ended with a failure.");
        shared_.stopAll.store(true);
        return;
    }
    const bool completed = Results(k).end == RunEnd::Completed;
    shared_.output.Out(Format("%s %s: %s", console.Prefix().c_str(), completed ? "finished" : "stopped",
                              Results(k).closingSentence.c_str()));
}

int ChainRunner::Finish(Messenger& messenger, ChainRunReport& report) {
    bool failed = false;
    bool allCompleted = true;
    for (int k = 1; k <= request_.chainCount; ++k) {
        const std::vector<std::string>& messages = Console(k).Messages();
        if (Results(k).end == RunEnd::Failed && started_[static_cast<size_t>(k - 1)]) {
            failed = true;
            messenger.Show(Format("%s failed: %s", Console(k).Prefix().c_str(), messages.back().c_str()),
                           MessageIcon::Exclamation);
            continue;
        }
        for (const std::string& message : messages)
            messenger.Show(Format("%s: %s", Console(k).Prefix().c_str(), message.c_str()),
                           MessageIcon::Information);
        if (Results(k).end != RunEnd::Completed) allCompleted = false;
    }
    if (failed) return 1;
    if (!allCompleted) {
        shared_.output.Out("The chains were stopped before they completed; no pooled results were written.");
        return 0;
    }
    try {
        WritePooledResults(study_, results_, settings_.effectsCoding);
    } catch (const std::exception& failure) {
        messenger.Show(Format("The results of the %d chains could not be pooled: %s", request_.chainCount,
                              Trim(failure.what()).c_str()),
                       MessageIcon::Exclamation);
        return 1;
    }
    shared_.output.Out(Format("The used draws of the %d chains were pooled into %s.", request_.chainCount,
                              study_.PartWorths().c_str()));
    report.completed = true;
    return 0;
}

}  // namespace

int DefaultJobs() { return DefaultRunThreads(); }

std::vector<int32_t> ChainSeeds(int32_t seed, int chainCount, long long clockSeconds) {
    int32_t first = seed;
    if (first == 0) {
        const long long choices = std::max(1, MaxSeed() + 1 - chainCount);
        first = static_cast<int32_t>(1 + (clockSeconds % choices + choices) % choices);
    }
    std::vector<int32_t> seeds;
    for (int k = 1; k <= chainCount; ++k) seeds.push_back(first + k - 1);
    return seeds;
}

std::string ChainSeedFailure(int32_t seed, int chainCount) {
    if (seed <= 0 || seed > MaxSeed() || static_cast<long long>(seed) + chainCount - 1 <= MaxSeed())
        return "";
    return Format(
        "With %d chains the random starting seed %d would give chain %d the seed %lld, above the largest "
        "seed %d.  Please choose a seed of at most %d, or 0 for seeds from the time of day.",
        chainCount, seed, chainCount, static_cast<long long>(seed) + chainCount - 1, MaxSeed(),
        MaxSeed() + 1 - chainCount);
}

std::vector<std::string> ChainRestartFiles(const StudyFiles& study, int chainCount) {
    std::vector<std::string> files;
    for (int k = 1; k <= chainCount; ++k) files.push_back(study.ForChain(k).Restart());
    return files;
}

int RunChains(const StudySettings& settings, const ChainRunRequest& request, Messenger& messenger,
              ChainRunReport& report) {
    const std::string failure = ChainSeedFailure(settings.randomSeed, request.chainCount);
    if (!failure.empty()) {
        messenger.Show(failure, MessageIcon::Exclamation);
        return 1;
    }
    report.chainCount = request.chainCount;
    report.seeds = ChainSeeds(settings.randomSeed, request.chainCount, WallClockSeconds());
    if (request.watchStopSignals) InstallStopHandlers();
    // Held over the chains and the pooling, so that a reader of the results waits for the pooled files.
    StudyRunLock lock;
    if (const std::optional<StudyFiles> study = StudyFiles::ForDataFile(settings.dataFileName))
        lock.Acquire(study->RunLock());
    ChainRunner runner(settings, request, report.seeds);
    runner.RunAll();
    return runner.Finish(messenger, report);
}

}  // namespace ombrel
