// What the results window reads of a study: every piece on its own, a damaged file named and the
// rest still read, nothing read while a run holds the study, and the files the user asks for.

#include "frontend/ResultsWindowLogic.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <thread>

#include "common/OmbrelError.h"
#include "common/RunLock.h"
#include "estimator/files/DrawFiles.h"
#include "tests/analysis/ReportStudy.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

std::string ReportBytes(const StudyFiles& study) {
    std::ostringstream page;
    WriteReport(page, GatherReport(study));
    return page.str();
}

TEST(ResultsContent, ReadsEveryPieceOfAStudyOfThreeChains) {
    TempDir folder;
    const StudyFiles study = test::WriteReportStudy(folder, 3, 5);
    const ResultsContent content = LoadResults(study);
    EXPECT_EQ(content.problems, std::vector<std::string>{});
    EXPECT_FALSE(content.runInProgress);
    EXPECT_EQ(content.studyName, "study");
    ASSERT_TRUE(content.study);
    EXPECT_EQ(content.study->partWorths.respondents.size(), 3u);
    // Brand A, B, C, red, blue, None; the means of the fixture's comment.
    ASSERT_EQ(content.levels.size(), 6u);
    EXPECT_NEAR(content.levels[0].mean, 1.0, 1e-12);
    EXPECT_NEAR(content.levels[2].mean, -7.0 / 6.0, 1e-12);
    ASSERT_TRUE(content.importances);
    EXPECT_EQ(content.importances->attributes.size(), 2u);
    EXPECT_EQ(content.chainCount, 3);
    ASSERT_TRUE(content.diagnostics);
    EXPECT_EQ(content.diagnostics->seeds, (std::vector<int32_t>{7, 8, 9}));
    ASSERT_TRUE(content.traces);
    EXPECT_EQ(content.traces->chains.size(), 3u);
    EXPECT_EQ(content.traces->lineCount, 5);
    EXPECT_EQ(content.traces->drawsPerChain, 3);
    // The subset keeps task 1 of the two: task 2 is held out.
    ASSERT_TRUE(content.holdout);
    ASSERT_EQ(content.holdout->tasks.size(), 1u);
    EXPECT_EQ(content.holdout->tasks[0].task, 2);
    EXPECT_FALSE(content.hasDraws);
}

TEST(ResultsContent, ADamagedHistoryIsNamedAndThePartWorthsAreStillShown) {
    TempDir folder;
    const StudyFiles study = test::WriteReportStudy(folder);
    WriteFileText(study.AlphaHistory(), "  1.000   2.000\nnot a number\n");
    const ResultsContent content = LoadResults(study);
    ASSERT_FALSE(content.problems.empty());
    for (const std::string& problem : content.problems)
        EXPECT_NE(problem.find(study.AlphaHistory()), std::string::npos) << problem;
    EXPECT_FALSE(content.traces);
    EXPECT_FALSE(content.diagnostics);
    ASSERT_TRUE(content.study);
    EXPECT_EQ(content.levels.size(), 6u);
    EXPECT_TRUE(content.importances);
    EXPECT_TRUE(content.holdout);
}

TEST(ResultsContent, AMissingPartWorthFileIsNamedAndTheConvergenceIsStillShown) {
    TempDir folder;
    const StudyFiles study = test::WriteReportStudy(folder);
    std::filesystem::remove(study.PartWorths());
    const ResultsContent content = LoadResults(study);
    ASSERT_EQ(content.problems.size(), 1u);
    EXPECT_NE(content.problems[0].find(study.PartWorths()), std::string::npos) << content.problems[0];
    EXPECT_FALSE(content.study);
    EXPECT_FALSE(content.importances);
    EXPECT_FALSE(content.holdout);
    EXPECT_TRUE(content.diagnostics);
    ASSERT_TRUE(content.traces);
    EXPECT_EQ(content.traces->lineCount, 5);
}

TEST(ResultsContent, HistoriesOfAnotherModelAreRefusedRatherThanDrawnAgainstTheWrongLevels) {
    TempDir folder;
    const StudyFiles study = test::WriteReportStudy(folder);
    WriteFileText(study.AlphaHistory(), "  1.000   2.000\n  1.000   2.000\n  1.000   2.000\n");
    WriteFileText(study.CovarianceHistory(), "");
    const ResultsContent content = LoadResults(study);
    EXPECT_FALSE(content.traces);
    EXPECT_TRUE(content.study);
    EXPECT_FALSE(content.problems.empty());
}

