// Runs the built ombrel program, which starts the built kivotra beside it, on small studies written
// into temporary folders, and checks the files that come out.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

extern char** environ;

namespace ombrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

const std::string kOmbrel = std::string(OMBREL_BINARY_DIR) + "/bin/ombrel";

// Small settings so that every run ends well under a second: 20 preliminary iterations, then 10 used
// draws, every iteration sampled.
const std::vector<std::string> kQuickSettings = {"--iterations", "20", "--draws", "10",
                                                 "--draw-skip",  "1",  "--seed",  "3"};

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// One ombrel process with its output streams in files beside the study; started at construction,
// collected by Wait, so that two can run at once.
class OmbrelProcess {
public:
    OmbrelProcess(std::vector<std::string> arguments, const std::string& streamPrefix)
        : outPath_(streamPrefix + ".out"), errPath_(streamPrefix + ".err") {
        arguments.insert(arguments.begin(), kOmbrel);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        spawned_ = posix_spawn(&pid_, kOmbrel.c_str(), &actions, nullptr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~OmbrelProcess() {
        if (spawned_ && !collected_) Wait();
    }
    OmbrelProcess(const OmbrelProcess&) = delete;
    OmbrelProcess& operator=(const OmbrelProcess&) = delete;

    pid_t Pid() const { return pid_; }
    const std::string& ErrPath() const { return errPath_; }

    Outcome Wait() {
        Outcome outcome;
        if (!spawned_ || collected_) return outcome;
        collected_ = true;
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0) {
            if (errno != EINTR) return outcome;
        }
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        outcome.out = ReadFileText(outPath_);
        outcome.err = ReadFileText(errPath_);
        return outcome;
    }

private:
    std::string outPath_;
    std::string errPath_;
    pid_t pid_ = 0;
    bool spawned_ = false;
    bool collected_ = false;
};

// Three attributes of 3, 3 and 2 levels.
const char* const kAttributes =
    "Alpha\n\nBeta\n\nGamma\n\n\n"
    "Small\n\nMedium\n\nLarge\n\n\n"
    "Light\n\nDark\n";

// Attribute 1 part-worth, 2 linear with the values below, 3 linear with the numbers of the data file,
// the None parameter, and the interaction of attributes 1 and 2.
const char* const kEffects = "1 -2 #3 0\n1 2\n";
const char* const kValues = "Brand\n1 2 3\nCups\n1 2 3\nRoast\n0 0\n";

constexpr int kRespondents = 8;
constexpr int kTasks = 5;
constexpr int kConcepts = 3;

int Level1(int r, int t, int c) { return (r + t + c) % 3 + 1; }
int Level2(int r, int t, int c) { return (2 * r + t + 2 * c) % 3 + 1; }
int Level3(int r, int t, int c) { return (r + t * c) % 2 + 1; }

// Respondents 101 .. 108, one respondent variable alternating 2, 1, 2, ...; each task has three
// concepts and a None alternative (choice 4). Attribute 3 holds the roast's strength, 1.5 or 3.25,
// in place of a level code.
std::string ChoiceData() {
    std::ostringstream text;
    for (int r = 1; r <= kRespondents; ++r) {
        text << 100 + r << " 1 3 " << kTasks << " 1\n" << r % 2 + 1 << "\n";
        for (int t = 1; t <= kTasks; ++t) {
            text << kConcepts << " 1\n";
            for (int c = 1; c <= kConcepts; ++c) {
                text << Level1(r, t, c) << ' ' << Level2(r, t, c) << ' '
                     << (Level3(r, t, c) == 1 ? "1.5" : "3.25") << "\n";
            }
            text << (3 * r + 5 * t) % 4 + 1 << " 9\n";
        }
    }
    return text.str();
}

// The same design as allocation data without a None alternative, all attributes part-worths.
std::string AllocationData() {
    static const int kPoints[4][kConcepts] = {{10, 0, 0}, {5, 5, 0}, {0, 3, 7}, {2, 2, 6}};
    std::ostringstream text;
    for (int r = 1; r <= kRespondents; ++r) {
        text << 100 + r << " 1 3 " << kTasks << " 0\n" << r % 2 + 1 << "\n";
        for (int t = 1; t <= kTasks; ++t) {
            text << kConcepts << "\n";
            for (int c = 1; c <= kConcepts; ++c) {
                text << Level1(r, t, c) << ' ' << Level2(r, t, c) << ' ' << Level3(r, t, c) << ' '
                     << kPoints[(r + t) % 4][c - 1] << "\n";
            }
        }
    }
    return text.str();
}

// What every ".hbu" of the two studies starts with: the five numbers, the level counts, the effects
// matrix and the layout, which is also the whole ".lay".
const std::string kChoiceLayout =
    "1 1 Alpha\n1 2 Beta\n1 3 Gamma\n2 1 Cups\n3 1 Roast\n"
    "Alpha x Cups\nBeta x Cups\nGamma x Cups\nNONE\n";
const std::string kChoiceHbuHead = "3 1 9 1 1\n3 1 1 \n1 1 0 \n1 -1 0 \n0 0 -1 \n" + kChoiceLayout;
const std::string kChoiceCsvHeader =
    "Respondent,RLH,Merged Variables,Parameters,None,Alpha,Beta,Gamma,Cups,Roast,"
    "Alpha x Cups,Beta x Cups,Gamma x Cups\n";
constexpr int kChoiceLevels = 9;

const std::string kAllocationLayout =
    "1 1 Alpha\n1 2 Beta\n1 3 Gamma\n2 1 Small\n2 2 Medium\n2 3 Large\n3 1 Light\n3 2 Dark\n";
const std::string kAllocationHbuHead = "3 0 8 1 1\n3 3 2 \n1 0 0 \n0 1 0 \n0 0 1 \n" + kAllocationLayout;
constexpr int kAllocationLevels = 8;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> Tokens(const std::string& text) {
    std::vector<std::string> tokens;
    std::istringstream in(text);
    for (std::string token; in >> token;) tokens.push_back(token);
    return tokens;
}

// The respondent numbers of the records that follow a ".hbu" head, checking that each record holds
// its five header numbers and levels values.
std::vector<int> HbuRespondents(const std::string& hbu, const std::string& head, int levels) {
    std::vector<int> respondents;
    if (hbu.compare(0, head.size(), head) != 0) {
        ADD_FAILURE() << "the .hbu does not start with the expected head:\n" << hbu.substr(0, head.size());
        return respondents;
    }
    std::vector<std::string> tokens = Tokens(hbu.substr(head.size()));
    const size_t record = 5 + static_cast<size_t>(levels);
    EXPECT_EQ(tokens.size() % record, 0u) << "the respondent records are not whole";
    for (size_t i = 0; i + record <= tokens.size(); i += record) {
        respondents.push_back(std::stoi(tokens[i]));
        EXPECT_EQ(tokens[i + 2], "0");
        EXPECT_EQ(tokens[i + 3], std::to_string(levels));
    }
    return respondents;
}

// The completed iteration count of a restart file: its first line is "N P iterations jump".
int RestartIterations(const std::string& path) {
    std::vector<std::string> tokens = Tokens(ReadFileText(path));
    return tokens.size() >= 3 ? std::stoi(tokens[2]) : -1;
}

class EndToEndTest : public ::testing::Test {
protected:
    void WriteChoiceStudy(const std::string& folder) {
        fs::create_directories(folder);
        WriteFileText(folder + "/study.att", kAttributes);
        WriteFileText(folder + "/study.eff", kEffects);
        WriteFileText(folder + "/study.val", kValues);
        WriteFileText(folder + "/study.cho", ChoiceData());
    }
    void WriteAllocationStudy(const std::string& folder) {
        fs::create_directories(folder);
        WriteFileText(folder + "/study.att", kAttributes);
        WriteFileText(folder + "/study.chs", AllocationData());
    }

