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

// Two respondents, two parameters, after 12000 iterations.
ChainState SampleState() {
    ChainState state;
    state.completedIterations = 12000;
    state.jumpSize = 0.1234;
    state.alpha = {0.5, -1.25};
    state.covariance.Resize(2);
    state.covariance(0, 0) = 1.0;
    state.covariance(0, 1) = state.covariance(1, 0) = -0.125;
    state.covariance(1, 1) = 12.3456;
    state.store.Reset(2);
    const double first[] = {0.1234, -2.0};
    const double second[] = {10.0, 0.0005};
    state.store.Append(17, first, -3.5);
    state.store.Append(1234, second, -12345.6789);
    return state;
}

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
    WriteRestartFile(dir.File("study.res"), SampleState());
    EXPECT_EQ(kChainText, ReadFileText(dir.File("study.res")));
}

TEST(RestartFile, TinyJumpSizeIsWrittenAsZero) {
    TempDir dir;
    ChainState empty;
    empty.completedIterations = 1;
    empty.jumpSize = 0.0004;
    WriteRestartFile(dir.File("study.res"), empty);
    EXPECT_EQ("0 0 1  0.000\n\n\n\n", ReadFileText(dir.File("study.res")));
    const auto loaded = LoadRestartFile(dir.File("study.res"));
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(0.0, loaded->jumpSize);
    EXPECT_EQ(1, loaded->completedIterations);
}

TEST(RestartFile, RoundTripKeepsTheStateToThreeDecimals) {
    TempDir dir;
    const ChainState chain = SampleState();
    WriteRestartFile(dir.File("study.res"), chain);
    const auto loaded = LoadRestartFile(dir.File("study.res"));
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(12000, loaded->completedIterations);
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
    EXPECT_FALSE(LoadRestartFile(dir.File("study.res")).has_value());
}

TEST(RestartFile, UnusableFilesAreRejectedNamingTheFile) {
    TempDir dir;
    const std::string path = dir.File("study.res");
    auto rejection = [&](const std::string& text) {
        WriteFileText(path, text);
        return FailureMessage([&] { LoadRestartFile(path); });
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
    EXPECT_EQ("\nCan't open studyname.res file.",
              FailureMessage([&] { WriteRestartFile("/nonexistent-folder/study.res", SampleState()); }));
}

// The state survives a trip through memory (writer to a byte sink, reader from a text source) exactly
// as through the file, and a text in memory is rejected with the name it is given.
TEST(RestartFile, RoundTripThroughMemory) {
    MemoryByteSink sink;
    ASSERT_TRUE(WriteRestartText(SampleState(), sink));
    const std::string text(sink.Bytes().begin(), sink.Bytes().end());
    EXPECT_EQ(kChainText, text);
    MemoryTextSource source(text);
    const ChainState read = ReadRestartState(source, "memory.res");
    EXPECT_EQ(12000, read.completedIterations);
    EXPECT_EQ(0.123, read.jumpSize);
    EXPECT_EQ((std::vector<double>{0.5, -1.25}), read.alpha);
    ASSERT_EQ(2, read.RespondentCount());
    EXPECT_EQ(1234, read.store.Number(1));
    EXPECT_EQ(10.0, read.store.Betas(1)[0]);
    EXPECT_EQ(-3.5, read.store.LogLikelihood(0));
    EXPECT_EQ(1.0, read.covariance(0, 0));
    // Written again, the rounded state gives the same text: the format is a fixed point of a trip.
    MemoryByteSink again;
    ASSERT_TRUE(WriteRestartText(read, again));
    EXPECT_EQ(text, std::string(again.Bytes().begin(), again.Bytes().end()));

    MemoryTextSource shortText("1 1 3 0.1\n 0.5\n");
    EXPECT_EQ(
        "The restart file memory.res holds fewer numbers than its first line announces.  Delete it to "
        "start the estimation afresh.",
        FailureMessage([&] { ReadRestartState(shortText, "memory.res"); }));
}

// A sink that refuses its second write: the writer stops and says so.
TEST(RestartFile, FailedWriteIsReported) {
    struct FailingSink : ByteSink {
        int writes = 0;
        bool Write(const void*, size_t) override { return ++writes < 2; }
    } sink;
    EXPECT_FALSE(WriteRestartText(SampleState(), sink));
    EXPECT_EQ(2, sink.writes);
}

TEST(RestartFile, RespondentMismatchMessageNamesTheFile) {
    EXPECT_EQ(
        "The restart file s.res holds 3 respondents, but the prepared data has 4.  Delete it to start the "
        "estimation afresh.",
        RestartRespondentMismatchMessage("s.res", 3, 4));
}

}  // namespace
}  // namespace ombrel
