#include "estimator/files/RunLog.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

std::tm Time(int year, int month, int day, int hour, int minute, int second, int weekday) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_wday = weekday;
    return t;
}

RunSummary Defaults() {
    RunSummary run;
    run.previousIterations = 0;
    run.preliminaryIterations = 2000;
    run.drawsPerRespondent = 1000;
    run.drawSkip = 10;
    run.totalIterations = 12000;
    run.logSkip = 100;
    run.respondentCount = 250;
    run.parameterCount = 13;
    run.totalTaskWeight = 5.0;
    return run;
}

TEST(LogHeader, TimeUsesTwelveHourClockAndEnglishNames) {
    EXPECT_EQ("02:07:09PM   Tuesday, March 05, 2024", FormatLogTime(Time(2024, 3, 5, 14, 7, 9, 2)));
    EXPECT_EQ("12:00:00AM   Sunday, December 31, 2023", FormatLogTime(Time(2023, 12, 31, 0, 0, 0, 0)));
    EXPECT_EQ("12:30:00PM   Saturday, June 01, 2024", FormatLogTime(Time(2024, 6, 1, 12, 30, 0, 6)));
}

TEST(LogHeader, AllocationDataWithoutConstraints) {
    EXPECT_EQ(
        "\n\n09:15:00AM   Monday, January 08, 2024\n"
        "=====================================================\n"
        "Previous Iterations               0\n"
        "Preliminary iterations         2000\n"
        "Draws used per respondent      1000\n"
        "Skip factor for draws used       10\n"
        "Total iterations              12000\n"
        "Skip factor for log file        100\n"
        "Number of respondents           250\n"
        "Parameters per respondent        13\n"
        "No Constraints are in use\n"
        "Random draws not saved\n"
        "\n"
        "Iteration   Jump Size   Acceptance   Pct. Cert.   RLH      Avg Var   Parameter RMS",
        FormatLogHeader(Defaults(), Time(2024, 1, 8, 9, 15, 0, 1)));
}

TEST(LogHeader, ChoiceDataWithConstraintsAndSavedDraws) {
    RunSummary run = Defaults();
    run.choiceData = true;
    run.constraintCount = 3;
    run.saveDraws = true;
    const std::string header = FormatLogHeader(run, Time(2024, 1, 8, 9, 15, 0, 1));
    EXPECT_NE(std::string::npos, header.find("        13\n"
                                             "Total task weight              5.00\n"
                                             "Constraints in use                3\n"
                                             "Random draws are saved\n\n"));
}

TEST(LogLines, IterationLineAndClosing) {
    IterationStatistics s{100, 0.1, 0.3125, 0.45678, 0.6544, 1.5, 0.875};
    EXPECT_EQ("\n     100    0.100       0.312        0.457        0.654    1.500     0.875",
              FormatLogLine(s));
    EXPECT_EQ("\n\nThis session did 12000 iterations in 3725 seconds.\n",
              FormatLogClosing(ClosingSentence(12000, 3725)));
}

TEST(RunLog, AppendsHeaderLinesAndClosingToTheFile) {
    test::TempDir dir;
    const std::string path = dir.File("study.log");
    test::WriteFileText(path, "earlier run");
    RunLog log;
    ASSERT_TRUE(log.Open(path));
    EXPECT_TRUE(log.WriteHeader(Defaults(), Time(2024, 1, 8, 9, 15, 0, 1)));
    EXPECT_TRUE(log.WriteLine(IterationStatistics{7, 0.1, 0.5, 0.25, 0.75, 1.0, 2.0}));
    EXPECT_TRUE(log.WriteClosing("Done."));
    log.Close();
    EXPECT_EQ("earlier run" + FormatLogHeader(Defaults(), Time(2024, 1, 8, 9, 15, 0, 1)) +
                  "\n       7    0.100       0.500        0.250        0.750    1.000     2.000\n\nDone.\n",
              test::ReadFileText(path));
    // A closed or never opened log refuses writes instead of failing the run.
    EXPECT_FALSE(log.WriteClosing("Again."));
    RunLog unopened;
    EXPECT_FALSE(unopened.Open(dir.File("missing-folder/study.log")));
    EXPECT_FALSE(unopened.WriteLine(IterationStatistics{}));
}

}  // namespace
}  // namespace ombrel