    Outcome Estimate(const std::string& dataFile, std::vector<std::string> options) {
        options.insert(options.begin(), {"estimate", dataFile});
        OmbrelProcess process(options, root_.File("run" + std::to_string(++runs_)));
        return process.Wait();
    }

    static bool Exists(const std::string& path) { return fs::exists(path); }

    TempDir root_;
    int runs_ = 0;
};

TEST_F(EndToEndTest, ChoiceStudyWritesEveryResultFile) {
    const std::string study = root_.File("cho") + "/study";
    WriteChoiceStudy(root_.File("cho"));

    Outcome run = Estimate(study + ".cho", kQuickSettings);
    ASSERT_EQ(run.status, 0) << run.err;

    // The preparation report goes to standard output.
    EXPECT_NE(run.out.find("Preparing Files For HB Analysis\nData file: " + study + ".cho"),
              std::string::npos);
    EXPECT_NE(run.out.find("\n\nParameters to be estimated are described in the <studyname>.eff file."
                           "\nValues for attribute levels have been zero-centered."),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\n\nFiles built for 8 respondents."), std::string::npos) << run.out;
    EXPECT_NE(
        run.out.find("\n\nThere are 40 choice tasks in total, or an average of 5.0 tasks per respondent."),
        std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\n\nThe number of parameters to be estimated is 7, including 'none'."),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("total weight per task"), std::string::npos);

    for (const char* extension :
         {".hbu", ".lay", ".csv", ".std", ".sum", ".alp", ".cov", ".res", ".log", ".set"}) {
        EXPECT_TRUE(Exists(study + extension)) << extension;
    }
    EXPECT_FALSE(Exists(study + ".dra"));
    EXPECT_FALSE(Exists(study + ".bet"));  // no constraints

    EXPECT_EQ(ReadFileText(study + ".lay"), kChoiceLayout);
    std::vector<int> respondents =
        HbuRespondents(ReadFileText(study + ".hbu"), kChoiceHbuHead, kChoiceLevels);
    EXPECT_EQ(respondents, (std::vector<int>{101, 102, 103, 104, 105, 106, 107, 108}));

    std::vector<std::string> csv = Lines(ReadFileText(study + ".csv"));
    ASSERT_EQ(csv.size(), 9u);
    EXPECT_EQ(csv[0] + "\n", kChoiceCsvHeader);
    EXPECT_EQ(csv[1].substr(0, 8), "    101,");
    EXPECT_EQ(std::count(csv[1].begin(), csv[1].end(), ','), 4 + kChoiceLevels);

    // 30 iterations, each one sampled: 30 history lines, 7 parameters give 28 covariance values.
    std::vector<std::string> alp = Lines(ReadFileText(study + ".alp"));
    ASSERT_EQ(alp.size(), 30u);
    EXPECT_EQ(Tokens(alp[0]).size(), static_cast<size_t>(kChoiceLevels));
    std::vector<std::string> cov = Lines(ReadFileText(study + ".cov"));
    ASSERT_EQ(cov.size(), 30u);
    EXPECT_EQ(cov[0].size(), 28u * 8u);

    std::vector<std::string> restart = Tokens(Lines(ReadFileText(study + ".res")).at(0));
    ASSERT_EQ(restart.size(), 4u);
    EXPECT_EQ(restart[0], "8");
    EXPECT_EQ(restart[1], "7");
    EXPECT_EQ(restart[2], "30");

    // The standard deviations: per respondent its number, then 9 values.
    std::vector<std::string> deviations = Tokens(ReadFileText(study + ".std"));
    EXPECT_EQ(deviations.size(), 8u * (1 + kChoiceLevels));
    EXPECT_EQ(ReadFileText(study + ".sum").rfind("Point Estimate of Alpha\n", 0), 0u);

    const std::string log = ReadFileText(study + ".log");
    EXPECT_NE(log.find("Preparing Files For HB Analysis"), std::string::npos);
    EXPECT_NE(log.find("\n\nThis session did 30 iterations in "), std::string::npos) << log;

    // The temporary allocation file converted from the choice data is gone.
    for (const fs::directory_entry& entry : fs::directory_iterator(root_.File("cho"))) {
        const std::string name = entry.path().filename().string();
        const bool converted = name.rfind("qeb", 0) == 0 && name != "qebdat.tmp" && name != "qebatt.tmp";
        EXPECT_FALSE(converted) << name;
    }
}

TEST_F(EndToEndTest, AllocationStudyWithSavedDraws) {
    const std::string study = root_.File("chs") + "/study";
    WriteAllocationStudy(root_.File("chs"));
    std::vector<std::string> options = kQuickSettings;
    options.push_back("--save-draws");

    Outcome run = Estimate(study + ".chs", options);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\n\nTotal number of points given each response category:"), std::string::npos);
    // Each of the four point patterns, with 1, 2, 2 and 3 nonzero answers, serves 10 of the 40 tasks.
    EXPECT_NE(run.out.find("\n\nThere are 80 expanded choice tasks in total, or an average of 10.0 expanded "
                           "tasks per respondent."),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\n\nThe number of parameters to be estimated is 5, with no 'none'."),
              std::string::npos);
    EXPECT_NE(run.out.find("\n\nThe total weight per task is 5.00."), std::string::npos) << run.out;
    // Saved draws: the verdict measures the respondents' values too, 8 levels of 8 respondents.
    EXPECT_NE(run.out.find("\nRespondent values: "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" of 64 have an R-hat of 1.01 or more; the worst is respondent 10"),
              std::string::npos)
        << run.out;

    for (const char* extension : {".hbu", ".lay", ".csv", ".dra", ".sum", ".alp", ".cov", ".res", ".log"}) {
        EXPECT_TRUE(Exists(study + extension)) << extension;
    }
    EXPECT_FALSE(Exists(study + ".std"));
    EXPECT_EQ(ReadFileText(study + ".lay"), kAllocationLayout);
    EXPECT_EQ(HbuRespondents(ReadFileText(study + ".hbu"), kAllocationHbuHead, kAllocationLevels).size(), 8u);
    EXPECT_EQ(
        Lines(ReadFileText(study + ".csv")).at(0),
        "Respondent,RLH,Merged Variables,Parameters,None,Alpha,Beta,Gamma,Small,Medium,Large,Light,Dark");

    // The draws: 10 records per respondent, respondent by respondent, each a header and 8 values.
    std::vector<std::string> draws = Tokens(ReadFileText(study + ".dra"));
    const size_t record = 5 + kAllocationLevels;
    ASSERT_EQ(draws.size(), 8u * 10u * record);
    for (size_t i = 0; i < draws.size(); i += record) {
        EXPECT_EQ(draws[i], std::to_string(101 + i / record / 10)) << "record " << i / record;
        EXPECT_EQ(draws[i + 4], "0");
    }
    // Draw scratch files are removed after a completed run.
    EXPECT_FALSE(Exists(root_.File("chs") + "/betas.tmp"));
    EXPECT_FALSE(Exists(root_.File("chs") + "/betas.srt"));
}

// Tie Draws on the saved draws of an unconstrained run: the draws and constraints files are found
// beside the part-worth file, and the tied part-worths keep the ordering (level 1 >= level 3 of the
// first attribute), to the three decimals they are printed with.
TEST_F(EndToEndTest, TieDrawsEnforcesTheConstraintsOnSavedDraws) {
    const std::string study = root_.File("chs") + "/study";
    WriteAllocationStudy(root_.File("chs"));
    ASSERT_EQ(Estimate(study + ".chs", {"--iterations", "20", "--draws", "10", "--draw-skip", "1", "--seed",
                                        "3", "--save-draws", "--fresh"})
                  .status,
              0);
    WriteFileText(study + ".con", "1 1 3\n");
    OmbrelProcess process({"tie-draws", study + ".hbu"}, root_.File("tie"));
    Outcome tie = process.Wait();
    ASSERT_EQ(tie.status, 0) << tie.err;
    EXPECT_FALSE(tie.out.empty());
    ASSERT_TRUE(Exists(study + "_tiedraws.hbu"));
    EXPECT_TRUE(Exists(study + "_tiedraws.csv"));
    const std::string tied = ReadFileText(study + "_tiedraws.hbu");
    EXPECT_EQ(HbuRespondents(tied, kAllocationHbuHead, kAllocationLevels).size(), 8u);
    std::vector<std::string> tokens = Tokens(tied.substr(std::string(kAllocationHbuHead).size()));
    const size_t record = 5 + kAllocationLevels;
    for (size_t i = 0; i + record <= tokens.size(); i += record)
        EXPECT_GE(std::stod(tokens[i + 5]) - std::stod(tokens[i + 7]), -0.0015) << "respondent " << tokens[i];
}

TEST_F(EndToEndTest, QualifiersAndSubsetNarrowTheData) {
    const std::string study = root_.File("cho") + "/study";
    WriteChoiceStudy(root_.File("cho"));
    WriteFileText(study + ".qal", "1 = 1\n");
    WriteFileText(study + ".sub", "1 3\n");

    Outcome run = Estimate(study + ".cho", kQuickSettings);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(
        run.out.find(
            "\n\nRespondents must satisfy these conditions to qualify:\nCondition 1: Variable # 1 = 1\n"),
        std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\n\nOnly the following tasks will be used for estimation:\n1 3 "),
              std::string::npos);
    EXPECT_NE(run.out.find("\n\nFiles built for 4 respondents."), std::string::npos) << run.out;
    EXPECT_NE(
        run.out.find("\n\nThere are 8 choice tasks in total, or an average of 2.0 tasks per respondent."),
        std::string::npos)
        << run.out;

    // Respondent variable 1 is 1 for the even respondents.
    EXPECT_EQ(HbuRespondents(ReadFileText(study + ".hbu"), kChoiceHbuHead, kChoiceLevels),
              (std::vector<int>{102, 104, 106, 108}));
    EXPECT_EQ(Lines(ReadFileText(study + ".csv")).size(), 5u);
    EXPECT_EQ(Tokens(ReadFileText(study + ".res")).at(0), "4");
}

TEST_F(EndToEndTest, SameSeedSameFilesAndResumeContinues) {
    const std::string study = root_.File("cho") + "/study";
    WriteChoiceStudy(root_.File("cho"));
    const std::vector<std::string> results = {".hbu", ".csv", ".std", ".sum", ".alp", ".cov", ".res"};

    Outcome first = Estimate(study + ".cho", kQuickSettings);
    ASSERT_EQ(first.status, 0) << first.err;
    std::vector<std::vector<unsigned char>> firstFiles;
    for (const std::string& extension : results) firstFiles.push_back(test::ReadFileBytes(study + extension));

    // A restart file is there now: the command wants to be told what to do with it.
    Outcome undecided = Estimate(study + ".cho", kQuickSettings);
    EXPECT_NE(undecided.status, 0);
    EXPECT_NE(undecided.err.find("A restart file is available: " + study + ".res."), std::string::npos)
        << undecided.err;

    std::vector<std::string> fresh = kQuickSettings;
    fresh.push_back("--fresh");
    Outcome second = Estimate(study + ".cho", fresh);
    ASSERT_EQ(second.status, 0) << second.err;
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_TRUE(test::BytesEqual(firstFiles[i], test::ReadFileBytes(study + results[i]))) << results[i];
    }

    // Resuming keeps the settings saved with the study, counts on from 30 and appends to the histories.
    Outcome resumed = Estimate(study + ".cho", {"--resume"});
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(resumed.out.find("Preparing Files For HB Analysis"), std::string::npos)
        << "a resumed study is not prepared again";
    EXPECT_EQ(RestartIterations(study + ".res"), 60);
    EXPECT_EQ(Lines(ReadFileText(study + ".alp")).size(), 60u);
    EXPECT_EQ(HbuRespondents(ReadFileText(study + ".hbu"), kChoiceHbuHead, kChoiceLevels).size(), 8u);

    Outcome restarted = Estimate(study + ".cho", {"--fresh"});
    ASSERT_EQ(restarted.status, 0) << restarted.err;
    EXPECT_EQ(RestartIterations(study + ".res"), 30);
    EXPECT_EQ(Lines(ReadFileText(study + ".alp")).size(), 30u);
    // Same settings, same seed: the fresh start repeats the first run exactly.
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_TRUE(test::BytesEqual(firstFiles[i], test::ReadFileBytes(study + results[i]))) << results[i];
    }
}

TEST_F(EndToEndTest, FailuresStopWithTheirMessageAndAFailureStatus) {
    // A level text of ten lines: the preparation stops before the estimator is started.
    const std::string bad = root_.File("bad") + "/study";
    WriteChoiceStudy(root_.File("bad"));
    WriteFileText(bad + ".att",
                  "Alpha\n1\n2\n3\n4\n5\n6\n7\n8\n9\n\nBeta\n\nGamma\n\n\nSmall\n\nMedium\n\nLarge"
                  "\n\n\nLight\n\nDark\n");
    Outcome run = Estimate(bad + ".cho", kQuickSettings);
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(
        run.err,
        "Feldrin Software Ombrel: The text for a level in the <studyname>.att file has too many lines.  "
        "Please check the file.\n");
    for (const char* extension : {".hbu", ".res", ".alp", ".cov", ".log"}) {
        EXPECT_FALSE(Exists(bad + extension)) << extension;
    }

    // A custom prior with too few numbers: the estimator stops with its message, and the command does
    // not report that as success.
    const std::string prior = root_.File("prior") + "/study";
    WriteChoiceStudy(root_.File("prior"));
    WriteFileText(prior + ".mtrx", "1 0 0\n0 1 0\n");
    run = Estimate(prior + ".cho", kQuickSettings);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("The <studyname>.mtrx file is incomplete"), std::string::npos) << run.err;
    EXPECT_FALSE(Exists(prior + ".hbu"));
    EXPECT_FALSE(Exists(prior + ".res"));
}

