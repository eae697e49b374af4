// Pooling the results of several chains of one simulated study, each run in-process in its chain
// folder: the pooled estimates are the means over all the chains' draws, the pooled standard
// deviations hold the spread within and between the chains, the pooled draws file keeps every chain's
// records in chain order, and chains that do not fit are refused with nothing written.

#include "estimator/run/PooledResults.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/ByteStream.h"
#include "common/OmbrelError.h"
#include "common/StudySettings.h"
#include "tests/estimator/RecordingConsole.h"
#include "tests/support/SimulatedStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;

constexpr int kChains = 3;
constexpr int kRespondents = 12;
constexpr int kDraws = 15;
// Levels 3 + 2 and None.
constexpr int kLevels = 6;

std::vector<double> Numbers(const std::string& text) {
    std::vector<double> numbers;
    std::istringstream in(text);
    for (double number; in >> number;) numbers.push_back(number);
    return numbers;
}

// Per respondent the RLH x 1000, then the level values, from a ".csv".
std::vector<std::vector<double>> CsvRows(const std::string& csv) {
    std::vector<std::vector<double>> rows;
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        for (char& c : line)
            if (c == ',') c = ' ';
        std::vector<double> numbers = Numbers(line);
        std::vector<double> row = {numbers.at(1)};
        row.insert(row.end(), numbers.begin() + 5, numbers.end());
        rows.push_back(row);
    }
    return rows;
}

// The draws-file records: the five header numbers and the level values each.
std::vector<std::vector<double>> DrawRecords(const std::string& dra) {
    const std::vector<double> numbers = Numbers(dra);
    std::vector<std::vector<double>> records;
    for (size_t i = 0; i + 5 + kLevels <= numbers.size(); i += 5 + kLevels)
        records.emplace_back(numbers.begin() + static_cast<long>(i),
                             numbers.begin() + static_cast<long>(i + 5 + kLevels));
    return records;
}

// The study in its folder and its chains, each a run of its own with seed 20 + k.
class PooledResultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::SimulationSpec spec;
        spec.respondents = kRespondents;
        spec.tasks = 6;
        spec.levels = {3, 2};
        spec.seed = 5;
        test::WriteSimulatedStudy(dir_.Folder(), spec);
        settings_.dataFileName = dir_.File("study.cho");
        settings_.preliminaryIterations = 20;
        settings_.drawsPerRespondent = kDraws;
        settings_.drawSkip = 1;
        settings_.logSkip = 10;
    }

    const StudyFiles& Study() const { return files_; }

    void RunChains(bool saveDraws) {
        chains_.clear();
        for (int k = 1; k <= kChains; ++k) {
            const StudyFiles chain = files_.ForChain(k);
            fs::create_directories(chain.Folder());
            fs::copy_file(files_.PreparedData(), chain.PreparedData(), fs::copy_options::overwrite_existing);
            fs::copy_file(files_.AttributeLabels(), chain.AttributeLabels(),
                          fs::copy_options::overwrite_existing);
            fs::remove(chain.Restart());
            StudySettings settings(settings_);
            settings.dataFileName = chain.DataFile();
            settings.namesFolder = chain.Folder();
            settings.randomSeed = 20 + k;
            settings.saveDraws = saveDraws;
            ScriptedMessenger messenger;
            ASSERT_TRUE(settings.SaveSettings(messenger));
            RunOptions options;
            options.namesFolder = chain.Folder();
            options.overdispersedStart = k > 1;
            RunResults results;
            options.results = &results;
            test::RecordingConsole console;
            ASSERT_EQ(RunEstimator(console.Services(), options), 0) << console.consoleText;
            ASSERT_EQ(results.end, RunEnd::Completed);
            EXPECT_EQ(results.seed, static_cast<uint32_t>(20 + k));
            EXPECT_EQ(results.drawsPerRespondent, kDraws);
            EXPECT_EQ(results.levelCount, kLevels);
            chains_.push_back(results);
        }
    }

    // The mean over the chains of a ".csv" cell, per respondent and column.
    std::vector<std::vector<double>> ChainMeans() const {
        std::vector<std::vector<double>> mean;
        for (int k = 1; k <= kChains; ++k) {
            const std::vector<std::vector<double>> rows =
                CsvRows(ReadFileText(files_.ForChain(k).Spreadsheet()));
            if (mean.empty()) mean.assign(rows.size(), std::vector<double>(rows.at(0).size(), 0.0));
            for (size_t n = 0; n < rows.size(); ++n)
                for (size_t c = 0; c < rows[n].size(); ++c) mean[n][c] += rows[n][c] / kChains;
        }
        return mean;
    }

    // Pooled estimates equal the chains' mean estimates to what the files print (three decimals, the
    // RLH x 1000 without decimals).
    void ExpectMeansOfChains() const {
        const std::vector<std::vector<double>> mean = ChainMeans();
        const std::vector<std::vector<double>> pooled = CsvRows(ReadFileText(files_.Spreadsheet()));
        ASSERT_EQ(pooled.size(), static_cast<size_t>(kRespondents));
        for (size_t n = 0; n < pooled.size(); ++n) {
            EXPECT_NEAR(pooled[n][0], mean[n][0], 1.01) << "respondent " << n;
            for (size_t c = 1; c < pooled[n].size(); ++c)
                EXPECT_NEAR(pooled[n][c], mean[n][c], 0.00101) << "respondent " << n << " level " << c;
        }
        // The summary's alpha is the mean of the chains' too.
        const auto alpha = [](const std::string& sum) {
            std::vector<double> numbers =
                Numbers(sum.substr(sum.find('\n'), sum.find("\n\n") - sum.find('\n')));
            return numbers;
        };
        const std::vector<double> pooledAlpha = alpha(ReadFileText(files_.Summary()));
        ASSERT_EQ(pooledAlpha.size(), static_cast<size_t>(kLevels));
        for (int j = 0; j < kLevels; ++j) {
            double sum = 0.0;
            for (int k = 1; k <= kChains; ++k) sum += alpha(ReadFileText(files_.ForChain(k).Summary())).at(j);
            EXPECT_NEAR(pooledAlpha[j], sum / kChains, 0.00101) << "level " << j;
        }
    }

    test::TempDir dir_;
    StudyFiles files_ = *StudyFiles::ForDataFile(dir_.File("study.cho"));
    StudySettings settings_;
    std::vector<RunResults> chains_;
};

