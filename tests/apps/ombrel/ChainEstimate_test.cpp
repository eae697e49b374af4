// `ombrel estimate --chains K` in-process on a small prepared study: the chain folders and the pooled
// results, the seeds, a failing chain, the restart files of the chains, and the option checks.

#include "apps/ombrel/ChainEstimate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "apps/ombrel/OmbrelCommand.h"
#include "tests/apps/ombrel/OmbrelStreamsTest.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

const char* const kAttributes = "Alpha\n\nBeta\n\nGamma\n\n\nSmall\n\nLarge\n";

// Six respondents of four tasks, three concepts and None each.
std::string ChoiceData() {
    std::ostringstream text;
    for (int r = 1; r <= 6; ++r) {
        text << 100 + r << " 0 2 4 1\n";
        for (int t = 1; t <= 4; ++t) {
            text << "3 1\n";
            for (int c = 1; c <= 3; ++c) text << (r + t + c) % 3 + 1 << ' ' << (r * t + c) % 2 + 1 << "\n";
            text << (r + 2 * t) % 4 + 1 << " 9\n";
        }
    }
    return text.str();
}

int RestartIterations(const std::string& path) {
    std::istringstream in(ReadFileText(path));
    int respondents = 0, parameters = 0, iterations = -1;
    in >> respondents >> parameters >> iterations;
    return iterations;
}

class ChainEstimateTest : public test::OmbrelStreamsTest {
protected:
    void SetUp() override {
        fs::create_directories(root_.Path() / "study");
        fs::create_directories(root_.Path() / "settings");
        fs::create_directories(root_.Path() / "tmp");
        WriteFileText(root_.File("study/study.att"), kAttributes);
        WriteFileText(root_.File("study/study.cho"), ChoiceData());
        environment_.settingsFolder = root_.Folder() + "settings/";
        environment_.temporaryFolder = root_.File("tmp");
        environment_.programFolder = root_.Folder() + "no-kivotra/";
        OmbrelStreamsTest::SetUp();
    }

    int Estimate(std::vector<std::string> options) {
        Reopen();
        std::vector<std::string> arguments = {"estimate",     Study() + ".cho",
                                              "--iterations", "10",
                                              "--draws",      "5",
                                              "--draw-skip",  "1",
                                              "--seed",       "3",
                                              "--jobs",       "2"};
        // A seed of the test's own replaces the usual one.
        if (std::find(options.begin(), options.end(), "--seed") != options.end())
            arguments.erase(arguments.end() - 4, arguments.end() - 2);
        arguments.insert(arguments.end(), options.begin(), options.end());
        return RunCommand(std::move(arguments));
    }
    std::string Study() const { return root_.File("study/study"); }
    std::string Chain(int k, const std::string& extension) const {
        return root_.File("study/study_chain" + std::to_string(k) + "/study" + extension);
    }
};

TEST_F(ChainEstimateTest, ThreeChainsWriteTheirFoldersAndThePooledResults) {
    ASSERT_EQ(Estimate({"--chains", "3"}), 0) << Err();
    const std::string out = Out();
    EXPECT_NE(out.find("Files built for 6 respondents."), std::string::npos) << out;
    for (int k = 1; k <= 3; ++k) {
        EXPECT_NE(
            out.find("Chain " + std::to_string(k) + " of 3 (seed " + std::to_string(2 + k) + ") started.\n"),
            std::string::npos)
            << out;
        EXPECT_NE(
            out.find("Chain " + std::to_string(k) + " of 3 finished: This session did 15 iterations in "),
            std::string::npos)
            << out;
        for (const char* extension :
             {".set", ".alp", ".cov", ".hbu", ".lay", ".csv", ".std", ".sum", ".log", ".res"})
            EXPECT_TRUE(fs::exists(Chain(k, extension))) << k << extension;
        EXPECT_EQ(RestartIterations(Chain(k, ".res")), 15);
        // The chain's own seed is on the settings file's last line.
        const std::string settings = ReadFileText(Chain(k, ".set"));
        EXPECT_EQ(settings.substr(settings.rfind('\n', settings.size() - 2) + 1),
                  std::to_string(2 + k) + "\n");
    }
    EXPECT_NE(out.find("The used draws of the 3 chains were pooled into " + Study() + ".hbu.\n"),
              std::string::npos);
    for (const char* extension : {".hbu", ".lay", ".csv", ".std", ".sum"})
        EXPECT_TRUE(fs::exists(Study() + extension)) << extension;
    // The study's own restart file and histories belong to single runs only.
    EXPECT_FALSE(fs::exists(Study() + ".res"));
    EXPECT_FALSE(fs::exists(Study() + ".alp"));
    EXPECT_NE(Err().find("Chain 2 of 3: Iteration 15 of 15 (100%)"), std::string::npos) << Err();
    // Chain 1 starts as a single run does; the others start elsewhere.
    EXPECT_NE(ReadFileText(Chain(1, ".alp")), ReadFileText(Chain(2, ".alp")));
    // The private folders of the names files are gone.
    EXPECT_TRUE(fs::is_empty(root_.File("tmp")));
}