TEST_F(EndToEndTest, TwoStudiesEstimatedAtTheSameTime) {
    const std::string choice = root_.File("a") + "/study";
    const std::string allocation = root_.File("b") + "/study";
    WriteChoiceStudy(root_.File("a"));
    WriteAllocationStudy(root_.File("b"));
    std::vector<std::string> first = {"estimate", choice + ".cho"};
    std::vector<std::string> second = {"estimate", allocation + ".chs"};
    first.insert(first.end(), kQuickSettings.begin(), kQuickSettings.end());
    second.insert(second.end(), kQuickSettings.begin(), kQuickSettings.end());

    OmbrelProcess a(first, root_.File("a.run"));
    OmbrelProcess b(second, root_.File("b.run"));
    Outcome outcomeA = a.Wait();
    Outcome outcomeB = b.Wait();
    ASSERT_EQ(outcomeA.status, 0) << outcomeA.err;
    ASSERT_EQ(outcomeB.status, 0) << outcomeB.err;
    // Each estimator worked on its own study.
    EXPECT_EQ(HbuRespondents(ReadFileText(choice + ".hbu"), kChoiceHbuHead, kChoiceLevels).size(), 8u);
    EXPECT_EQ(HbuRespondents(ReadFileText(allocation + ".hbu"), kAllocationHbuHead, kAllocationLevels).size(),
              8u);
    EXPECT_EQ(RestartIterations(choice + ".res"), 30);
    EXPECT_EQ(RestartIterations(allocation + ".res"), 30);
}

