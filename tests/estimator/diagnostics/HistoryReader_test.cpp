#include "estimator/diagnostics/HistoryReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/estimator/files/FailingTextSource.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::FailureMessage;

std::vector<double> Scan(const std::string& line) {
    std::vector<double> values;
    size_t column = 0;
    EXPECT_TRUE(ScanPrintedLine(line, values, column)) << line;
    return values;
}

size_t FailingColumn(const std::string& line) {
    std::vector<double> values;
    size_t column = 0;
    EXPECT_FALSE(ScanPrintedLine(line, values, column)) << line;
    return column;
}

HistoryDraws Read(const std::string& text, HistoryKind kind, int draws) {
    MemoryTextSource source(text);
    return ReadHistory(source, "/x/coffee.cov", kind, draws);
}

std::string ReadFailure(const std::string& text, HistoryKind kind, int draws) {
    return FailureMessage([&] { Read(text, kind, draws); });
}

TEST(PrintedValues, TouchingCovarianceValuesAreToldApartByTheirThreeDecimals) {
    EXPECT_EQ(Scan("12345.6781234.567"), (std::vector<double>{12345.678, 1234.567}));
    EXPECT_EQ(Scan("   1.000  -2.500-12345.125   0.000"), (std::vector<double>{1.0, -2.5, -12345.125, 0.0}));
    EXPECT_EQ(Scan("  0.581   0.432 "), (std::vector<double>{0.581, 0.432}));
    EXPECT_EQ(Scan("  0.581\r"), (std::vector<double>{0.581}));
    EXPECT_TRUE(Scan("").empty());
}

// The column is where the value that cannot be read begins.
TEST(PrintedValues, AnythingButThreeDecimalsStopsTheLineWhereItStands) {
    EXPECT_EQ(FailingColumn("   1.00"), 4u);  // two decimals: the value is not taken
    EXPECT_EQ(FailingColumn("   1.000   2"), 12u);
    EXPECT_EQ(FailingColumn("   1.000-nan"), 9u);
    EXPECT_EQ(FailingColumn("   1.000 .500"), 10u);
    EXPECT_EQ(FailingColumn("   1.0000"), 9u);  // a fourth decimal starts no value
    EXPECT_EQ(FailingColumn("--1.000"), 1u);
    EXPECT_EQ(FailingColumn("1.000,2.000"), 6u);
}

TEST(HistoryReader, KeepsEveryLevelValueOfTheLastDrawsLines) {
    const HistoryDraws history =
        Read("   1.000   2.000 \n   3.000   4.000 \n   5.000   6.000 \n", HistoryKind::Levels, 2);
    EXPECT_EQ(history.lineCount, 3);
    EXPECT_EQ(history.valuesPerLine, 2);
    EXPECT_EQ(history.keptPerLine, 2);
    EXPECT_EQ(history.kept, (std::vector<double>{3.0, 4.0, 5.0, 6.0}));
}

// A resumed run appends its sampled iterations to the earlier ones: only the last D lines are the
// draws it used, whichever slot of the ring the last line landed in.
TEST(HistoryReader, TheUsedDrawsAreTheLastLinesOfAResumedHistory) {
    std::string text;
    for (int line = 1; line <= 11; ++line) text += "  " + std::to_string(line) + ".000 \n";
    for (int draws : {1, 3, 4, 11}) {
        const HistoryDraws history = Read(text, HistoryKind::Levels, draws);
        std::vector<double> expected;
        for (int line = 12 - draws; line <= 11; ++line) expected.push_back(line);
        EXPECT_EQ(history.kept, expected) << draws;
    }
}

TEST(HistoryReader, KeepsTheDiagonalOfTheCovarianceTriangle) {
    // p = 3: (1,1) (1,2) (1,3) (2,2) (2,3) (3,3).
    const HistoryDraws history = Read(
        "   1.000   0.100   0.2002222.000   0.300   3.000\n"
        "   4.000   0.100   0.200   5.000   0.3006666.125\n",
        HistoryKind::Covariance, 2);
    EXPECT_EQ(history.valuesPerLine, 6);
    EXPECT_EQ(history.keptPerLine, 3);
    EXPECT_EQ(history.kept, (std::vector<double>{1.0, 2222.0, 3.0, 4.0, 5.0, 6666.125}));
}

TEST(HistoryReader, ALineOfAnotherCountOrAnUnreadableValueNamesTheFileAndTheLine) {
    EXPECT_EQ(ReadFailure("   1.000   2.000 \n   1.000   2.000 \n   1.000 \n", HistoryKind::Levels, 1),
              "Line 3 of /x/coffee.cov holds 1 values where 2 were expected.");
    EXPECT_EQ(
        ReadFailure("   1.000   2.000 \n   1.000   2.0x0 \n", HistoryKind::Levels, 1),
        "Line 2 of /x/coffee.cov cannot be read at column 12: a number with three decimals was expected.");
    EXPECT_EQ(ReadFailure("\n", HistoryKind::Levels, 1), "Line 1 of /x/coffee.cov holds no values.");
    EXPECT_EQ(
        ReadFailure("   1.000   2.000\n", HistoryKind::Covariance, 1),
        "Line 1 of /x/coffee.cov holds 2 values, which is not the upper triangle of a covariance matrix.");
    EXPECT_EQ(ReadFailure("   1.000   2.000   3.000\n   1.000   2.000   3.000   4.000\n",
                          HistoryKind::Covariance, 1),
              "Line 2 of /x/coffee.cov holds 4 values where 3 were expected.");
}

TEST(HistoryReader, AHistoryShorterThanTheDrawsOrUnreadableToItsEndIsRefused) {
    EXPECT_EQ(ReadFailure("   1.000 \n   2.000 \n", HistoryKind::Levels, 3),
              "/x/coffee.cov holds 2 lines, fewer than the 3 draws the run used.");
    EXPECT_EQ(ReadFailure("", HistoryKind::Levels, 1),
              "/x/coffee.cov holds 0 lines, fewer than the 1 draws the run used.");
    test::FailingTextSource failing("   1.000 \n");
    EXPECT_EQ(FailureMessage([&] { ReadHistory(failing, "/x/coffee.alp", HistoryKind::Levels, 1); }),
              "/x/coffee.alp could not be read to its end.");
    EXPECT_EQ(FailureMessage([] { ReadHistoryFile("/nonexistent/coffee.alp", HistoryKind::Levels, 1); }),
              "The history file /nonexistent/coffee.alp could not be opened.");
}

}  // namespace
}  // namespace ombrel