TEST_F(PooledResultsTest, AccumulatedDrawsPoolIntoMeansAndTheSpreadOfAllDraws) {
    // The same chains with saved draws first: their draws give the standard deviations over all draws.
    RunChains(true);
    std::vector<std::vector<std::vector<double>>> draws;  // chain, record, numbers
    for (int k = 1; k <= kChains; ++k) draws.push_back(DrawRecords(ReadFileText(files_.ForChain(k).Draws())));
    RunChains(false);
    WritePooledResults(Study(), chains_, settings_.effectsCoding);
    ExpectMeansOfChains();

    const std::vector<double> deviations = Numbers(ReadFileText(files_.StandardDeviations()));
    ASSERT_EQ(deviations.size(), static_cast<size_t>(kRespondents * (1 + kLevels)));
    for (int n = 0; n < kRespondents; ++n) {
        for (int j = 0; j < kLevels; ++j) {
            double sum = 0.0;
            double squares = 0.0;
            for (int k = 0; k < kChains; ++k) {
                for (int m = 0; m < kDraws; ++m) {
                    const double value = draws[k].at(static_cast<size_t>(n * kDraws + m)).at(5 + j);
                    sum += value;
                    squares += value * value;
                }
            }
            const double count = kChains * kDraws;
            const double sd = std::sqrt(std::max(0.0, squares / count - (sum / count) * (sum / count)));
            EXPECT_NEAR(deviations[static_cast<size_t>(n * (1 + kLevels) + 1 + j)], sd, 0.002)
                << "respondent " << n << " level " << j;
        }
    }
}

TEST_F(PooledResultsTest, SavedDrawsPoolRespondentByRespondentInChainOrder) {
    RunChains(true);
    WritePooledResults(Study(), chains_, settings_.effectsCoding);
    ExpectMeansOfChains();
    EXPECT_FALSE(fs::exists(files_.StandardDeviations()));

    // The pooled draws file, record by record: respondent n's D records of chain 1, of chain 2, ...
    std::vector<std::vector<std::string>> chainRecords;
    const auto records = [](const std::string& text) {
        // Each record is its header line and one line of the six values.
        std::vector<std::string> result;
        std::istringstream in(text);
        for (std::string header, values; std::getline(in, header) && std::getline(in, values);)
            result.push_back(header + "\n" + values + "\n");
        return result;
    };
    for (int k = 1; k <= kChains; ++k)
        chainRecords.push_back(records(ReadFileText(files_.ForChain(k).Draws())));
    std::string expected;
    for (int n = 0; n < kRespondents; ++n)
        for (int k = 0; k < kChains; ++k)
            for (int m = 0; m < kDraws; ++m)
                expected += chainRecords[k].at(static_cast<size_t>(n * kDraws + m));
    EXPECT_EQ(ReadFileText(files_.Draws()), expected);
    EXPECT_EQ(DrawRecords(expected).size(), static_cast<size_t>(kRespondents * kChains * kDraws));
}

TEST_F(PooledResultsTest, ChainsThatDoNotFitLeaveTheEarlierResults) {
    RunChains(false);
    WritePooledResults(Study(), chains_, settings_.effectsCoding);
    const std::string hbu = ReadFileText(files_.PartWorths());

    // Chain 2's accumulators hold another respondent first.
    std::vector<unsigned char> bytes = test::ReadFileBytes(files_.ForChain(2).DrawAccumulators());
    const int32_t first = DecodeInt32(bytes.data());
    EncodeInt32(first + 1000, bytes.data());
    test::WriteFileBytes(files_.ForChain(2).DrawAccumulators(), bytes);
    try {
        WritePooledResults(Study(), chains_, settings_.effectsCoding);
        ADD_FAILURE() << "pooled chains of other respondents";
    } catch (const OmbrelError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "The file " + files_.ForChain(2).DrawAccumulators() + " of chain 2 holds respondent " +
                      std::to_string(first + 1000) + " where chain 1 holds respondent " +
                      std::to_string(first) + ".");
    }
    // Chain 3 ends early.
    EncodeInt32(first, bytes.data());
    test::WriteFileBytes(files_.ForChain(2).DrawAccumulators(), bytes);
    fs::resize_file(files_.ForChain(3).DrawAccumulators(), 100);
    EXPECT_THROW(WritePooledResults(Study(), chains_, settings_.effectsCoding), OmbrelError);
    EXPECT_EQ(ReadFileText(files_.PartWorths()), hbu);

    // A chain that stopped, or estimated other counts, is refused before anything is read.
    std::vector<RunResults> chains = chains_;
    chains[1].end = RunEnd::Stopped;
    EXPECT_THROW(WritePooledResults(Study(), chains, settings_.effectsCoding), OmbrelError);
    chains = chains_;
    chains[2].drawsPerRespondent = kDraws + 1;
    EXPECT_THROW(WritePooledResults(Study(), chains, settings_.effectsCoding), OmbrelError);
    EXPECT_EQ(ReadFileText(files_.PartWorths()), hbu);
}

}  // namespace
}  // namespace ombrel