// One chain is the single run of kivotra: the same files, byte for byte, and nothing else.
TEST_F(EndToEndTest, OneChainWritesWhatAPlainRunWrites) {
    const std::vector<std::string> results = {".hbu", ".lay", ".csv", ".std", ".sum", ".alp", ".cov", ".res"};
    std::vector<std::vector<std::string>> files;
    std::vector<std::vector<std::string>> names;
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, {"--chains", "1", "--jobs", "3"}}) {
        const std::string folder = root_.File("one" + std::to_string(files.size()));
        WriteChoiceStudy(folder);
        std::vector<std::string> options = kQuickSettings;
        options.insert(options.end(), extra.begin(), extra.end());
        Outcome run = Estimate(folder + "/study.cho", options);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out.find("Chain 1 of"), std::string::npos);
        EXPECT_NE(run.out.find("\nConvergence diagnostics of study\nChains: 1 (seed 3), 10 draws\n"),
                  std::string::npos)
            << run.out;
        files.emplace_back();
        for (const std::string& extension : results)
            files.back().push_back(ReadFileText(folder + "/study" + extension));
        names.emplace_back();
        for (const fs::directory_entry& entry : fs::directory_iterator(folder))
            names.back().push_back(entry.path().filename().string());
        std::sort(names.back().begin(), names.back().end());
    }
    for (size_t i = 0; i < results.size(); ++i) EXPECT_EQ(files[0][i], files[1][i]) << results[i];
    EXPECT_EQ(names[0], names[1]);
}

