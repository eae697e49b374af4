// Whole runs checked against the exact texts and the order of what a run leaves behind: the log's
// lines, the history lines, the restart file's layout, and how a restart file of another parameter
// count is reported.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/StudySettings.h"
#include "estimator/run/EstimatorRun.h"
#include "platform/ScriptedMessenger.h"
#include "tests/estimator/RecordingConsole.h"
#include "tests/support/SimulatedStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::ReadFileText;
using test::TempDir;

using QuietConsole = test::RecordingConsole;

// 12 respondents, attributes of 3 and 2 levels plus None: p = 4, levelCount = 6. ".cho" data: the
// settings file holds a total task weight of 1.
struct SmallStudy {
    TempDir dir;
    StudySettings settings;

    SmallStudy() {
        test::SimulationSpec spec;
        spec.respondents = 12;
        spec.tasks = 4;
        spec.concepts = 3;
        spec.levels = {3, 2};
        spec.seed = 5;
        test::WriteSimulatedStudy(dir.Folder(), spec);
        settings.namesFolder = dir.Folder();
        settings.dataFileName = dir.File("study.cho");
        settings.randomSeed = 11;
        settings.preliminaryIterations = 6;
        settings.drawsPerRespondent = 3;
        settings.drawSkip = 4;
        settings.logSkip = 5;
    }
    int Run(QuietConsole& console) {
        ScriptedMessenger messenger;
        EXPECT_TRUE(settings.SaveSettings(messenger));
        return RunEstimator(console.Services(), dir.Folder());
    }
    std::string File(const std::string& extension) const {
        return ReadFileText(dir.File("study" + extension));
    }
    bool Exists(const std::string& extension) const {
        return std::filesystem::exists(dir.File("study" + extension));
    }
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A restart file in the writer's layout for respondents numbered as given and p parameters, all
// values 0 and every log-likelihood -5.
std::string RestartText(const std::vector<int>& numbers, int p, int completed) {
    std::string text = std::to_string(numbers.size()) + " " + std::to_string(p) + " " +
                       std::to_string(completed) + "  0.100\n";
    for (int k = 0; k < p; ++k) text += "   0.000";
    text += "\n\n";
    for (int number : numbers) {
        char head[16];
        std::snprintf(head, sizeof head, "%8d", number);
        text += head;
        for (int k = 0; k < p; ++k) text += "   0.000";
        text += "    -5.000\n";
    }
    text += "\n";
    for (int i = 0; i < p; ++i) {
        for (int k = 0; k < p; ++k) text += k == i ? "   1.000" : "   0.000";
        text += "\n";
    }
    return text;
}

// Sampled iterations 4, 8, ..., 18 (6 + 3 x 4) give history lines; log lines at 5, 10, 15; the used
// draws are 8, 12 and 16.
TEST(EstimatorFidelity, LogHistoryAndRestartFilesOfAFreshRun) {
    SmallStudy study;
    QuietConsole console;
    ASSERT_EQ(study.Run(console), 0) << testing::PrintToString(console.messenger.Texts());

    const std::string log = study.File(".log");
    const std::string header =
        "\n\n02:03:09PM   Monday, January 05, 2026\n=====================================================\n"
        "Previous Iterations               0\nPreliminary iterations            6\n"
        "Draws used per respondent         3\nSkip factor for draws used        4\n"
        "Total iterations                 18\nSkip factor for log file          5\n"
        "Number of respondents            12\nParameters per respondent         4\n"
        "Total task weight              1.00\nNo Constraints are in use\nRandom draws not saved\n\n"
        "Iteration   Jump Size   Acceptance   Pct. Cert.   RLH      Avg Var   Parameter RMS";
    ASSERT_EQ(log.substr(0, header.size()), header);
    const std::vector<std::string> lines = Lines(log.substr(header.size()));
    ASSERT_EQ(lines.size(), 6u);  // "", three iteration lines, "", the closing sentence
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1].substr(0, 8), "       5");
    EXPECT_EQ(lines[2].substr(0, 8), "      10");
    EXPECT_EQ(lines[3].substr(0, 8), "      15");
    EXPECT_EQ(lines[1].size(), 8u + 2 + 7 + 5 + 7 + 6 + 7 + 6 + 7 + 2 + 7 + 3 + 7);
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], "This session did 18 iterations in 0 seconds.");
    EXPECT_EQ(log.back(), '\n');

    // One ".alp" line of 6 expanded values and one ".cov" line of 10 packed values per sampled iteration.
    const std::vector<std::string> alp = Lines(study.File(".alp"));
    ASSERT_EQ(alp.size(), 4u);
    for (const std::string& line : alp) EXPECT_EQ(line.size(), 6u * 8u) << line;
    const std::vector<std::string> cov = Lines(study.File(".cov"));
    ASSERT_EQ(cov.size(), 4u);
    for (const std::string& line : cov) EXPECT_EQ(line.size(), 10u * 8u) << line;
    EXPECT_FALSE(study.Exists(".bet"));

    // Restart: counts, alpha line, empty line, 12 respondent lines, empty line, 4 covariance lines.
    const std::vector<std::string> res = Lines(study.File(".res"));
    ASSERT_EQ(res.size(), 1u + 1 + 1 + 12 + 1 + 4);
    EXPECT_EQ(res[0].substr(0, 9), "12 4 18  ");  // then the jump size, "%6.3f"
    EXPECT_EQ(res[0].size(), 8u + 6u);
    EXPECT_EQ(res[1].size(), 4u * 8u);
    EXPECT_EQ(res[2], "");
    for (int r = 0; r < 12; ++r) EXPECT_EQ(res[3 + static_cast<size_t>(r)].size(), 8u + 4 * 8 + 10);
    EXPECT_EQ(res[15], "");
    for (int i = 0; i < 4; ++i) EXPECT_EQ(res[16 + static_cast<size_t>(i)].size(), 4u * 8u);

    // Without saved draws: ".std", no ".dra"; every result file present.
    for (const char* extension : {".hbu", ".lay", ".csv", ".std", ".sum"})
        EXPECT_TRUE(study.Exists(extension)) << extension;
    EXPECT_FALSE(study.Exists(".dra"));
}

