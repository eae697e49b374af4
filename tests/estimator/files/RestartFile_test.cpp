#include "estimator/files/RestartFile.h"

#include <gtest/gtest.h>

#include "common/OmbrelError.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

using test::FailureMessage;

struct Chain {
    std::vector<double> alpha{0.5, -1.25};
    SquareMatrix covariance{2};
    RespondentStore store{2};
    Chain() {
        covariance(0, 0) = 1.0;
        covariance(0, 1) = covariance(1, 0) = -0.125;
        covariance(1, 1) = 12.3456;
        const double first[] = {0.1234, -2.0};
        const double second[] = {10.0, 0.0005};
        store.Append(17, first, -3.5);
        store.Append(1234, second, -12345.6789);
    }
};

constexpr const char* kChainText =
    "2 2 12000  0.123\n"
    "   0.500  -1.250\n"
    "\n"
    "      17   0.123  -2.000    -3.500\n"
    "    1234  10.000   0.001-12345.679\n"
    "\n"
    "   1.000  -0.125\n"
    "  -0.125  12.346\n";

TEST(RestartFile, WritesFixedWidthFields) {
    TempDir dir;
    Chain chain;
    WriteRestartFile(dir.File("study"), 12000, 0.1234, chain.alpha, chain.covariance, chain.store);
    EXPECT_EQ(kChainText, ReadFileText(dir.File("study.res")));
}

TEST(RestartFile, TinyJumpSizeIsWrittenAsZero) {
    TempDir dir;
    RespondentStore empty(0);
    WriteRestartFile(dir.File("study"), 1, 0.0004, {}, SquareMatrix(0), empty);
    EXPECT_EQ("0 0 1  0.000\n\n\n\n", ReadFileText(dir.File("study.res")));
    const auto loaded = LoadRestartFile(dir.File("study"));
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(0.0, loaded->jumpSize);
    EXPECT_EQ(1, loaded->previousIterations);
}

TEST(RestartFile, RoundTripKeepsTheStateToThreeDecimals) {
    TempDir dir;
    Chain chain;
    WriteRestartFile(dir.File("study"), 12000, 0.1234, chain.alpha, chain.covariance, chain.store);
    const auto loaded = LoadRestartFile(dir.File("study"));
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(12000, loaded->previousIterations);
    EXPECT_EQ(0.123, loaded->jumpSize);
    EXPECT_EQ(2, loaded->RespondentCount());
    EXPECT_EQ(2, loaded->ParameterCount());
    EXPECT_EQ(chain.alpha, loaded->alpha);
    EXPECT_EQ(17, loaded->store.Number(0));
    EXPECT_EQ(1234, loaded->store.Number(1));
    EXPECT_EQ(0.123, loaded->store.Betas(0)[0]);
    EXPECT_EQ(0.001, loaded->store.Betas(1)[1]);
    // The log-likelihood touched the beta before it; the minus sign still separates them.
    EXPECT_EQ(-12345.679, loaded->store.LogLikelihood(1));
    EXPECT_EQ(-0.125, loaded->covariance(1, 0));
    EXPECT_EQ(12.346, loaded->covariance(1, 1));
}

TEST(RestartFile, AbsentFileMeansAFreshStart) {
    TempDir dir;
    EXPECT_FALSE(LoadRestartFile(dir.File("study")).has_value());
}

TEST(RestartFile, UnusableFilesAreRejectedNamingTheFile) {
    TempDir dir;
    const std::string study = dir.File("study");
    const std::string path = dir.File("study.res");
    auto rejection = [&](const std::string& text) {
        WriteFileText(path, text);
        return FailureMessage([&] { LoadRestartFile(study); });
    };
    const std::string truncated = std::string(kChainText).substr(0, 60);
    EXPECT_EQ(
        "The restart file " + path +
            " holds fewer numbers than its first line announces.  Delete it to start the estimation afresh.",
        rejection(truncated));
    EXPECT_NE(std::string::npos,
              rejection(std::string(kChainText).substr(0, std::string(kChainText).size() - 9))
                  .find("fewer numbers"));
    EXPECT_NE(std::string::npos, rejection("").find("does not start with its counts"));
    EXPECT_NE(std::string::npos, rejection("2 x 1 0.1\n").find(path));
    EXPECT_NE(std::string::npos, rejection("-1 2 0 0.1\n").find("negative number of respondents"));
    EXPECT_NE(std::string::npos, rejection("1 1001 0 0.1\n").find("1001 parameters"));
    EXPECT_NE(std::string::npos, rejection("1 -2 0 0.1\n").find("-2 parameters"));
    EXPECT_NE(std::string::npos, rejection("1 1 -5 0.1\n").find("-5 completed iterations"));
    // A huge respondent count in a short file is rejected without reserving anything for it.
    EXPECT_NE(std::string::npos, rejection("2000000000 1 0 0.1\n 0.5\n").find("fewer numbers"));
}

TEST(RestartFile, UncreatableFileGivesTheConsoleMessage) {
    Chain chain;
    EXPECT_EQ("\nCan't open studyname.res file.", FailureMessage([&] {
                  WriteRestartFile("/nonexistent-folder/study", 1, 0.1, chain.alpha, chain.covariance,
                                   chain.store);
              }));
}

TEST(RestartFile, RespondentMismatchMessageNamesTheFile) {
    EXPECT_EQ(
        "The restart file s.res holds 3 respondents, but the prepared data has 4.  Delete it to start the "
        "estimation afresh.",
        RestartRespondentMismatchMessage("s", 3, 4));
}

}  // namespace
}  // namespace ombrel