// Three chains on two threads of the built program: the chain folders, the pooled results, and chain
// 1 exactly the single run of the same seed.
TEST_F(EndToEndTest, ThreeChainsPoolTheirDraws) {
    const std::string study = root_.File("cho") + "/study";
    WriteChoiceStudy(root_.File("cho"));
    const std::string single = root_.File("single") + "/study";
    WriteChoiceStudy(root_.File("single"));
    ASSERT_EQ(Estimate(single + ".cho", kQuickSettings).status, 0);

    std::vector<std::string> options = kQuickSettings;
    options.insert(options.end(), {"--chains", "3", "--jobs", "2"});
    Outcome run = Estimate(study + ".cho", options);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Chain 3 of 3 (seed 5) started."), std::string::npos) << run.out;
    for (int k = 1; k <= 3; ++k) {
        const std::string chain = root_.File("cho") + "/study_chain" + std::to_string(k) + "/study";
        for (const char* extension : {".hbu", ".csv", ".std", ".sum", ".alp", ".cov", ".res", ".log", ".set"})
            EXPECT_TRUE(Exists(chain + extension)) << k << extension;
    }
    for (const char* extension : {".hbu", ".lay", ".csv", ".std", ".sum"})
        EXPECT_TRUE(Exists(study + extension)) << extension;
    EXPECT_EQ(HbuRespondents(ReadFileText(study + ".hbu"), kChoiceHbuHead, kChoiceLevels).size(), 8u);
    for (const char* extension : {".hbu", ".csv", ".std", ".sum", ".alp", ".cov", ".res"})
        EXPECT_EQ(ReadFileText(root_.File("cho") + "/study_chain1/study" + extension),
                  ReadFileText(single + extension))
            << extension;
}

