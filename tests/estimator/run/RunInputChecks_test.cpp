// The estimator on hand-edited settings files: every value outside the front end's ranges, NaN and
// infinities included, and every integer beyond 32 bits is refused with its message before any file of
// the study is touched; the ends of the ranges run. Integers beyond 32 bits in the constraints and the
// restart file are refused as well, leaving the folder as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/StudySettings.h"
#include "estimator/run/EstimatorRun.h"
#include "platform/ScriptedMessenger.h"
#include "tests/estimator/RecordingConsole.h"
#include "tests/support/SimulatedSettingsFolder.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::FolderContents;
using test::RecordingConsole;

// The settings file's eleven lines, one of them replaced.
std::string SettingsWithLine(const StudySettings& settings, int line, const std::string& value) {
    std::string text = settings.SettingsText();
    size_t begin = 0;
    for (int i = 1; i < line; ++i) begin = text.find('\n', begin) + 1;
    const size_t end = text.find('\n', begin);
    return text.replace(begin, end - begin, value);
}

struct Refusal {
    int line;
    std::string value;
    std::string message;
};

const std::string kIterations =
    "'Number of iterations before using results' must be an integer between 0 and 1000000.";
const std::string kDraws =
    "'Number of draws to be used for each respondent' must be an integer between 1 and 10000.";
const std::string kDrawSkip = "'Skip factor for using draws' must be an integer between 1 and 100.";
const std::string kLogSkip =
    "'Skip factor for printing in log file' must be an integer between 1 and 100000.";
const std::string kWeight = "'Total task weight' must be a number between 1.0 and 10.0.";
const std::string kDegrees = "'Prior degrees of freedom' must be an integer between 2 and 100000.";
const std::string kVariance = "'Prior variance' must be a number between 0.1 and 100.0.";
const std::string kSeed = "'Random starting seed' must be an integer between 0 and 32000.";

std::vector<Refusal> OutOfRange() {
    return {
        {1, "-1", kIterations},        {1, "1000001", kIterations}, {2, "0", kDraws},
        {2, "10001", kDraws},          {3, "0", kDrawSkip},         {3, "101", kDrawSkip},
        {3, "-2147483648", kDrawSkip}, {4, "0", kLogSkip},          {4, "100001", kLogSkip},
        {6, "0.99", kWeight},          {6, "10.01", kWeight},       {6, "nan", kWeight},
        {6, "inf", kWeight},           {8, "1", kDegrees},          {8, "100001", kDegrees},
        {8, "2147483647", kDegrees},   {9, "0.09", kVariance},      {9, "100.01", kVariance},
        {9, "nan", kVariance},         {9, "-nan", kVariance},      {9, "1e308", kVariance},
        {9, "-inf", kVariance},        {9, "0", kVariance},         {11, "-1", kSeed},
        {11, "32001", kSeed},
    };
}

TEST(RunSettingsChecks, EveryValueOutsideItsRangeIsRefusedBeforeAFileIsTouched) {
    test::SimulatedSettingsFolder study(test::SmallDesign(10, 3), 5, 1);
    for (const Refusal& refusal : OutOfRange()) {
        test::WriteFileText(study.dir.File("study.set"),
                            SettingsWithLine(study.settings, refusal.line, refusal.value));
        const auto before = FolderContents(study.dir.Folder());
        RecordingConsole console;
        EXPECT_EQ(RunEstimator(console.Services(), study.dir.Folder()), 1) << refusal.value;
        EXPECT_EQ(console.messenger.Texts(), std::vector<std::string>{refusal.message}) << refusal.value;
        EXPECT_EQ(FolderContents(study.dir.Folder()), before) << refusal.value;
        EXPECT_EQ(console.iterationsReported, 0);
    }
}

TEST(RunSettingsChecks, SmartStartWithDummyCodingIsRefused) {
    test::SimulatedSettingsFolder study(test::SmallDesign(10, 3), 5, 1);
    StudySettings dummy = study.settings;
    dummy.smartStart = true;
    dummy.effectsCoding = false;
    test::WriteFileText(study.dir.File("study.set"), dummy.SettingsText());
    const auto before = FolderContents(study.dir.Folder());
    RecordingConsole console;
    EXPECT_EQ(RunEstimator(console.Services(), study.dir.Folder()), 1);
    EXPECT_EQ(console.messenger.Texts(),
              std::vector<std::string>{"'Use smart starting betas' cannot be used with 'Use dummy coding'."});
    EXPECT_EQ(FolderContents(study.dir.Folder()), before);
}

// Each integer line, switches included: 2^31, 2^32 + 1 (which a wrapping read takes for 1) and a
// number of twenty digits.
TEST(RunSettingsChecks, AnIntegerBeyond32BitsIsRefusedNamingTheFileAndTheNumber) {
    test::SimulatedSettingsFolder study(test::SmallDesign(10, 3), 5, 1);
    const std::string path = study.dir.File("study.set");
    for (int line : {1, 2, 3, 4, 5, 7, 8, 10, 11}) {
        for (const std::string number : {"2147483648", "4294967297", "-98765432109876543210"}) {
            test::WriteFileText(path, SettingsWithLine(study.settings, line, number));
            const auto before = FolderContents(study.dir.Folder());
            RecordingConsole console;
            EXPECT_EQ(RunEstimator(console.Services(), study.dir.Folder()), 1) << line << " " << number;
            EXPECT_EQ(console.messenger.Texts(),
                      std::vector<std::string>{"The number " + number + " in " + path +
                                               " does not fit a 32-bit integer (-2147483648 to 2147483647)."})
                << line;
            EXPECT_EQ(FolderContents(study.dir.Folder()), before) << line << " " << number;
        }
    }
}