// A restart file written for another parameter count stops the run with the respondent pass's
// message, whichever count is the larger, after the log header has been appended; the history files
// of the earlier session are kept as they are.
TEST(EstimatorFidelity, RestartFileOfAnotherParameterCountGetsThePassMessage) {
    for (int restartParameters : {3, 5, 0}) {
        SmallStudy study;
        QuietConsole first;
        ASSERT_EQ(study.Run(first), 0);
        const std::vector<std::string> res = Lines(study.File(".res"));
        std::vector<int> numbers;
        for (int r = 0; r < 12; ++r)
            numbers.push_back(std::stoi(res[3 + static_cast<size_t>(r)].substr(0, 8)));
        test::WriteFileText(study.dir.File("study.res"), RestartText(numbers, restartParameters, 18));
        const std::string alp = study.File(".alp");
        const std::string logBefore = study.File(".log");

        QuietConsole second;
        EXPECT_EQ(study.Run(second), 1);
        ASSERT_EQ(second.messenger.Texts().size(), 1u) << restartParameters;
        const std::string expected = "For respondent " + std::to_string(numbers[0]) +
                                     ", the restart file has a different number of variables (" +
                                     std::to_string(restartParameters) +
                                     ") than you have specified for this run (4).  You must either delete "
                                     "the <studyname>.res file, or "
                                     "change the <studyname>.eff file.";
        EXPECT_EQ(second.messenger.Texts()[0], expected);
        EXPECT_EQ(study.File(".alp"), alp);
        const std::string log = study.File(".log");
        ASSERT_EQ(log.substr(0, logBefore.size()), logBefore);
        EXPECT_NE(log.find("Previous Iterations              18", logBefore.size()), std::string::npos);
        EXPECT_EQ(log.find("This session did", logBefore.size()), std::string::npos);
    }
}

// A restart file of another respondent count, with the right parameter count, is refused before
// anything is written.
TEST(EstimatorFidelity, RestartFileOfAnotherRespondentCountIsRefused) {
    SmallStudy study;
    QuietConsole first;
    ASSERT_EQ(study.Run(first), 0);
    test::WriteFileText(study.dir.File("study.res"), RestartText({1, 2, 3}, 4, 18));
    const std::string log = study.File(".log");
    QuietConsole second;
    EXPECT_EQ(study.Run(second), 1);
    ASSERT_EQ(second.messenger.Texts().size(), 1u);
    EXPECT_NE(second.messenger.Texts()[0].find("holds 3 respondents, but the prepared data has 12"),
              std::string::npos);
    EXPECT_EQ(study.File(".log"), log);
}

}  // namespace
}  // namespace ombrel