// SIGTERM stops every chain after its current iteration: each keeps its restart file, nothing is
// pooled, and the status is that of a stop.
TEST_F(EndToEndTest, SigtermStopsEveryChain) {
    const std::string study = root_.File("cho") + "/study";
    WriteChoiceStudy(root_.File("cho"));
    OmbrelProcess process({"estimate", study + ".cho", "--iterations", "1000000", "--seed", "3", "--chains",
                           "2", "--jobs", "2"},
                          root_.File("stopped"));
    ASSERT_GT(process.Pid(), 0);
    // Both chains have reported an iteration, so both loops run.
    for (int i = 0; i < 1000; ++i) {
        const std::string err = ReadFileText(process.ErrPath());
        if (err.find("Chain 1 of 2: Iteration") != std::string::npos &&
            err.find("Chain 2 of 2: Iteration") != std::string::npos)
            break;
        usleep(10000);
    }
    kill(process.Pid(), SIGTERM);
    Outcome run = process.Wait();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Chain 1 of 2 stopped: This session did "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Chain 2 of 2 stopped: This session did "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("no pooled results were written"), std::string::npos) << run.out;
    for (int k = 1; k <= 2; ++k) {
        const std::string chain = root_.File("cho") + "/study_chain" + std::to_string(k) + "/study";
        EXPECT_GE(RestartIterations(chain + ".res"), 1) << k;
        EXPECT_FALSE(Exists(chain + ".hbu")) << k;
    }
    EXPECT_FALSE(Exists(study + ".hbu"));
    EXPECT_FALSE(Exists(study + "_diagnostics.csv"));
    EXPECT_FALSE(Exists(study + ".diag"));
}

// Forty respondents choosing among three concepts of two three-level attributes and None, by a logit
// model around known part-worths; a fixed Mersenne Twister with its own normal and Gumbel draws keeps
// the data the same on every standard library.
class SimulatedChoices {
public:
    std::string Data() {
        const double mean[2][3] = {{0.8, 0.0, -0.8}, {-0.6, 0.1, 0.5}};
        std::ostringstream text;
        for (int r = 1; r <= 40; ++r) {
            double partWorths[2][3];
            for (int a = 0; a < 2; ++a)
                for (int l = 0; l < 3; ++l) partWorths[a][l] = mean[a][l] + 0.5 * Normal();
            const double none = -0.5 + 0.5 * Normal();
            text << r << " 0 2 8 1\n";
            for (int t = 0; t < 8; ++t) {
                text << "3 1\n";
                int best = 4;
                double bestUtility = none + Gumbel();
                for (int c = 1; c <= 3; ++c) {
                    const int a = static_cast<int>(generator_() % 3);
                    const int b = static_cast<int>(generator_() % 3);
                    text << a + 1 << ' ' << b + 1 << "\n";
                    const double utility = partWorths[0][a] + partWorths[1][b] + Gumbel();
                    if (utility > bestUtility) {
                        bestUtility = utility;
                        best = c;
                    }
                }
                text << best << " 5\n";
            }
        }
        return text.str();
    }

private:
    double Uniform() { return (static_cast<double>(generator_()) + 0.5) / 4294967296.0; }
    double Normal() {
        return std::sqrt(-2.0 * std::log(Uniform())) * std::cos(6.283185307179586 * Uniform());
    }
    double Gumbel() { return -std::log(-std::log(Uniform())); }