TEST(RunSettingsChecks, TheLowEndsOfEveryRangeRunToTheEnd) {
    test::SimulatedSettingsFolder study(test::SmallDesign(10, 3), 5, 1);
    test::WriteFileText(study.dir.File("study.set"), "0\n1\n1\n1\n0\n 1.00\n1\n2\n 0.10\n1\n0\n");
    RecordingConsole console;
    EXPECT_EQ(RunEstimator(console.Services(), study.dir.Folder()), 0);
    EXPECT_TRUE(console.messenger.Texts().empty());
    EXPECT_EQ(console.lastIteration, 1);
    EXPECT_TRUE(study.Exists(".hbu"));
}

// A run of a million iterations, stopped after its first.
TEST(RunSettingsChecks, TheHighEndsOfEveryRangeStart) {
    test::SimulatedSettingsFolder study(test::SmallDesign(10, 3), 5, 1);
    test::WriteFileText(study.dir.File("study.set"),
                        "1000000\n10000\n100\n100000\n1\n10.00\n0\n100000\n100.00\n0\n32000\n");
    RecordingConsole console;
    console.escapeAfterIteration = 1;
    EXPECT_EQ(RunEstimator(console.Services(), study.dir.Folder()), 0);
    EXPECT_TRUE(console.messenger.Texts().empty());
    EXPECT_EQ(console.lastIteration, 1);
    EXPECT_EQ(study.CompletedIterations(), 1);
}

// The white-space separated tokens of text, each replaced in turn.
std::vector<std::string> WithEachTokenReplaced(const std::string& text, const std::vector<size_t>& indexes,
                                               const std::string& number) {
    std::vector<std::pair<size_t, size_t>> tokens;
    for (size_t at = text.find_first_not_of(" \r\n"); at != std::string::npos;
         at = text.find_first_not_of(" \r\n", at)) {
        const size_t end = std::min(text.find_first_of(" \r\n", at), text.size());
        tokens.emplace_back(at, end - at);
        at = end;
    }
    std::vector<std::string> edited;
    for (size_t index : indexes) {
        edited.push_back(text);
        edited.back().replace(tokens.at(index).first, tokens.at(index).second, number);
    }
    return edited;
}

// Every number of the constraints file, and the counts and respondent numbers of the restart file.
TEST(RunInputNumbers, AnIntegerBeyond32BitsInTheConstraintsOrTheRestartFileIsRefused) {
    test::SimulatedSettingsFolder study(test::SmallDesign(3, 3), 5, 1);
    RecordingConsole first;
    first.escapeAfterIteration = 2;
    ASSERT_EQ(RunEstimator(first.Services(), study.dir.Folder()), 0);
    const std::string restart = test::ReadFileText(study.dir.File("study.res"));
    // Counts 0 to 3 (the jump size a decimal), alpha's values, then each respondent's number first.
    const int parameters = std::stoi(restart.substr(restart.find(' ') + 1));
    std::vector<size_t> restartIntegers = {0, 1, 2};
    for (int r = 0; r < 3; ++r) restartIntegers.push_back(4 + parameters + r * (parameters + 2));
    const std::string constraints = "1 1 2\n2 1 2\n";
    test::WriteFileText(study.dir.File("study.con"), constraints);

    for (const std::string number : {"2147483648", "4294967297", "-12345678901234567890"}) {
        const std::string tooLarge = " does not fit a 32-bit integer (-2147483648 to 2147483647).";
        for (const std::string& text : WithEachTokenReplaced(constraints, {0, 1, 2, 3, 4, 5}, number)) {
            test::WriteFileText(study.dir.File("study.con"), text);
            const auto before = FolderContents(study.dir.Folder());
            RecordingConsole console;
            EXPECT_EQ(RunEstimator(console.Services(), study.dir.Folder()), 1) << text;
            EXPECT_EQ(console.messenger.Texts(),
                      std::vector<std::string>{"The number " + number + " in <studyname>.con" + tooLarge});
            EXPECT_EQ(FolderContents(study.dir.Folder()), before) << text;
        }
        test::WriteFileText(study.dir.File("study.con"), constraints);
        for (const std::string& text : WithEachTokenReplaced(restart, restartIntegers, number)) {
            test::WriteFileText(study.dir.File("study.res"), text);
            const auto before = FolderContents(study.dir.Folder());
            RecordingConsole console;
            EXPECT_EQ(RunEstimator(console.Services(), study.dir.Folder()), 1);
            EXPECT_EQ(console.messenger.Texts(),
                      std::vector<std::string>{"The number " + number + " in " + study.dir.File("study.res") +
                                               tooLarge});
            EXPECT_EQ(FolderContents(study.dir.Folder()), before);
        }
        test::WriteFileText(study.dir.File("study.res"), restart);
    }
    RecordingConsole resumed;
    resumed.escapeAfterIteration = 3;
    EXPECT_EQ(RunEstimator(resumed.Services(), study.dir.Folder()), 0);
    EXPECT_TRUE(resumed.messenger.Texts().empty());
}

}  // namespace
}  // namespace ombrel