TEST(ResultsContent, ReadsNothingWhileARunHoldsTheStudyOrOneOfItsChains) {
    TempDir folder;
    const StudyFiles study = test::WriteReportStudy(folder, 2, 5);
    {
        StudyRunLock lock;
        ASSERT_TRUE(lock.Acquire(study.ForChain(2).RunLock()));
        EXPECT_TRUE(StudyRunIsInProgress(study));
        const ResultsContent content = LoadResults(study);
        EXPECT_TRUE(content.runInProgress);
        EXPECT_FALSE(content.study);
        EXPECT_FALSE(content.traces);
        EXPECT_EQ(content.problems, std::vector<std::string>{});
    }
    StudyRunLock lock;
    ASSERT_TRUE(lock.Acquire(study.RunLock()));
    EXPECT_TRUE(LoadResults(study).runInProgress);
    EXPECT_EQ(RunInProgressText(study),
              "An estimation of study is running. Its results are shown once it has ended.");
    lock.Release();
    const ResultsContent after = LoadResults(study);
    EXPECT_FALSE(after.runInProgress);
    EXPECT_TRUE(after.study);
}

class StoppingProgress : public ResultsLoadProgress {
public:
    explicit StoppingProgress(int stopAt) : stopAt_(stopAt) {}
    bool Continue(int step, int stepCount, const std::string& what) override {
        steps.push_back(what);
        total = stepCount;
        return step < stopAt_;
    }
    std::vector<std::string> steps;
    int total = 0;

private:
    int stopAt_;
};

TEST(ResultsContent, TellsEveryStepAndStopsWhenTheProgressSaysSo) {
    TempDir folder;
    const StudyFiles study = test::WriteReportStudy(folder);
    StoppingProgress all(100);
    LoadResults(study, &all);
    EXPECT_EQ(all.total, 4);
    EXPECT_EQ(all.steps.size(), 4u);
    StoppingProgress second(1);
    EXPECT_THROW(LoadResults(study, &second), ResultsLoadCancelled);
    EXPECT_EQ(second.steps.size(), 2u);
}

// Saved draws of the report study's three respondents in every chain: 3 draws of 6 values.
void WriteChainDraws(const StudyFiles& study, int chains) {
    for (int chain = 1; chain <= chains; ++chain) {
        std::string text;
        for (int respondent = 1; respondent <= 3; ++respondent) {
            for (int draw = 0; draw < 3; ++draw) {
                double values[6];
                for (int k = 0; k < 6; ++k) values[k] = chain + 0.1 * draw + 0.01 * k + respondent;
                FormatDrawRecord(text, respondent, 0.5, values, 6, true);
            }
        }
        WriteFileText(study.ForChain(chain).Draws(), text);
    }
}

class CountingProgress : public ResultsLoadProgress {
public:
    explicit CountingProgress(int keepGoingFor) : keepGoingFor_(keepGoingFor) {}
    bool KeepGoing() override { return ++asked <= keepGoingFor_; }
    int asked = 0;

private:
    int keepGoingFor_;
};

TEST(ResultsContent, TheSavedDrawsOfEveryChainCanBeStoppedBetweenTwoRespondentValues) {
    TempDir folder;
    const StudyFiles study = test::WriteReportStudy(folder, 2, 5);
    WriteChainDraws(study, 2);
    CountingProgress unlimited(1000000);
    const ResultsContent content = LoadResults(study, &unlimited);
    ASSERT_TRUE(content.diagnostics) << (content.problems.empty() ? "" : content.problems[0]);
    ASSERT_TRUE(content.diagnostics->respondents);
    EXPECT_EQ(content.diagnostics->respondents->valueCount + content.diagnostics->respondents->constantCount,
              3 * 6);
    const int asked = unlimited.asked;
    EXPECT_GT(asked, 3 * 6);  // at least once per respondent value

    CountingProgress stopping(asked / 2);
    EXPECT_THROW(LoadResults(study, &stopping), ResultsLoadCancelled);
    EXPECT_EQ(stopping.asked, asked / 2 + 1);
}

TEST(ResultsContent, HasResultsWithAPartWorthFileOrAHistoryOfTheStudyOrItsFirstChain) {
    TempDir folder;
    const StudyFiles study = *StudyFiles::ForDataFile(folder.File("s.cho"));
    EXPECT_FALSE(StudyHasResults(study));
    std::filesystem::create_directories(study.ChainFolder(1));
    WriteFileText(study.ForChain(1).AlphaHistory(), "");
    EXPECT_TRUE(StudyHasResults(study));
    std::filesystem::remove(study.ForChain(1).AlphaHistory());
    WriteFileText(study.PartWorths(), "");
    EXPECT_TRUE(StudyHasResults(study));
}