    std::mt19937 generator_{11};
};

// The verdict of three chains with over-dispersed starts: without preliminary iterations and with a
// few draws the chains still disagree; after a burn-in and with thinned draws they agree and the
// draws are enough. The verdict printed is the verdict file, and the table has a row per quantity.
TEST_F(EndToEndTest, TheVerdictTellsAShortRunFromALongOne) {
    const std::string data = SimulatedChoices().Data();
    const auto estimate = [&](const std::string& name, std::vector<std::string> options) {
        fs::create_directories(root_.File(name));
        WriteFileText(root_.File(name) + "/study.att",
                      "Red\n\nGreen\n\nBlue\n\n\nSmall\n\nMedium\n\nLarge\n");
        WriteFileText(root_.File(name) + "/study.cho", data);
        options.insert(options.end(), {"--seed", "3", "--chains", "3", "--jobs", "2"});
        Outcome run = Estimate(root_.File(name) + "/study.cho", options);
        EXPECT_EQ(run.status, 0) << run.err;
        return run.out;
    };
    const std::string shortRun =
        estimate("short", {"--iterations", "0", "--draws", "20", "--draw-skip", "1"});
    EXPECT_NE(shortRun.find("\nChains: 3 (seeds 3, 4, 5), 20 draws each\n"), std::string::npos) << shortRun;
    EXPECT_NE(shortRun.find("\nNot converged: the worst R-hat is 1.01 or more and the smallest ESS is below "
                            "400; run more preliminary iterations, and save more draws or use a larger "
                            "draw skip factor.\n"),
              std::string::npos)
        << shortRun;

    const std::string longRun =
        estimate("long", {"--iterations", "1000", "--draws", "1000", "--draw-skip", "20"});
    const std::string verdict = ReadFileText(root_.File("long") + "/study.diag");
    EXPECT_EQ(longRun.substr(longRun.size() - std::min(longRun.size(), verdict.size())), verdict);
    EXPECT_NE(verdict.find("\nConverged: every R-hat is below 1.01 and every bulk and tail ESS is at least "
                           "400.\n"),
              std::string::npos)
        << verdict;
    const std::vector<std::string> table = Lines(ReadFileText(root_.File("long") + "/study_diagnostics.csv"));
    ASSERT_EQ(table.size(), 1u + 7u + 5u);  // seven level values of alpha, five parameter variances
    EXPECT_EQ(table[0], "kind,index,label,mean,sd,rhat,ess_bulk,ess_tail");
    EXPECT_EQ(table[1].rfind("alpha,1,Red,", 0), 0u) << table[1];
    EXPECT_EQ(table[7].rfind("alpha,7,NONE,", 0), 0u) << table[7];
    EXPECT_EQ(table[8].rfind("variance,1,Red,", 0), 0u) << table[8];
    EXPECT_EQ(table[12].rfind("variance,5,NONE,", 0), 0u) << table[12];
}

// The respondent pass's thread count changes nothing: the choice study, and the constrained
// allocation study with saved draws, give the same files to the byte on 1, 2, 3 and 8 threads, and
// the same log lines (the closing sentence, which tells the time taken, aside).
TEST_F(EndToEndTest, AnyThreadCountWritesTheSameFiles) {
    const std::vector<std::string> choiceFiles = {".hbu", ".csv", ".std", ".sum", ".alp", ".cov", ".res"};
    const std::vector<std::string> constrainedFiles = {".hbu", ".csv", ".dra", ".sum",
                                                       ".alp", ".cov", ".bet", ".res"};
    for (bool constrained : {false, true}) {
        std::vector<std::vector<std::string>> runs;
        for (const char* threads : {"1", "2", "3", "8"}) {
            const std::string folder = root_.File(std::string(constrained ? "con" : "cho") + threads);
            std::vector<std::string> options = kQuickSettings;
            options.insert(options.end(), {"--threads", threads});
            if (constrained) {
                WriteAllocationStudy(folder);
                WriteFileText(folder + "/study.con", "1 1 3\n");
                options.push_back("--save-draws");
            } else {
                WriteChoiceStudy(folder);
            }
            Outcome run = Estimate(folder + (constrained ? "/study.chs" : "/study.cho"), options);
            ASSERT_EQ(run.status, 0) << run.err;
            runs.emplace_back();
            for (const std::string& extension : constrained ? constrainedFiles : choiceFiles) {
                runs.back().push_back(ReadFileText(folder + "/study" + extension));
                EXPECT_FALSE(runs.back().back().empty()) << extension;
            }
            const std::string log = ReadFileText(folder + "/study.log");
            const size_t iterations = log.find("\nIteration ");
            ASSERT_NE(iterations, std::string::npos) << log;
            runs.back().push_back(log.substr(iterations, log.find("This session did ") - iterations));
        }
        ASSERT_FALSE(runs[0][0].empty());
        for (size_t run = 1; run < runs.size(); ++run)
            for (size_t i = 0; i < runs[0].size(); ++i)
                EXPECT_EQ(runs[0][i], runs[run][i])
                    << (constrained ? "constrained" : "choice") << " run " << run << ", file " << i;
    }
}