TEST_F(ChainEstimateTest, AFailingChainStopsTheOthersAndPoolsNothing) {
    ASSERT_EQ(Estimate({"--chains", "3"}), 0) << Err();
    const std::string hbu = ReadFileText(Study() + ".hbu");
    const std::string sum = ReadFileText(Study() + ".sum");

    // Chain 2 finds no prepared data in its folder.
    environment_.chainReady = [](int chain, const StudyFiles& files) {
        if (chain == 2) fs::remove(files.PreparedData());
    };
    EXPECT_EQ(Estimate({"--chains", "3", "--fresh", "--seed", "9"}), 1);
    EXPECT_NE(Err().find("Feldrin Software Ombrel: Chain 2 of 3 failed: Can't open binary data file.\n"),
              std::string::npos)
        << Err();
    EXPECT_EQ(Err().find("failed: Feldrin"), std::string::npos);
    EXPECT_EQ(Out().find("pooled"), std::string::npos);
    EXPECT_EQ(ReadFileText(Study() + ".hbu"), hbu);
    EXPECT_EQ(ReadFileText(Study() + ".sum"), sum);
    // Chain 1 ran with the new seed and left its restart file, completed or stopped.
    EXPECT_TRUE(fs::exists(Chain(1, ".res")));
}

TEST_F(ChainEstimateTest, RestartFilesOfTheChainsAreResumedOrDeleted) {
    ASSERT_EQ(Estimate({"--chains", "2"}), 0) << Err();

    // Neither option: the first chain's restart file is named, nothing runs.
    EXPECT_EQ(Estimate({"--chains", "2"}), 1);
    EXPECT_EQ(Err(),
              "Feldrin Software Ombrel: A restart file is available: " + Chain(1, ".res") +
                  ".  Use --resume to resume estimation from it, or --fresh to delete it and estimate from "
                  "the start.\n");
    EXPECT_EQ(RestartIterations(Chain(1, ".res")), 15);

    ASSERT_EQ(Estimate({"--chains", "2", "--resume"}), 0) << Err();
    EXPECT_EQ(Out().find("Preparing Files"), std::string::npos) << "a resumed study is not prepared again";
    EXPECT_EQ(RestartIterations(Chain(1, ".res")), 30);
    EXPECT_EQ(RestartIterations(Chain(2, ".res")), 30);

    ASSERT_EQ(Estimate({"--chains", "2", "--fresh"}), 0) << Err();
    EXPECT_NE(Out().find("Preparing Files"), std::string::npos);
    EXPECT_EQ(RestartIterations(Chain(1, ".res")), 15);
    EXPECT_EQ(RestartIterations(Chain(2, ".res")), 15);
}

TEST_F(ChainEstimateTest, SeedsAndOptionRanges) {
    // The last chain's seed must stay within the seed's range: refused before anything is prepared.
    EXPECT_EQ(Estimate({"--chains", "3", "--seed", "31999"}), 1);
    EXPECT_EQ(
        Err(),
        "Feldrin Software Ombrel: With 3 chains the random starting seed 31999 would give chain 3 the seed "
        "32001, above the largest seed 32000.  Please choose a seed of at most 31998, or 0 for seeds from "
        "the time of day.\n");
    EXPECT_FALSE(fs::exists(root_.File("study/qebdat.tmp")));
    EXPECT_EQ(ChainSeedFailure(31998, 3), "");
    EXPECT_EQ(ChainSeedFailure(0, 64), "");
    EXPECT_EQ(ChainSeedFailure(32000, 1), "");
    EXPECT_EQ(ChainSeedFailure(32001, 2), "");  // the setting's own range check reports it

    EXPECT_EQ(ChainSeeds(7, 3, 123), (std::vector<int32_t>{7, 8, 9}));
    // From the clock: chain 1 in 1 .. 32001 - K, the others after it.
    for (long long clock : {0LL, 1LL, 31935LL, 31936LL, 1765000000LL, -5LL}) {
        const std::vector<int32_t> seeds = ChainSeeds(0, 64, clock);
        ASSERT_EQ(seeds.size(), 64u);
        EXPECT_GE(seeds.front(), 1);
        EXPECT_LE(seeds.front(), 32001 - 64);
        EXPECT_EQ(seeds.back(), seeds.front() + 63);
    }
    EXPECT_NE(ChainSeeds(0, 2, 100), ChainSeeds(0, 2, 101));

    for (const char* chains : {"0", "65", "x"}) EXPECT_NE(Estimate({"--chains", chains}), 0) << chains;
    EXPECT_NE(Estimate({"--chains", "2", "--jobs", "0"}), 0);
    EXPECT_NE(Err().find("--jobs"), std::string::npos) << Err();
    EXPECT_GE(DefaultJobs(), 1);
}

}  // namespace
}  // namespace ombrel