TEST(ResultsDiagnosticsOrder, PutsUndefinedRhatsThenTheLargestFirstThenTheSmallestEss) {
    DiagnosticsReport report;
    auto row = [](const char* label, double rhat, double bulk, double tail) {
        return QuantityDiagnostics{QuantityKind::Alpha, 1, label,
                                   ConvergenceMeasures{0, 0, rhat, bulk, tail}};
    };
    report.quantities = {row("fine", 1.001, 900, 800), row("worst", 1.3, 50, 60), row("na", NAN, NAN, NAN),
                         row("tied, low tail", 1.001, 900, 100), row("middle", 1.05, 300, 300)};
    std::vector<std::string> labels;
    for (const QuantityDiagnostics& q : WorstFirst(report)) labels.push_back(q.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"na", "worst", "middle", "tied, low tail", "fine"}));
}

TEST(ResultsRespondentSearch, MatchesNumbersContainingTheText) {
    PartWorthTable table;
    for (int number : {7, 17, 70, 123, 1007}) table.respondents.push_back({number, 0.5, {}});
    EXPECT_EQ(MatchingRespondents(table, ""), (std::vector<size_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(MatchingRespondents(table, "7"), (std::vector<size_t>{0, 1, 2, 4}));
    EXPECT_EQ(MatchingRespondents(table, "12"), (std::vector<size_t>{3}));
    EXPECT_EQ(MatchingRespondents(table, "x"), (std::vector<size_t>{}));
}

TEST(ResultsPickedTraces, StartWithTheFirstFour) {
    EXPECT_EQ(InitiallyPickedTraces(6), (std::vector<bool>{true, true, true, true, false, false}));
    EXPECT_EQ(InitiallyPickedTraces(2), (std::vector<bool>{true, true}));
}

TEST(ResultsChartFileName, IsTheTitleInLowerCaseWithDashes) {
    EXPECT_EQ(ChartFileName("Attribute 1: Brand"), "attribute-1-brand.png");
    EXPECT_EQ(ChartFileName("  Importance of each attribute!"), "importance-of-each-attribute.png");
    EXPECT_EQ(ChartFileName("Caf\xC3\xA9 / Preis"), "caf-preis.png");
    EXPECT_EQ(ChartFileName("***"), "chart.png");
}

TEST(ResultsReport, SavedAnywhereItIsTheCommandLinesReportAndAFailureKeepsTheEarlierFile) {
    TempDir folder;
    const StudyFiles study = test::WriteReportStudy(folder);
    const std::string path = folder.File("elsewhere.html");
    SaveReportAs(study, path);
    EXPECT_EQ(ReadFileText(path), ReportBytes(study));
    EXPECT_FALSE(std::filesystem::exists(study.Report()));  // only the file the user named

    std::filesystem::remove(study.PartWorths());
    try {
        SaveReportAs(study, path);
        ADD_FAILURE() << "a report without part-worths was written";
    } catch (const OmbrelError& error) {
        EXPECT_NE(std::string(error.what()).find(study.PartWorths()), std::string::npos) << error.what();
    }
    EXPECT_FALSE(ReadFileText(path).empty());
    EXPECT_THROW(SaveReportAs(test::WriteReportStudy(folder), folder.File("no such folder/r.html")),
                 OmbrelError);
}

TEST(ResultsAfterARun, TellARewrittenPartWorthFileFromOneLeftAsItWas) {
    TempDir folder;
    const StudyFiles study = *StudyFiles::ForDataFile(folder.File("s.cho"));
    const PartWorthStamp none = StampPartWorths(study);
    EXPECT_FALSE(none.exists);
    EXPECT_FALSE(PartWorthsRewritten(study, none));  // a stopped first run writes none
    WriteFileText(study.PartWorths(), "first");
    EXPECT_TRUE(PartWorthsRewritten(study, none));
    const PartWorthStamp first = StampPartWorths(study);
    EXPECT_FALSE(PartWorthsRewritten(study, first));  // a stopped later run leaves it
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    WriteFileText(study.PartWorths(), "again");  // same size, new time
    EXPECT_TRUE(PartWorthsRewritten(study, first));
}

}  // namespace
}  // namespace ombrel