// Two chains in-process, their threads shared out: the same pooled files for any thread count.
TEST_F(EndToEndTest, ChainsGiveTheSameFilesForAnyThreadCount) {
    std::vector<std::vector<std::string>> runs;
    for (const char* threads : {"1", "4"}) {
        const std::string folder = root_.File(std::string("chains") + threads);
        WriteChoiceStudy(folder);
        std::vector<std::string> options = kQuickSettings;
        options.insert(options.end(), {"--chains", "2", "--jobs", "1", "--threads", threads});
        Outcome run = Estimate(folder + "/study.cho", options);
        ASSERT_EQ(run.status, 0) << run.err;
        runs.emplace_back();
        // The pooled results, and the histories and restart file of the over-dispersed chain.
        for (const char* file :
             {"/study.hbu", "/study.csv", "/study.std", "/study.sum", "/study_chain2/study.alp",
              "/study_chain2/study.cov", "/study_chain2/study.res"}) {
            runs.back().push_back(ReadFileText(folder + file));
            EXPECT_FALSE(runs.back().back().empty()) << file;
        }
    }
    ASSERT_FALSE(runs[0][0].empty());
    for (size_t i = 0; i < runs[0].size(); ++i) EXPECT_EQ(runs[0][i], runs[1][i]) << "file " << i;
}

// The sum of one numeric column of a CSV (column 1 is the second), over its data lines.
double ColumnSum(const std::string& csv, size_t column) {
    double sum = 0.0;
    const std::vector<std::string> lines = Lines(csv);
    for (size_t i = 1; i < lines.size(); ++i) {
        std::istringstream in(lines[i]);
        std::string field;
        for (size_t k = 0; k <= column; ++k) std::getline(in, field, ',');
        sum += std::stod(field);
    }
    return sum;
}

// The analyses on an estimation with saved draws whose tasks 4 and 5 were held out: the importances
// of the three attributes sum to 100 with the interaction named, the shares over the draws to 100,
// and each holdout task has its row.
TEST_F(EndToEndTest, ImportancesSimulationAndHoldoutOfAnEstimatedStudy) {
    const std::string study = root_.File("cho") + "/study";
    WriteChoiceStudy(root_.File("cho"));
    WriteFileText(study + ".sub", "1 2 3\n");
    std::vector<std::string> options = kQuickSettings;
    options.push_back("--save-draws");
    ASSERT_EQ(Estimate(study + ".cho", options).status, 0);

    Outcome importances = OmbrelProcess({"importances", study + ".cho"}, root_.File("imp")).Wait();
    ASSERT_EQ(importances.status, 0) << importances.err;
    EXPECT_NE(importances.out.find("\n  Brand x Cups\n"), std::string::npos) << importances.out;
    const std::string table = ReadFileText(study + "_importances.csv");
    std::vector<std::string> rows = Lines(table);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "attribute,label,mean,sd");
    EXPECT_EQ(rows[1].substr(0, 8), "1,Brand,");
    EXPECT_EQ(rows[3].substr(0, 8), "3,Roast,");
    EXPECT_NEAR(ColumnSum(table, 2), 100.0, 0.0005);

    WriteFileText(root_.File("market.txt"), "P1 1 2 1.5\nP2 2 3 3.25\nP3 3 1 2\nNONE\n");
    Outcome simulate =
        OmbrelProcess({"simulate", study + ".cho", root_.File("market.txt")}, root_.File("sim")).Wait();
    ASSERT_EQ(simulate.status, 0) << simulate.err;
    EXPECT_NE(simulate.out.find("intervals over 10 draws each"), std::string::npos) << simulate.out;
    const std::string shares = ReadFileText(root_.File("market_share.csv"));
    EXPECT_EQ(Lines(shares).at(0), "product,share,se,low,high");
    EXPECT_EQ(Lines(shares).size(), 5u);
    EXPECT_NEAR(ColumnSum(shares, 1), 100.0, 0.0005);

    Outcome holdout = OmbrelProcess({"holdout", study + ".cho"}, root_.File("hold")).Wait();
    ASSERT_EQ(holdout.status, 0) << holdout.err;
    rows = Lines(ReadFileText(study + "_holdout.csv"));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "task,hit_rate,share_mae,respondents");
    EXPECT_EQ(rows[1].substr(0, 2), "4,");
    EXPECT_EQ(rows[2].substr(0, 2), "5,");
    EXPECT_EQ(rows[3].substr(0, 4), "all,");
    EXPECT_EQ(rows[3].substr(rows[3].rfind(',')), ",16");
}

}  // namespace
}  // namespace ombrel
